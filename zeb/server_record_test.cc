#include "zeb/server_record.h"

#include <gtest/gtest.h>

#include <cstring>

#include "lib/format.h"
#include "platform/services/services.h"

namespace {

ServerRecord sample() {
  ServerRecord r;
  r.domain = "SALES";
  r.server = "\\\\WS1";
  r.directory = "C:\\WIN32APP\\";
  r.temp_dir = "C:\\TEMP";
  r.logging = "1,3";
  r.query.logging = 0x0A;
  r.autostart = "0(Disabled)";
  r.interactive = "1";
  r.account = "LocalSystem";
  r.state = "RUNNING";
  r.version = "V2.0.0100";
  return r;
}

// A criteria table shaped like the client's: texts, and ranges for -A -I.
struct Criteria {
  char c[256] = "", I[256] = "", A[256] = "", u[256] = "", s[256] = "", T[256] = "",
       l[256] = "", V[256] = "";
  ArgSpec table[9] = {
      {ARG_STRING, 'c', ARG_OPTIONAL, c, 0}, {ARG_RANGE, 'I', ARG_OPTIONAL, I, 0},
      {ARG_RANGE, 'A', ARG_OPTIONAL, A, 0},  {ARG_STRING, 'u', ARG_OPTIONAL, u, 0},
      {ARG_STRING, 's', ARG_OPTIONAL, s, 0}, {ARG_STRING, 'T', ARG_OPTIONAL, T, 0},
      {ARG_STRING, 'l', ARG_OPTIONAL, l, 0}, {ARG_STRING, 'V', ARG_OPTIONAL, V, 0},
      {ARG_END, 0, 0, nullptr, 0}};
  void give(char letter, const char* value) {
    for (ArgSpec& e : table) {
      if (e.type != ARG_END && e.letter == letter) {
        std::strcpy(static_cast<char*>(e.target), value);
        e.state = ARG_GIVEN;
      }
    }
  }
};

TEST(ServerRecord, TextCriteriaMatchWithWildcardsIgnoringCase) {
  const ServerRecord r = sample();
  EXPECT_TRUE(server_record_matches(r, nullptr));
  Criteria none;
  EXPECT_TRUE(server_record_matches(r, none.table));  // nothing given: all pass
  Criteria state;
  state.give('s', "running");
  EXPECT_TRUE(server_record_matches(r, state.table));
  state.give('s', "STOPPED");
  EXPECT_FALSE(server_record_matches(r, state.table));
  Criteria version;
  version.give('V', "V2.*");
  EXPECT_TRUE(server_record_matches(r, version.table));
  version.give('V', "V1.*");
  EXPECT_FALSE(server_record_matches(r, version.table));
  Criteria several;
  several.give('c', "c:\\win32app\\");
  several.give('u', "Local*");
  several.give('T', "C:\\TEMP");
  EXPECT_TRUE(server_record_matches(r, several.table));
  several.give('T', "C:\\TMP");
  EXPECT_FALSE(server_record_matches(r, several.table));
  Criteria logging;
  logging.give('l', "1,3");
  EXPECT_TRUE(server_record_matches(r, logging.table));
  logging.give('l', "1");
  EXPECT_FALSE(server_record_matches(r, logging.table));
}

TEST(ServerRecord, FlagRangesTakeDisabledAsZero) {
  ServerRecord r = sample();
  Criteria c;
  c.give('A', "0");
  EXPECT_TRUE(server_record_matches(r, c.table));  // "0(Disabled)"
  c.give('A', "1");
  EXPECT_FALSE(server_record_matches(r, c.table));
  r.autostart = "1";
  EXPECT_TRUE(server_record_matches(r, c.table));
  c.give('A', "0:1");
  EXPECT_TRUE(server_record_matches(r, c.table));
  c.give('A', "");  // an empty range admits all
  EXPECT_TRUE(server_record_matches(r, c.table));
  Criteria i;
  i.give('I', "0");
  EXPECT_FALSE(server_record_matches(r, i.table));
  r.interactive = "0";
  EXPECT_TRUE(server_record_matches(r, i.table));
}

TEST(ServerRecord, LoggingRangeCriterionLooksAtEachBit) {
  ServerRecord r = sample();  // bits 1 and 3
  char range[256] = "3";
  ArgSpec table[] = {{ARG_RANGE, 'l', ARG_GIVEN, range, 0}, {ARG_END, 0, 0, nullptr, 0}};
  EXPECT_TRUE(server_record_matches(r, table));
  std::strcpy(range, "4:15");
  EXPECT_FALSE(server_record_matches(r, table));
  r.query.logging = 0;
  r.logging = "0";
  std::strcpy(range, "0");
  EXPECT_TRUE(server_record_matches(r, table));
  r.logging = "";  // unreadable: no range admits it
  EXPECT_FALSE(server_record_matches(r, table));
}

TEST(ServerRecord, FieldsFeedTheServerLine) {
  const ServerRecord r = sample();
  ArgSpec fields[SERVER_FIELD_COUNT + 1];
  server_record_fields(r, fields);
  EXPECT_EQ(fields[SERVER_FIELD_COUNT].type, ARG_END);
  char out[OUTPUT_LINE_SIZE + 1];
  expand_format("~-.12S~-8s A~A I~I ~u", out, fields, OUTPUT_LINE_SIZE);
  EXPECT_STREQ(out, "\\\\WS1       RUNNING  A0(Disabled) I1 LocalSystem");
  expand_format("~D|~c|~T|~l|~V", out, fields, OUTPUT_LINE_SIZE);
  EXPECT_STREQ(out, "SALES|C:\\WIN32APP\\|C:\\TEMP|1,3|V2.0.0100");
}

TEST(ServerRecord, AutostartWords) {
  EXPECT_STREQ(server_autostart_word(SERVICE_AUTO_START), "1");
  EXPECT_STREQ(server_autostart_word(SERVICE_DEMAND_START), "0");
  EXPECT_STREQ(server_autostart_word(SERVICE_DISABLED), "0(Disabled)");
  EXPECT_STREQ(server_autostart_word(SERVICE_BOOT_START), "1");
}

}  // namespace
