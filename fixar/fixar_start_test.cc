#include "fixar/fixar_start.h"

#include <gtest/gtest.h>

namespace {

TEST(FixarStart, TimeLimitOption) {
  EXPECT_EQ(time_limit_from_option(300), 300u);
  EXPECT_EQ(time_limit_from_option(0), 0u) << "0 keeps its meaning: do not wait";
  EXPECT_EQ(time_limit_from_option(-1), 0xFFFFFFFFu) << "an empty /t is a long wait, not none";
}

}  // namespace
