#include "zeb/job_fields.h"

#include <gtest/gtest.h>

#include "lib/format.h"
#include "lib/format_test_support.h"
#include "lib/time_syntax.h"
#include "zeb/client_options.h"

namespace {

std::string line_of(const char* format, const ArgSpec* table) {
  char out[OUTPUT_LINE_SIZE + 1];
  expand_format(format, out, table, OUTPUT_LINE_SIZE);
  return out;
}

JobRecord sample() {
  JobRecord rec;
  job_record_init(&rec);
  job_set_name(&rec, "backup");
  job_set_command(&rec, "ntbackup.exe /all");
  job_set_creator(&rec, "admin");
  job_set_modified_by(&rec, "oper");
  rec.interval = 1440 + 2 * 60 + 5;
  rec.hour_mask = 0x0007FF80;
  rec.weekday_mask = 0x41;
  rec.day_mask = 0x2E;
  rec.flags = JOB_RUNNING | JOB_OWN_DESKTOP;
  EXPECT_TRUE(parse_abs_time("30.04.1997 20:00", &rec.next_run));
  return rec;
}

TEST(ZebJobFields, EveryFieldOfAJobLine) {
  EnvScope tz("TZ", "UTC0"), date("QX_DATE_FORMAT", nullptr), time("QX_TIME_FORMAT", nullptr);
  tzset();
  JobRecord rec = sample();
  rec.flags = 0;
  ZebJobFields f(rec, "\\\\SRV1", "DOM\\joe");
  EXPECT_EQ(line_of("~S|~N|~C|~c|~M|~i", f.table),
            "\\\\SRV1|backup|admin|ntbackup.exe /all|oper|1 02:05");
  EXPECT_EQ(line_of("~H|~W|~D|~t|~l|~E", f.table),
            "7:18|0,6|1:3,5|30.04.1997 20:00|never|UNDEFINED");
  EXPECT_EQ(line_of("[~z]~s ~I~A~G ~u", f.table), "[ ]IDLE 101 DOM\\joe");
  EXPECT_EQ(line_of(ZEB_JOB_FORMAT_DEFAULT, f.table),
            " backup               ntbackup.exe /all    30.04.1997 20:00 1 02:05");

  rec.flags = JOB_PAUSED | JOB_OWN_DESKTOP | JOB_AUTOSTART | JOB_NO_DEBUG;
  rec.last_exit_code = 3;
  rec.interval = 0xFFFFFFFFu;
  ZebJobFields g(rec, "", "0");
  EXPECT_EQ(line_of("[~z]~s ~I~A~G ~u ~E ~i", g.table), "[-]PAUSED 010 0 3 2982616 04:15");
  rec.flags |= JOB_RUNNING;  // running wins over paused
  ZebJobFields h(rec, "", "0");
  EXPECT_EQ(line_of("[~z]~s", h.table), "[*]RUNNING");

  ZebServerJobFields s("SALES", "\\\\SRV2", 7);
  EXPECT_EQ(line_of("~D ~S ~T", s.table), "SALES \\\\SRV2 7");
  ZebJobTotalsFields t(2, 9);
  EXPECT_EQ(line_of("~S/~T", t.table), "2/9");
}

TEST(ZebJobFields, JobCriteriaAndFormatChoice) {
  ZebJobFields f(sample(), "\\\\SRV1", "DOM\\joe");
  struct Case {
    const char* line;
    bool match;
  } cases[] = {
      {"zeb sho j", true},       {"zeb sho j -sRUNNING", true},   {"zeb sho j -sIDLE", false},
      {"zeb sho j -cNT*", true}, {"zeb sho j -c*.cmd", false},    {"zeb sho j -I0 -A0", true},
      {"zeb sho j -I1", false},  {"zeb sho j -A1", false},        {"zeb sho j -udom\\*", true},
      {"zeb sho j -u0", false},  {"zeb sho j -Vx -Tx -l3", true},  // server criteria do not apply
                                                                   // to jobs
  };
  ZebClientArgs args;
  for (const Case& c : cases) {
    ASSERT_EQ(zeb_parse_client_args(c.line, &args).result, 0) << c.line;
    EXPECT_EQ(match_criteria(f.criteria, args.criteria), c.match) << c.line;
  }

  {
    EnvScope v("ZEB_J_FORMAT", std::string(300, 'x').c_str());
    EXPECT_EQ(zeb_pick_format("", "ZEB_J_FORMAT", "dflt"), std::string(255, 'x'));
    EXPECT_EQ(zeb_pick_format("~c", "ZEB_J_FORMAT", "dflt"), "~c");
  }
  EnvScope none("ZEB_J_FORMAT", nullptr);
  EXPECT_EQ(zeb_pick_format("", "ZEB_J_FORMAT", "dflt"), "dflt");
}

}  // namespace
