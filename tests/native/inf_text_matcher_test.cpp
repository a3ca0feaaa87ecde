#include "cleanup/core/inf_text_matcher.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "common/core/text.h"
#include "reference/inf_reference.h"
#include "reference/string_inf_source.h"
#include "reference/test_code_page.h"

namespace korva {
namespace {

using testing::ReferenceFileMarks;
using testing::ReferenceIsKitInf;
using testing::ReferenceMarks;
using testing::StringInfSource;
using testing::TestUtf16ToAnsi;
using testing::Utf16File;
using testing::Widen;

const InfSearchTerms kTerms{"{96E73B6E-7A5A-11D4-9F24-0080C82727F4}",
                            "CLEANUPWIZARD_DEVICEIDENTSTRING",
                            "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}", false};

const std::string kClassLine = "ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n";
const std::string kIdentLine =
    "HKR,,CleanupWizard_DeviceIdentString,,\"{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\"\r\n";
const std::string kUsbLine = "%Dev%=Install, USB\\VID_0547&PID_1002\r\n";

InfMarks Marks(const std::string& text, const InfSearchTerms& terms = kTerms,
               size_t chunk = SIZE_MAX) {
  StringInfSource source(text, chunk);
  return InfTextMatcher(terms, TestUtf16ToAnsi).ReadMarks(source);
}

bool Matches(const std::string& text, const InfSearchTerms& terms = kTerms,
             size_t chunk = SIZE_MAX) {
  StringInfSource source(text, chunk);
  return InfTextMatcher(terms, TestUtf16ToAnsi).Matches(source);
}

TEST(InfTextMatcher, FindsEachMarkOnItsOwn) {
  InfMarks m = Marks(kClassLine);
  EXPECT_TRUE(m.classFound);
  EXPECT_FALSE(m.identFound);
  EXPECT_FALSE(m.usbFound);
  m = Marks(kIdentLine);
  EXPECT_TRUE(m.identFound);
  EXPECT_FALSE(m.classFound);
  m = Marks("x=usb\\vid_1234\n");
  EXPECT_TRUE(m.usbFound);
  EXPECT_TRUE(Matches(kClassLine + kIdentLine + kUsbLine));
  EXPECT_FALSE(Matches(kClassLine + kUsbLine));
  EXPECT_FALSE(Matches(kClassLine + kIdentLine));
  EXPECT_FALSE(Matches(kIdentLine + kUsbLine));
}

TEST(InfTextMatcher, ExpertModeDropsTheIdentTestOnly) {
  InfSearchTerms expert = kTerms;
  expert.expertMode = true;
  EXPECT_TRUE(Matches(kClassLine + kUsbLine, expert));
  EXPECT_FALSE(Matches(kClassLine + kIdentLine, expert));
}

TEST(InfTextMatcher, BothTermsOfAMarkMustShareAPiece) {
  EXPECT_FALSE(Marks("ClassGuid=\n{96e73b6e-7a5a-11d4-9f24-0080c82727f4}\n").classFound);
  EXPECT_FALSE(Marks("CleanupWizard_DeviceIdentString\n{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\n")
                   .identFound);
  // Both on one line in any order and case.
  EXPECT_TRUE(Marks("{96E73b6e-7A5A-11d4-9f24-0080c82727f4} is the CLASSguid\n").classFound);
}

// A Turkish locale in its single-byte code page, where toupper('i') is not 'I' and the dotless
// \xFD upper-cases to 'I'; built here when the locale sources are installed, so that the
// test needs no locale of the machine's own. Empty if it cannot be had.
std::string TurkishLocale() {
  const char* name = "tr_TR.ISO-8859-9";
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "korva-locales";
  std::filesystem::create_directories(folder);
  std::string command =
      "localedef -i tr_TR -f ISO-8859-9 '" + (folder / name).string() + "' >/dev/null 2>&1";
  if (!std::filesystem::exists(folder / name) && std::system(command.c_str()) != 0) return "";
  setenv("LOCPATH", folder.c_str(), 1);
  return name;
}

TEST(InfTextMatcher, TheFormatsMarksIgnoreTheLocalesCasing) {
  std::string turkish = TurkishLocale();
  if (turkish.empty() || !std::setlocale(LC_ALL, turkish.c_str())) {
    GTEST_SKIP() << "no Turkish locale can be built here (localedef and the locale sources)";
  }
  ASSERT_NE(std::toupper('i'), 'I');
  // The terms as the cleanup makes them under this locale: the ident casing is the locale's.
  InfSearchTerms terms = kTerms;
  terms.identValueName = "CleanupWizard_DeviceIdentString";
  UpperCaseInPlace(terms.identValueName);
  const std::string usbLine = "%Dev%=install, usb\\vid_0547&pid_1002\n";
  const std::string classLine = "classguid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\n";
  InfMarks marks = Marks(classLine + kIdentLine + usbLine, terms);
  EXPECT_TRUE(marks.classFound);
  EXPECT_TRUE(marks.identFound);
  EXPECT_TRUE(marks.usbFound);
  EXPECT_TRUE(Matches(classLine + kIdentLine + usbLine, terms));
  // A dotless i is no I of the format's word.
  EXPECT_FALSE(Marks("classgu\xFD"
                     "d={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\n",
                     terms)
                   .classFound);
  EXPECT_TRUE(ReferenceMarks(classLine + kIdentLine + usbLine, terms).classFound);
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
}

TEST(InfTextMatcher, TheValueNameAndTheIdentStandAsWholeFields) {
  const std::string name = "CleanupWizard_DeviceIdentString";
  const std::string ident = "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}";
  struct Case {
    std::string line;
    bool found;
  };
  const Case cases[] = {
      {"HKR,," + name + ",,\"" + ident + "\"\n", true},
      {name + "=" + ident, true},  // the line's start and end
      {"HKR,," + name + ",,\"" + ident + "\";old\n", true},
      {"HKR,," + name + ",,\"" + ident + "-V2\"\n", false},
      {"HKR,," + name + ",,\"" + ident + "_2\"\n", false},
      {"HKR,," + name + ",,\"x" + ident + "\"\n", false},
      {"HKR,," + name + "Old,,\"" + ident + "\"\n", false},
      {"HKR,,My" + name + ",,\"" + ident + "\"\n", false},
      {"HKR,,-" + name + ",,\"" + ident + "\"\n", false},
      {"HKR,,\xC4" + name + ",,\"" + ident + "\"\n", true},  // no letter in the C locale
      // A later occurrence of a field counts when an earlier one is part of a longer word.
      {name + "Old " + name + " " + ident + "2 " + ident + "\n", true},
  };
  for (const Case& c : cases) EXPECT_EQ(Marks(c.line).identFound, c.found) << c.line;
  // An ident such as "1" is not found inside longer numbers or names.
  InfSearchTerms one = kTerms;
  one.deviceIdentString = "1";
  EXPECT_TRUE(Marks("HKR,," + name + ",,\"1\"\n", one).identFound);
  EXPECT_FALSE(Marks("HKR,," + name + ",,\"11\"\n", one).identFound);
  EXPECT_FALSE(Marks("HKR,," + name + ",,\"V1\"\n", one).identFound);
  EXPECT_FALSE(Marks("HKR,," + name + ",,\"{0001}\"\n", one).identFound);
}

TEST(InfTextMatcher, IgnoresEverythingAfterASemicolon) {
  EXPECT_FALSE(Marks("; ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\n").classFound);
  EXPECT_FALSE(Marks("ClassGuid=;{96e73b6e-7a5a-11d4-9f24-0080c82727f4}\n").classFound);
  EXPECT_FALSE(Marks("x ; USB\\VID\n").usbFound);
  // The cut ends with the piece: the next line counts again.
  EXPECT_TRUE(Marks("x ; y\nUSB\\VID\n").usbFound);
}

TEST(InfTextMatcher, ANulByteEndsThePieceLikeASemicolon) {
  EXPECT_FALSE(Marks(std::string("x\0USB\\VID\n", 10)).usbFound);
  EXPECT_TRUE(Marks(std::string("x\0y\nUSB\\VID\n", 12)).usbFound);
}

TEST(InfTextMatcher, CtrlZEndsTheTextAsInTextMode) {
  EXPECT_FALSE(Marks("x\x1AUSB\\VID\n").usbFound);
  EXPECT_TRUE(Marks("USB\\VID\x1A").usbFound);
}

TEST(InfTextMatcher, ReadsPiecesOfAtMost1999Characters) {
  // A needle that ends exactly at character 1999 is found; one that crosses it is not.
  std::string fits = std::string(1999 - 4, 'a') + "USB\\" + "tail\n";
  EXPECT_TRUE(Marks(fits).usbFound);
  std::string crosses = std::string(1999 - 2, 'a') + "USB\\" + "tail\n";
  EXPECT_FALSE(Marks(crosses).usbFound);
  // The second piece of a long line is a line of its own.
  std::string second = std::string(1999, 'a') + "USB\\\n";
  EXPECT_TRUE(Marks(second).usbFound);
  // CR LF counts as one character: the line below is exactly 1999 characters with its LF.
  std::string crlf = std::string(1998 - 4, 'a') + "USB\\" + "\r\n";
  EXPECT_TRUE(Marks(crlf).usbFound);
  // A lone CR is an ordinary character and no line end.
  std::string lone = std::string(1996, 'a') + "\r" + "USB\\\n";
  EXPECT_FALSE(Marks(lone).usbFound);
}

TEST(InfTextMatcher, AGuidSplitAcrossReadBlocksIsStillFound) {
  std::string text = kIdentLine + kUsbLine + std::string(300000, 'x') + "\n" + kClassLine;
  for (const std::string& file : {text, Utf16File(Widen(text))}) {
    for (size_t chunk : {1, 7, 4096, 262143}) {
      EXPECT_TRUE(Matches(file, kTerms, chunk)) << chunk;
    }
  }
}

TEST(InfTextMatcher, ReadsUtf16TextAsItsAnsiForm) {
  const char16_t high = 0xD83D;
  const char16_t low = 0xDE00;
  // 1995 characters and a pair of four bytes fill a piece: "USB\" then starts the next one.
  const std::u16string pairEndsAPiece = Widen(std::string(1995, 'a')) + high + low + u"USB\\\n";
  const std::u16string lineOf1999 = Widen(std::string(1998 - 4, 'a') + "USB\\\r\n");
  std::string bigEndian;
  for (char c : std::string("x=USB\\VID\n")) bigEndian += std::string(1, '\0') + c;
  struct Case {
    const char* what;
    std::string file;
    bool usbFound;
  };
  const Case cases[] = {
      {"the mark found in UTF-16", Utf16File(u"x=usb\\VID\r\n"), true},
      {"the same code units without the byte-order mark", Utf16File(u"x=USB\\VID\r\n", false),
       false},
      {"a big-endian byte-order mark", "\xFE\xFF" + bigEndian, false},
      {"the byte-order mark alone", "\xFF\xFE", false},
      {"a file of one byte", "\xFF", false},
      {"a byte-order mark after the start", "x" + Utf16File(u"USB\\\n"), false},
      {"an odd last byte is no character", Utf16File(u"USB") + "\\", false},
      {"an odd last byte after the text", Utf16File(u"USB\\") + "U", true},
      {"U+0000 cuts the line", Utf16File(std::u16string(u"x\0USB\\\n", 7)), false},
      {"the line after U+0000 counts", Utf16File(std::u16string(u"x\0y\nUSB\\\n", 9)), true},
      {"U+001A ends the text", Utf16File(u"x\x1AUSB\\\n"), false},
      {"a semicolon cuts the line", Utf16File(u"x;USB\\\n"), false},
      {"CR LF is one character of a 1999-character piece", Utf16File(lineOf1999), true},
      {"a lone CR is no line end", Utf16File(Widen(std::string(1996, 'a') + "\rUSB\\\n")), false},
      {"a lone surrogate is one '?'", Utf16File(u"USB" + std::u16string(1, high) + u"\\"), false},
      {"a lone surrogate ends the file", Utf16File(u"USB\\" + std::u16string(1, high)), true},
      {"a surrogate pair is one character", Utf16File(pairEndsAPiece), true},
      // Where the first read's conversion stops (a quarter of the 256 KB block in units).
      {"a surrogate pair across the conversion's blocks",
       Utf16File(Widen(std::string(65535 - 1996, 'a') + "\n") + pairEndsAPiece), true},
      {"a text four times as long as its code units",
       Utf16File(std::u16string(70000, char16_t{0xAC00}) + u"\nUSB\\"), true},
      // Read byte for byte as an ANSI file is: the trail byte of U+3015 is 'U'.
      {"a double-byte character's trail byte", Utf16File(u"\u3015SB\\"), true},
  };
  for (const Case& c : cases) {
    for (size_t chunk : {SIZE_MAX, size_t{1}, size_t{3}, size_t{4096}}) {
      EXPECT_EQ(Marks(c.file, kTerms, chunk).usbFound, c.usbFound) << c.what << ", " << chunk;
      EXPECT_EQ(ReferenceFileMarks(c.file, kTerms, TestUtf16ToAnsi).usbFound, c.usbFound) << c.what;
    }
  }
  // The whole test in UTF-16, the fast way, with the GUID found in the converted text.
  const std::string kit = Utf16File(Widen(kClassLine + kIdentLine + kUsbLine));
  for (size_t chunk : {SIZE_MAX, size_t{1}, size_t{5}}) EXPECT_TRUE(Matches(kit, kTerms, chunk));
  EXPECT_FALSE(Matches(Utf16File(Widen(kClassLine + kIdentLine + kUsbLine), false)));
}

TEST(InfTextMatcher, NeedlesThatCannotMatch) {
  InfSearchTerms semicolon = kTerms;
  semicolon.deviceIdentString = "A;B";
  EXPECT_FALSE(Marks("CLEANUPWIZARD_DEVICEIDENTSTRING A;B\n", semicolon).identFound);
  InfSearchTerms lower = kTerms;  // no byte upper-cases to a lower-case letter
  lower.classGuidText = "{abc}";
  EXPECT_FALSE(
      Matches("ClassGuid={abc}\nUSB\\\nCleanupWizard_DeviceIdentString "
              "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\n",
              lower));
}

// Builds text from fragments that stress every rule: terms in both cases, comment cuts, NULs,
// Ctrl+Z, CR and LF in every combination, and long runs across piece and block boundaries.
std::string RandomInfText(std::mt19937& rng) {
  static const std::vector<std::string> fragments = {"ClassGuid",
                                                     "classguid=",
                                                     "{96e73b6e-7a5a-11d4-9f24-0080c82727f4}",
                                                     "{96E73B6E-7A5A-11D4-9F24-0080C82727F4}",
                                                     "{96e73b6e-7a5a-11d4-9f24-0080c82727f5}",
                                                     "CleanupWizard_DeviceIdentString",
                                                     "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}",
                                                     "CleanupWizard_DeviceIdentString",
                                                     "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}",
                                                     "_",
                                                     "-",
                                                     "x",
                                                     "7",
                                                     "USB\\",
                                                     "usb\\",
                                                     "USB",
                                                     "\\",
                                                     ";",
                                                     std::string(1, '\0'),
                                                     "\x1A",
                                                     "\r",
                                                     "\n",
                                                     "\r\n",
                                                     "\n\r",
                                                     " ",
                                                     "=",
                                                     ",",
                                                     "\"",
                                                     "\xE4\xC4",
                                                     "[Version]",
                                                     "HKR,,"};
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<size_t> pick(0, fragments.size() - 1);
  std::string text;
  int count = std::uniform_int_distribution<int>(0, 60)(rng);
  for (int i = 0; i < count; ++i) {
    switch (kind(rng)) {
      case 0: {
        size_t run = std::uniform_int_distribution<size_t>(1900, 2100)(rng);
        text.append(run, 'a');
        break;
      }
      case 1: {
        int n = std::uniform_int_distribution<int>(1, 20)(rng);
        for (int k = 0; k < n; ++k) text += static_cast<char>(rng() & 0xFF);
        break;
      }
      default:
        text += fragments[pick(rng)];
    }
  }
  // Now and then, a Ctrl+Z only near the end, so most texts are read whole.
  if (kind(rng) == 0) text += "\x1A" + fragments[pick(rng)];
  return text;
}

// The same in UTF-16: the fragments above as code units, and characters whose ANSI forms are
// '?', two bytes with an ASCII trail byte, three or four bytes; surrogates alone and in pairs;
// a byte-order mark now and then missing, an odd last byte now and then.
std::string RandomUtf16InfText(std::mt19937& rng) {
  static const std::vector<std::u16string> units = {u"\u3015", u"\u301C", u"\u303B", u"\u4E2D",
                                                    u"\uAC00", u"\uFEFF", u"\uFF3C", u"\uFFFF",
                                                    u"\u00E4", u"\u001A", u"\r\n",   u"\U0001F600"};
  std::uniform_int_distribution<int> kind(0, 9);
  std::u16string text;
  int count = std::uniform_int_distribution<int>(0, 40)(rng);
  for (int i = 0; i < count; ++i) {
    switch (kind(rng)) {
      case 0:
        text += units[std::uniform_int_distribution<size_t>(0, units.size() - 1)(rng)];
        break;
      case 1:
        text += static_cast<char16_t>(0xD800 + (rng() & 0x7FF));  // a lone surrogate
        break;
      default:
        text +=
            Widen(RandomInfText(rng).substr(0, std::uniform_int_distribution<size_t>(0, 300)(rng)));
    }
  }
  std::string file = Utf16File(text, kind(rng) != 0);
  if (kind(rng) == 0) file += 'U';
  return file;
}

TEST(InfTextMatcher, AgreesWithThePlainAlgorithmOnRandomText) {
  std::mt19937 rng(20261207);
  InfSearchTerms expert = kTerms;
  expert.expertMode = true;
  int kitFiles = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text = RandomInfText(rng);
    size_t chunk = std::uniform_int_distribution<size_t>(1, 5000)(rng);
    for (const InfSearchTerms* terms : {&kTerms, static_cast<const InfSearchTerms*>(&expert)}) {
      InfMarks expected = ReferenceMarks(text, *terms);
      StringInfSource source(text, chunk);
      InfMarks marks = InfTextMatcher(*terms, TestUtf16ToAnsi).ReadMarks(source);
      ASSERT_EQ(marks.classFound, expected.classFound) << "round " << round;
      ASSERT_EQ(marks.identFound, expected.identFound) << "round " << round;
      ASSERT_EQ(marks.usbFound, expected.usbFound) << "round " << round;
      bool kit = ReferenceIsKitInf(expected, terms->expertMode);
      kitFiles += kit;
      ASSERT_EQ(Matches(text, *terms, chunk), kit) << "round " << round;
    }
  }
  // The generator must produce both answers often enough to mean something.
  EXPECT_GT(kitFiles, 200);
  EXPECT_LT(kitFiles, 7800);

  // UTF-16 files against the whole file's conversion.
  int utf16KitFiles = 0;
  for (int round = 0; round < 2000; ++round) {
    std::string file = RandomUtf16InfText(rng);
    size_t chunk = std::uniform_int_distribution<size_t>(1, 5000)(rng);
    for (const InfSearchTerms* terms : {&kTerms, static_cast<const InfSearchTerms*>(&expert)}) {
      InfMarks expected = ReferenceFileMarks(file, *terms, TestUtf16ToAnsi);
      StringInfSource source(file, chunk);
      InfMarks marks = InfTextMatcher(*terms, TestUtf16ToAnsi).ReadMarks(source);
      ASSERT_EQ(marks.classFound, expected.classFound) << "UTF-16 round " << round;
      ASSERT_EQ(marks.identFound, expected.identFound) << "UTF-16 round " << round;
      ASSERT_EQ(marks.usbFound, expected.usbFound) << "UTF-16 round " << round;
      bool kit = ReferenceIsKitInf(expected, terms->expertMode);
      utf16KitFiles += kit;
      ASSERT_EQ(Matches(file, *terms, chunk), kit) << "UTF-16 round " << round;
    }
  }
  EXPECT_GT(utf16KitFiles, 100);
  EXPECT_LT(utf16KitFiles, 3900);
}

TEST(InfTextMatcher, AgreesWithThePlainAlgorithmOnRealInfFiles) {
  const char* corpus = std::getenv("KORVA_CORPUS");
  if (!corpus || !std::filesystem::is_directory(corpus)) {
    GTEST_SKIP() << "the shared INF corpus is not here";
  }
  int files = 0;
  int usbClassFiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".inf") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    ++files;
    // None of them is the kit's.
    EXPECT_FALSE(Matches(text)) << entry.path();
    // In expert mode with the USB class, the OSR FX2 samples qualify.
    InfSearchTerms usbClass = kTerms;
    usbClass.classGuidText = "{78A1C341-4539-11D3-B88D-00C04FAD5171}";
    usbClass.expertMode = true;
    bool expected = ReferenceIsKitInf(ReferenceFileMarks(text, usbClass, TestUtf16ToAnsi), true);
    EXPECT_EQ(Matches(text, usbClass, 4096), expected) << entry.path();
    usbClassFiles += expected;
  }
  EXPECT_GT(files, 100);
  EXPECT_GT(usbClassFiles, 0);
}

}  // namespace
}  // namespace korva
