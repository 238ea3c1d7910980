// Pure parts of the service: control handling, event types and the mask,
// the minute wait and the role words of server comments.
#include <gtest/gtest.h>

#include "platform/kernel/clock.h"
#include "zeb/event_logger.h"
#include "zeb/scheduler_loop.h"
#include "zeb/server_roles.h"
#include "zeb/service_role.h"

namespace {

TEST(ServiceRole, ControlsChangeOnlyTheStatesTheyApplyTo) {
  EXPECT_EQ(zeb_state_after_control(ZEB_STATE_RUNNING, ZEB_CONTROL_PAUSE), ZEB_STATE_PAUSED);
  EXPECT_EQ(zeb_state_after_control(ZEB_STATE_PAUSED, ZEB_CONTROL_CONTINUE), ZEB_STATE_RUNNING);
  // A pause of a paused service keeps it paused (and a continue of a
  // running one keeps it running); interrogate changes nothing.
  EXPECT_EQ(zeb_state_after_control(ZEB_STATE_PAUSED, ZEB_CONTROL_PAUSE), ZEB_STATE_PAUSED);
  EXPECT_EQ(zeb_state_after_control(ZEB_STATE_RUNNING, ZEB_CONTROL_CONTINUE), ZEB_STATE_RUNNING);
  EXPECT_EQ(zeb_state_after_control(ZEB_STATE_PAUSED, ZEB_CONTROL_INTERROGATE), ZEB_STATE_PAUSED);
  EXPECT_EQ(zeb_state_after_control(ZEB_STATE_RUNNING, 200), ZEB_STATE_RUNNING);
}

TEST(ServiceRole, EventTypesAndTheLoggingMask) {
  EXPECT_EQ(zeb_event_type(ZEB_EV_STARTED), 4);
  EXPECT_EQ(zeb_event_type(ZEB_EV_ACCESS_DENIED), 2);
  EXPECT_EQ(zeb_event_type(ZEB_EV_API_ERROR), 1);
  EXPECT_EQ(zeb_event_type(ZEB_EV_TEXT), 1);
  EXPECT_EQ(zeb_event_type(0x00000001), 4);
  EXPECT_FALSE(zeb_event_enabled(ZEB_EV_STARTED, 0x0001));
  EXPECT_TRUE(zeb_event_enabled(ZEB_EV_STOPPED, 0x0001));
  EXPECT_FALSE(zeb_event_enabled(ZEB_EV_LOCK_TIMEOUT, 0x1000));
  EXPECT_FALSE(zeb_event_enabled(ZEB_EV_API_ERROR, 0x8000));
  EXPECT_TRUE(zeb_event_enabled(ZEB_EV_API_ERROR, 0x7FFF));
  EXPECT_TRUE(zeb_event_enabled(ZEB_EV_TEXT, 0xFFFF));  // no bit of the mask can hide it
}

TEST(ServiceRole, TheLoopWakesAtTheStartOfTheNextMinute) {
  const uint64_t minute = 600000000ull * 1000000;  // some whole minute
  EXPECT_EQ(zeb_wait_to_next_minute(minute), 60000u);
  EXPECT_EQ(zeb_wait_to_next_minute(minute + 5 * FILETIME_TICKS_PER_SECOND), 55000u);
  EXPECT_EQ(zeb_wait_to_next_minute(minute + 59 * FILETIME_TICKS_PER_SECOND + 9999999), 1000u);
}

TEST(ServiceRole, RoleWordsEndAtControlCharactersAndBlanks) {
  using V = std::vector<std::string>;
  EXPECT_EQ(zeb_role_words("Sales files /~FILES /~PRINT"), (V{"FILES", "PRINT"}));
  EXPECT_EQ(zeb_role_words("/~A\t/~B\n/~C"), (V{"A", "B", "C"}));
  EXPECT_EQ(zeb_role_words("x/~/~Y"), (V{"/~Y", "Y"}));
  EXPECT_EQ(zeb_role_words("/~ end"), V{""});
  EXPECT_EQ(zeb_role_words("no roles ~/ here"), V{});
  EXPECT_EQ(zeb_role_words("/~caf\xC3\xA9"), V{"caf\xC3\xA9"});
}

}  // namespace
