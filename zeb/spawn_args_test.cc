#include "zeb/spawn_args.h"

#include <gtest/gtest.h>

#include "zeb/job_record.h"
#include "zeb/job_threads.h"

namespace {

TEST(SpawnArgs, TheServiceLineParsesBackIntoItsFields) {
  JobRecord rec;
  job_record_init(&rec);
  job_set_name(&rec, "nightly");
  job_set_command(&rec, "cmd /c copy a*b c");  // '*' inside the command
  rec.flags = JOB_OWN_DESKTOP | JOB_NO_DEBUG;
  rec.account_index = 12;
  std::string line = zeb_spawn_command_line("/opt/zeb", 44, true, rec);
  EXPECT_EQ(line, "/opt/zeb SpAwN *44*1*12*12*nightly*cmd /c copy a*b c");
  ZebSpawnArgs args;
  ASSERT_TRUE(zeb_parse_spawn_args(line, &args));
  EXPECT_EQ(args.event_handle, 44);
  EXPECT_TRUE(args.interactive);
  EXPECT_EQ(args.flags, JOB_OWN_DESKTOP | JOB_NO_DEBUG);
  EXPECT_EQ(args.account_index, 12u);
  EXPECT_EQ(args.name, "nightly");
  EXPECT_EQ(args.command, "cmd /c copy a*b c");

  EXPECT_EQ(zeb_spawn_command_line("/my dir/zeb", 4, false, rec).substr(0, 15),
            "\"/my dir/zeb\" S");
}

TEST(SpawnArgs, BrokenLinesAreRefused) {
  ZebSpawnArgs args;
  args.name = "untouched";
  EXPECT_FALSE(zeb_parse_spawn_args("zeb SpAwN *4*0*0*0*name", &args));  // no command field
  EXPECT_FALSE(zeb_parse_spawn_args("zeb spawn *4*0*0*0*n*c", &args));   // case counts
  EXPECT_FALSE(zeb_parse_spawn_args("zeb SpAwN *x*0*0*0*n*c", &args));
  EXPECT_FALSE(zeb_parse_spawn_args("zeb SpAwN **0*0*0*n*c", &args));
  EXPECT_FALSE(zeb_parse_spawn_args("zeb SpAwN *99999999999*0*0*0*n*c", &args));
  EXPECT_FALSE(zeb_parse_spawn_args("zeb SpAwN", &args));
  EXPECT_EQ(args.name, "untouched");
  ASSERT_TRUE(zeb_parse_spawn_args("zeb SpAwN *-1*0*0*0**", &args));
  EXPECT_EQ(args.event_handle, -1);
  EXPECT_EQ(args.name, "");
  EXPECT_EQ(args.command, "");
}

}  // namespace
