#include "cleanup/core/command_line.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

TEST(FindCommandLineOption, MatchesWholeTokensOnly) {
  EXPECT_TRUE(FindCommandLineOption("-nogui", "-nogui", nullptr, true));
  EXPECT_TRUE(FindCommandLineOption("-expert -nogui", "-nogui", nullptr, true));
  EXPECT_FALSE(FindCommandLineOption("-nogui2", "-nogui", nullptr, true));
  EXPECT_FALSE(FindCommandLineOption("x-nogui", "-nogui", nullptr, true));
  EXPECT_FALSE(FindCommandLineOption("-nogu", "-nogui", nullptr, true));
  EXPECT_FALSE(FindCommandLineOption("", "-nogui", nullptr, true));
  EXPECT_FALSE(FindCommandLineOption("   ", "-nogui", nullptr, true));
  // An option glued to its value is one token and matches nothing.
  std::string value;
  EXPECT_FALSE(
      FindCommandLineOption("-c{96e73b6e-7a5a-11d4-9f24-0080c82727f4}", "-c", &value, true));
  EXPECT_EQ(value, "");
}

TEST(FindCommandLineOption, IgnoresLetterCaseWhenAsked) {
  EXPECT_TRUE(FindCommandLineOption("-NOGUI", "-nogui", nullptr, true));
  EXPECT_TRUE(FindCommandLineOption("-Expert", "-expert", nullptr, true));
  EXPECT_TRUE(FindCommandLineOption("/H", "/h", nullptr, true));
  EXPECT_FALSE(FindCommandLineOption("-NOGUI", "-nogui", nullptr, false));
  EXPECT_TRUE(FindCommandLineOption("-nogui", "-nogui", nullptr, false));
}

TEST(FindCommandLineOption, TakesTheNextTokenAsValue) {
  std::string value = "stale";
  EXPECT_TRUE(FindCommandLineOption("-x -c {guid} -i id", "-c", &value, true));
  EXPECT_EQ(value, "{guid}");
  EXPECT_TRUE(FindCommandLineOption("-x -c {guid} -i id", "-i", &value, true));
  EXPECT_EQ(value, "id");
  // The first equal token is the match.
  EXPECT_TRUE(FindCommandLineOption("-c first -c second", "-c", &value, true));
  EXPECT_EQ(value, "first");
  // Not found: the value is emptied.
  value = "stale";
  EXPECT_FALSE(FindCommandLineOption("-i id", "-c", &value, true));
  EXPECT_EQ(value, "");
}

TEST(FindCommandLineOption, MissingValueIsEmptyButFound) {
  std::string value = "stale";
  EXPECT_TRUE(FindCommandLineOption("-nogui -c", "-c", &value, true));
  EXPECT_EQ(value, "");
  EXPECT_TRUE(FindCommandLineOption("-c   \t ", "-c", &value, true));
  EXPECT_EQ(value, "");
}

TEST(FindCommandLineOption, ValueMayAlsoMatchAsOption) {
  std::string value;
  EXPECT_TRUE(FindCommandLineOption("-c -nogui", "-c", &value, true));
  EXPECT_EQ(value, "-nogui");
  EXPECT_TRUE(FindCommandLineOption("-c -nogui", "-nogui", nullptr, true));
}

TEST(FindCommandLineOption, QuotesAreOrdinaryCharacters) {
  std::string value;
  EXPECT_TRUE(FindCommandLineOption("-c \"{a b}\"", "-c", &value, true));
  EXPECT_EQ(value, "\"{a");
  EXPECT_FALSE(FindCommandLineOption("\"-nogui\"", "-nogui", nullptr, true));
  EXPECT_TRUE(FindCommandLineOption("\"-nogui\"", "\"-nogui\"", nullptr, true));
}

TEST(FindCommandLineOption, SplitsAtEveryLocaleWhiteSpace) {
  std::string value;
  EXPECT_TRUE(FindCommandLineOption("-a\t-c\n\v\fvalue\r-b", "-c", &value, true));
  EXPECT_EQ(value, "value");
  EXPECT_TRUE(FindCommandLineOption("\t\t-nogui\t", "-nogui", nullptr, true));
}

}  // namespace
}  // namespace korva
