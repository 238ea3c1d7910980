#include "zeb/client_options.h"

#include <gtest/gtest.h>

#include "lib/command_code.h"
#include "lib/time_syntax.h"
#include "zeb/client_dispatch.h"

namespace {

TEST(ZebClientOptions, OptionsLandInTheirFields) {
  ZebClientArgs a;
  ASSERT_EQ(zeb_parse_client_args("zeb add \\\\SRV*\\b /c\"copy a b\" /tnever /id2 /H7:18 /W "
                                  "/A1 /I0 /uDOM\\joe /y /a ~F~N -sRUN*",
                                  &a).result, 0);
  EXPECT_EQ(a.command, "add");
  EXPECT_EQ(a.target, "\\\\SRV*\\b");
  EXPECT_TRUE(a.path_given && a.next_run_given && a.interval_given && a.account_given);
  EXPECT_EQ(a.path, "copy a b");
  EXPECT_EQ(filetime_to_u64(a.next_run), NEVER_TIME);
  EXPECT_EQ(a.interval_unit, 'd');
  EXPECT_EQ(a.interval_count, 2);
  EXPECT_EQ(a.hours, "7:18");
  EXPECT_TRUE(a.weekdays_given);  // given empty: all weekdays
  EXPECT_FALSE(a.days_given || a.password_given || a.new_name_given);
  EXPECT_EQ(a.autostart, 1);
  EXPECT_EQ(a.interactive, 0);
  EXPECT_EQ(a.debug, -1);  // not given: left as it is
  EXPECT_TRUE(a.yes && a.ansi && !a.verbose);
  EXPECT_EQ(a.item_format, "~N");
  EXPECT_EQ(a.server_format, "");

  // A second parse starts from scratch; a count that is no number is -1.
  ASSERT_EQ(zeb_parse_client_args("zeb set j /idx", &a).result, 0);
  EXPECT_FALSE(a.path_given || a.weekdays_given || a.yes);
  EXPECT_EQ(a.interval_count, -1);
  EXPECT_TRUE(zeb_parse_client_args("zeb /?", &a).help);

  testing::internal::CaptureStderr();
  EXPECT_EQ(zeb_parse_client_args("zeb add job /Z", &a).result, 3);
  EXPECT_EQ(zeb_parse_client_args("zeb add job /cx /H7h", &a).result, 4);
  EXPECT_EQ(zeb_parse_client_args("zeb add job extra", &a).result, 3);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "PARAM-ERROR, invalid option '/Z'\n"
            "PARAM-ERROR, range syntax error for option '/H'\n"
            "PARAM-ERROR, invalid parameter 3\n");
}

TEST(ZebClientDispatch, TargetKindsAndCommandWords) {
  for (const char* t : {"", "\\\\SRV*", "\\\\SRV1\\", "DOM\\\\SRV1"}) {
    EXPECT_EQ(zeb_target_kind(t), ZebTargetKind::server) << t;
  }
  for (const char* t : {"\\\\SRV*\\job*", "DOM\\\\SRV1\\job", "job*"}) {
    EXPECT_EQ(zeb_target_kind(t), ZebTargetKind::job) << t;
  }
  struct Word {
    const char* word;
    bool server, job;
  } words[] = {{"add", true, true},    {"show", true, true},   {"res", true, true},
               {"STOp", true, true},   {"upd", true, false},   {"user", true, false},
               {"clean", false, true}, {"switch", false, true}, {"st", false, false},
               {"imp", false, false}};
  for (const Word& w : words) {
    int code = command_code(w.word, CMD_HELP);
    EXPECT_EQ(zeb_server_command_valid(code), w.server) << w.word;
    EXPECT_EQ(zeb_job_command_valid(code), w.job) << w.word;
  }
}

}  // namespace
