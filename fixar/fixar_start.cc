#include "fixar/fixar_start.h"

DWORD time_limit_from_option(int32_t seconds) {
  return static_cast<DWORD>(seconds);
}
