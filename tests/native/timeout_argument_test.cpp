// plughost's reading of --timeout SECONDS.

#include "tools/plughost/timeout_argument.h"

#include <gtest/gtest.h>

namespace {

using plughost::ParseTimeoutArgument;

TEST(TimeoutArgument, ReadsSecondsAsMilliseconds) {
  struct Case {
    const char* text;
    std::uint32_t milliseconds;
  };
  for (const Case& c : {Case{"5", 5000}, Case{"0.5", 500}, Case{"0.1", 100}, Case{"1.25", 1250},
                        Case{"3600", 3600000}, Case{"07", 7000}}) {
    std::string error;
    const auto timeout = ParseTimeoutArgument(c.text, error);
    ASSERT_TRUE(timeout) << c.text << ": " << error;
    EXPECT_EQ(*timeout, c.milliseconds) << c.text;
  }
}

TEST(TimeoutArgument, RejectsWhatIsNoTimeOrOutOfRange) {
  for (const char* text :
       {"", "x", "-1", "0", "0.05", "3600.5", "1e3", "5s", ".5", "1.2345", "99999999999", "1."}) {
    std::string error;
    EXPECT_FALSE(ParseTimeoutArgument(text, error)) << "'" << text << "' was accepted";
    EXPECT_NE(error.find(std::string("'") + text + "'"), std::string::npos) << error;
  }
}

}  // namespace
