#include "support/resource_expectations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace korva::testing {
namespace {

bool SameClass(const std::string& actual, const char* expected) {
  // Class names are matched without regard to case; windres writes them in capitals.
  return _stricmp(actual.c_str(), expected) == 0;
}

BOOL CALLBACK AddResourceId(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids) {
  reinterpret_cast<std::vector<int>*>(ids)->push_back(
      IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) : kNoId);
  return TRUE;
}

}  // namespace

std::string Bits(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

void ExpectStyle(DWORD actual, DWORD required, DWORD forbidden, const char* what) {
  EXPECT_EQ(Bits(required & ~actual), Bits(0)) << what << " bits missing from " << Bits(actual);
  EXPECT_EQ(Bits(actual & forbidden), Bits(0)) << what << " bits not wanted in " << Bits(actual);
}

void ExpectControl(const DialogTemplate::Control& actual, const ControlRow& row) {
  SCOPED_TRACE("control " + std::to_string(row.id) + " \"" + row.text + "\"");
  const Kind& kind = *row.kind;
  EXPECT_EQ(actual.id, row.id);
  EXPECT_TRUE(SameClass(actual.className, kind.className))
      << actual.className << " is not " << kind.className;
  EXPECT_EQ(actual.text, row.text);
  EXPECT_EQ(Bits(actual.style & kind.typeMask), Bits(kind.type)) << "type of the control";
  ExpectStyle(actual.style, WS_CHILD | WS_VISIBLE | kind.required, kind.forbidden, "style");
  ExpectStyle(actual.exStyle, kind.exRequired, 0, "extended style");
  EXPECT_EQ(actual.x, row.x);
  EXPECT_EQ(actual.y, row.y);
  EXPECT_EQ(actual.cx, row.cx);
  EXPECT_EQ(actual.cy, row.cy);
}

void ExpectDialog(const BuiltProgram& program, const DialogRow& row) {
  SCOPED_TRACE("dialog template " + std::to_string(row.id));
  ASSERT_TRUE(program.Resources().Loaded()) << program.Path();
  std::optional<DialogTemplate> dialog = program.Resources().Dialog(row.id);
  ASSERT_TRUE(dialog.has_value());
  ExpectStyle(dialog->style, row.required | DS_SETFONT, row.forbidden, "style");
  ExpectStyle(dialog->exStyle, row.exRequired, 0, "extended style");
  EXPECT_EQ(dialog->caption, row.caption);
  EXPECT_EQ(dialog->x, row.box.x);
  EXPECT_EQ(dialog->y, row.box.y);
  EXPECT_EQ(dialog->cx, row.box.cx);
  EXPECT_EQ(dialog->cy, row.box.cy);
  EXPECT_EQ(dialog->fontName, "MS Sans Serif");
  EXPECT_EQ(dialog->pointSize, 8);
  EXPECT_TRUE(dialog->menu.empty());
  EXPECT_TRUE(dialog->className.empty());
  ASSERT_EQ(dialog->controls.size(), row.controls.size());
  for (size_t i = 0; i < row.controls.size(); ++i) {
    ExpectControl(dialog->controls[i], row.controls[i]);
  }
}

std::vector<int> ResourceIds(const BuiltProgram& program, LPCSTR type) {
  std::vector<int> ids;
  if (!program.Resources().Loaded()) return ids;
  EnumResourceNamesA(program.Resources().Get(), type, AddResourceId,
                     reinterpret_cast<LONG_PTR>(&ids));
  std::sort(ids.begin(), ids.end());
  return ids;
}

void ExpectIcon(const BuiltProgram& program, int id) {
  SCOPED_TRACE("icon " + std::to_string(id));
  ASSERT_TRUE(program.Resources().Loaded()) << program.Path();
  std::optional<std::string> group = program.Resources().RawResource(RT_GROUP_ICON, id);
  ASSERT_TRUE(group.has_value());
  // GRPICONDIR: reserved, type, count; then 14-byte entries (width, height, colours,
  // reserved, planes, bit count, bytes, icon id).
  ASSERT_GE(group->size(), 6u);
  WORD count = 0;
  std::memcpy(&count, group->data() + 4, 2);
  ASSERT_EQ(group->size(), 6u + 14u * count);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const char* entry = group->data() + 6 + 14 * i;
    WORD bitCount = 0;
    WORD iconId = 0;
    std::memcpy(&bitCount, entry + 6, 2);
    std::memcpy(&iconId, entry + 12, 2);
    sizes.push_back(static_cast<BYTE>(entry[0]));
    EXPECT_EQ(static_cast<BYTE>(entry[0]), static_cast<BYTE>(entry[1]));
    EXPECT_EQ(bitCount, 32);
    EXPECT_TRUE(program.Resources().HasResource(RT_ICON, iconId)) << iconId;
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 32}));
  for (int size : {16, 32}) {
    HICON icon = static_cast<HICON>(
        LoadImageA(program.Resources().Get(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (icon != nullptr) DestroyIcon(icon);
  }
}

void ExpectVersionRecord(const BuiltProgram& program, FileVersion version,
                         const std::vector<std::pair<std::string, std::string>>& values) {
  std::optional<VersionRecord> record = VersionRecord::Read(program.Path());
  ASSERT_TRUE(record.has_value()) << program.Path();
  const VS_FIXEDFILEINFO& fixed = record->Fixed();
  const DWORD high = MAKELONG(version.minor, version.major);
  const DWORD low = MAKELONG(version.revision, version.build);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, high);
  EXPECT_EQ(fixed.dwFileVersionLS, low);
  EXPECT_EQ(fixed.dwProductVersionMS, high);
  EXPECT_EQ(fixed.dwProductVersionLS, low);
  EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
  using Translation = std::pair<WORD, WORD>;
  EXPECT_EQ(record->Translations(), (std::vector<Translation>{{0x0409, 1200}}));
  for (const auto& [name, expected] : values) {
    EXPECT_EQ(record->Value(name).value_or("(missing)"), expected) << name;
  }
}

void ExpectManifest(const BuiltProgram& program) {
  ASSERT_TRUE(program.Resources().Loaded()) << program.Path();
  // Id 1, CREATEPROCESS_MANIFEST_RESOURCE_ID: the manifest the loader applies to the process.
  std::optional<std::string> manifest = program.Resources().RawResource(RT_MANIFEST, 1);
  ASSERT_TRUE(manifest.has_value());
  for (const char* part :
       {"level=\"requireAdministrator\"",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", ">true</dpiAware>"}) {
    EXPECT_NE(manifest->find(part), std::string::npos) << part;
  }
}

}  // namespace korva::testing
