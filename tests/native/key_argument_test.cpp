// plughost's reading of KEY[:STATE] events from its command line and standard input.

#include "tools/plughost/key_argument.h"

#include <gtest/gtest.h>

namespace {

using plughost::ParseKeyArgument;
using plughost::ParseKeyLine;

TEST(KeyArgument, ReadsKeyAndOptionalState) {
  struct Case {
    const char* text;
    std::uint16_t keyCode, keyState;
  };
  for (const Case& c : {Case{"31", 31, 1}, Case{"25:2", 25, 2}, Case{"0", 0, 1},
                        Case{"65535:65535", 65535, 65535}, Case{"007:0", 7, 0}}) {
    std::string error;
    const auto key = ParseKeyArgument(c.text, error);
    ASSERT_TRUE(key) << c.text << ": " << error;
    EXPECT_EQ(key->keyCode, c.keyCode) << c.text;
    EXPECT_EQ(key->keyState, c.keyState) << c.text;
  }
}

TEST(KeyArgument, RejectsWhatIsNotANumberUpTo65535) {
  for (const char* text : {"", "x", "-1", "65536", "99999999999", "31:", ":2", "31:2:3", "0x1F",
                           "31 ", "25:70000", "1e3"}) {
    std::string error;
    EXPECT_FALSE(ParseKeyArgument(text, error)) << "'" << text << "' was accepted";
    EXPECT_NE(error.find(text), std::string::npos) << "the error does not quote the input";
  }
}

TEST(KeyArgument, LinesAllowBlanksAndComments) {
  std::string error;
  EXPECT_FALSE(ParseKeyLine("\n", error));
  EXPECT_FALSE(ParseKeyLine("   # a comment\r\n", error));
  EXPECT_EQ(error, "");
  const auto key = ParseKeyLine("  25:2  # F11\r\n", error);
  ASSERT_TRUE(key) << error;
  EXPECT_EQ(key->keyCode, 25);
  EXPECT_EQ(key->keyState, 2);
  EXPECT_FALSE(ParseKeyLine("twelve\n", error));
  EXPECT_NE(error, "");
}

}  // namespace
