#include "ntnet/options.h"

#include <gtest/gtest.h>

namespace {

bool parse(std::vector<const char*> argv, NtnetArgs* args, std::string* error) {
  return ntnet_parse_args(static_cast<int>(argv.size()), const_cast<char**>(argv.data()), 0,
                          {"domain", "role"}, {"times"}, args, error);
}

TEST(NtnetOptions, GnuStyle) {
  NtnetArgs args;
  std::string error;
  ASSERT_TRUE(parse({"NAME", "--domain", "D1", "--role=pdc", "-1", "--times", "--", "--x"}, &args,
                    &error));
  EXPECT_EQ(args.positional, (std::vector<std::string>{"NAME", "-1", "--x"}));
  EXPECT_EQ(args.values.at("domain"), "D1");
  EXPECT_EQ(args.values.at("role"), "pdc");
  EXPECT_TRUE(args.flags.count("times"));
  EXPECT_FALSE(args.help);

  NtnetArgs help;
  ASSERT_TRUE(parse({"-h"}, &help, &error));
  EXPECT_TRUE(help.help);
  // A value may be empty or look like an option.
  NtnetArgs empty;
  ASSERT_TRUE(parse({"--domain", "--times"}, &empty, &error));
  EXPECT_EQ(empty.values.at("domain"), "--times");
}

TEST(NtnetOptions, Errors) {
  NtnetArgs args;
  std::string error;
  EXPECT_FALSE(parse({"--domain"}, &args, &error));
  EXPECT_EQ(error, "option --domain needs a value");
  EXPECT_FALSE(parse({"--nope"}, &args, &error));
  EXPECT_EQ(error, "unknown option --nope");
  EXPECT_FALSE(parse({"--times=yes"}, &args, &error));
  EXPECT_EQ(error, "option --times takes no value");
}

}  // namespace
