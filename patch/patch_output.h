// Message lines of the patch code: ERROR and WARNING lines go to standard
// error, INFO lines to standard output. Each call prints one printf-style
// message as given (the caller writes the "FIXAR-..." prefix and the line
// end) and flushes it, so that the lines keep their order with the output
// of the processes a patch starts.
#pragma once

#if defined(__GNUC__)
#define PATCH_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define PATCH_PRINTF(a, b)
#endif

void patch_error(const char* format, ...) PATCH_PRINTF(1, 2);
void patch_info(const char* format, ...) PATCH_PRINTF(1, 2);
