// kopex: the file tree tool (see kopex/kopex.h).
#include <unistd.h>

#include <cstdio>

#include "kopex/kopex.h"

int main() {
  // Object lines of a large tree go out in big blocks.
  static char buffer[1 << 16];
  if (!isatty(1)) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  return kopex::kopex_main();
}
