#include "zeb/job_options.h"

#include <gtest/gtest.h>

#include <cstring>

#include "lib/command_code.h"

namespace {

TEST(ZebJobOptions, RangeMasksAndTheirBounds) {
  struct Case {
    const char* text;
    int low, high;
    bool ok;
    uint32_t mask;
  } cases[] = {
      {"1:5", 0, 6, true, 0x3E},        {"0,6", 0, 6, true, 0x41},
      {"", 0, 23, true, 0x00FFFFFF},    {"", 1, 31, true, 0xFFFFFFFE},
      {"23", 0, 23, true, 1u << 23},    {"5:3", 0, 6, true, 0},  // admits nothing
      {"7", 0, 6, false, 0},            {"5:", 0, 6, false, 0},  // open upward
      {"0:0", 0, 23, false, 0},         {":5", 1, 31, false, 0}, // lower bound 0
      {"100:200", 0, 23, false, 0},     {"-1", 0, 23, false, 0},
      {"99999999999", 0, 23, false, 0},
  };
  for (const Case& c : cases) {
    uint32_t mask = 0xDEAD;
    EXPECT_EQ(zeb_range_mask(c.text, c.low, c.high, &mask), c.ok) << c.text;
    EXPECT_EQ(mask, c.ok ? c.mask : 0xDEADu) << c.text;
  }
  DWORD m = 7;
  EXPECT_TRUE(zeb_interval_minutes('d', 2147483647L, &m));  // stays at 32 bits
  EXPECT_EQ(m, 0xFFFFFFFFu);
  EXPECT_TRUE(zeb_interval_minutes('d', 2982616L, &m));  // the last count that fits
  EXPECT_EQ(m, 2982616u * 1440u);
  EXPECT_FALSE(zeb_interval_minutes('H', 1, &m));
  EXPECT_FALSE(zeb_interval_minutes('h', -1, &m));
}

TEST(ZebJobOptions, ChecksApplyOnlyWhereTheyMeanSomething) {
  ZebClientArgs a;
  a.weekdays_given = true;
  a.weekdays = "9";
  EXPECT_EQ(zeb_check_job_options(a, CMD_DEL, "j*"), "");  // no job options to check
  a.interval_given = true;                                  // "/i" alone: no unit
  EXPECT_EQ(zeb_check_job_options(a, CMD_SET, "j"),
            "ZEB-ERROR, invalid interval '' (specify m,h or d)\n");
}

TEST(ZebJobOptions, RecordsOfAddAndSet) {
  ZebClientArgs a;
  a.path = std::string(300, 'x');
  a.days_given = true;
  a.days = "1,15";
  a.interactive = 0;
  a.debug = 1;
  JobRecord rec;
  zeb_record_from_options(a, std::string(40, 'n'), 3, &rec);
  EXPECT_EQ(job_command(rec).size(), JOB_COMMAND_MAX);  // cut, never overflowing
  EXPECT_EQ(job_name(rec).size(), JOB_NAME_MAX);
  EXPECT_EQ(rec.day_mask, (1u << 1) | (1u << 15));
  EXPECT_EQ(rec.hour_mask, JOB_ALL_HOURS);
  EXPECT_EQ(rec.flags, JOB_OWN_DESKTOP);
  EXPECT_EQ(rec.account_index, 3u);
  EXPECT_EQ(rec.last_exit_code, JOB_NO_RESULT);

  JobRecord stored = rec;
  stored.flags = JOB_PAUSED | JOB_AUTOSTART;
  stored.interval = 90;
  ZebClientArgs s;
  s.new_name_given = true;
  s.new_name = "renamed";
  s.autostart = 0;
  s.interactive = 1;
  s.debug = 0;
  rec = stored;
  zeb_apply_set_options(s, true, 0, &rec);
  JobRecord expected = stored;
  job_set_name(&expected, "renamed");
  expected.flags = JOB_PAUSED | JOB_NO_DEBUG;
  expected.account_index = 0;
  EXPECT_EQ(std::memcmp(&rec, &expected, sizeof rec), 0);
}

}  // namespace
