#include "ntnet/ntnet.h"

int main(int argc, char** argv) { return ntnet_run(argc, argv, stdout, stderr); }
