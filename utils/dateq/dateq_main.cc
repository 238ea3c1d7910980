// dateq: returns one item of the current local date or time as the exit
// code, so that batch files can branch on the calendar.
#include <cstdio>

#include "platform/kernel/clock.h"
#include "utils/dateq/date_items.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs(dateq_usage(), stderr);
    return 0;
  }
  DateItem item = find_date_item(argv[1]);
  if (item == DateItem::kNone) {
    fprintf(stderr, "Unknown parameter: '%s'\n", argv[1]);
    fputs(dateq_usage(), stderr);
    return 0;
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  return date_item_value(item, now);
}
