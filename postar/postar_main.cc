// Placeholder until the mail sender lands.
int main() { return 1; }
