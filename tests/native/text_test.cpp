#include "common/core/text.h"

#include <clocale>

#include <gtest/gtest.h>

namespace korva {
namespace {

TEST(Text, UpperCasesAsciiAndLeavesTheRest) {
  std::string text = "{96e73b6e-7a5a}\\usb;x\x80";
  UpperCaseInPlace(text);
  EXPECT_EQ(text, "{96E73B6E-7A5A}\\USB;X\x80");
}

TEST(Text, ComparesWithoutCase) {
  EXPECT_TRUE(EqualsIgnoreCase("{dab6a146-d93e}", "{DAB6A146-D93E}"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abd"));
  EXPECT_TRUE(EqualsIgnoreCase("", ""));
}

TEST(Text, MultibyteComparisonKeepsMultibyteCharactersExact) {
  EXPECT_TRUE(EqualsIgnoreCaseMultibyte("-NoGui", "-nogui"));
  EXPECT_FALSE(EqualsIgnoreCaseMultibyte("-nogui", "-nogu"));
  if (!std::setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale here";
  // U+00C4 and U+00E4 are two-byte characters: compared byte for byte, they differ.
  EXPECT_FALSE(EqualsIgnoreCaseMultibyte("-\xC3\x84", "-\xC3\xA4"));
  EXPECT_TRUE(EqualsIgnoreCaseMultibyte("-A\xC3\x84", "-a\xC3\x84"));
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace korva
