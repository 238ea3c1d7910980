// Placeholder until the resource compiler lands.
int main() { return 1; }
