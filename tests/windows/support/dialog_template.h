// Reads the resources of a built program back: its dialog templates (classic and extended),
// string table entries, raw resources and version record, so that tests can compare them
// with what the program is meant to show.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_resource.h"

namespace korva::testing {

struct DialogTemplate {
  struct Control {
    int id = 0;  // -1 for a control without an id
    // A predefined class ("Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox") or
    // the class name as the template spells it; "#<n>" for another ordinal.
    std::string className;
    // "#<n>" when the text is a resource ordinal (the icon of an icon control).
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
  };

  bool extended = false;  // DLGTEMPLATEEX
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string menu;       // empty, a name or "#<n>"
  std::string className;  // empty for the dialog manager's own class
  std::string caption;
  std::string fontName;  // empty without DS_SETFONT
  int pointSize = 0;
  std::vector<Control> controls;

  // The first control with this id, or null.
  const Control* Find(int id) const;
};

// Parses the bytes of an RT_DIALOG resource; nothing when they are not a well-formed template.
std::optional<DialogTemplate> ParseDialogTemplate(const void* data, size_t size);

// A program or library opened as data only: nothing of it runs.
class ResourceModule {
 public:
  explicit ResourceModule(const std::string& path);
  bool Loaded() const { return module_.Valid(); }
  HMODULE Get() const { return module_.Get(); }

  bool HasResource(LPCSTR type, int id) const;
  // The bytes of a resource; nothing when it is missing.
  std::optional<std::string> RawResource(LPCSTR type, int id) const;
  std::optional<DialogTemplate> Dialog(int id) const;
  // The string table entry; nothing when it is missing or empty.
  std::optional<std::string> String(int id) const;

 private:
  UniqueModule module_;
};

// The version record of a file, read the way the shell's property page reads it.
class VersionRecord {
 public:
  // Nothing when the file has no version record.
  static std::optional<VersionRecord> Read(const std::string& path);

  const VS_FIXEDFILEINFO& Fixed() const { return fixed_; }
  // (language, code page) pairs of the VarFileInfo block, in their order.
  const std::vector<std::pair<WORD, WORD>>& Translations() const { return translations_; }
  // A value of the StringFileInfo block of the first translation; nothing when missing.
  std::optional<std::string> Value(const std::string& name) const;

 private:
  std::vector<BYTE> data_;
  VS_FIXEDFILEINFO fixed_ = {};
  std::vector<std::pair<WORD, WORD>> translations_;
};

}  // namespace korva::testing
