#include "support/dialog_template.h"

#include <cstdio>
#include <cstring>

namespace korva::testing {
namespace {

// Walks the template's bytes; every read is checked, so that a damaged template ends the
// parse instead of reading past the resource.
class TemplateReader {
 public:
  TemplateReader(const void* data, size_t size)
      : data_(static_cast<const BYTE*>(data)), size_(size) {}

  bool Failed() const { return failed_; }

  template <typename T>
  T Read() {
    T value{};
    if (failed_ || size_ - offset_ < sizeof(T)) {
      failed_ = true;
      return value;
    }
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }

  void Skip(size_t count) {
    if (failed_ || size_ - offset_ < count) {
      failed_ = true;
      return;
    }
    offset_ += count;
  }

  // Items start on a DWORD boundary of the template.
  void AlignToDword() {
    size_t aligned = (offset_ + 3) & ~size_t{3};
    if (aligned > size_) aligned = size_;
    offset_ = aligned;
  }

  // A zero-terminated UTF-16 text, as 8-bit ANSI.
  std::string Text() {
    std::wstring wide;
    for (WCHAR c = Read<WCHAR>(); !failed_ && c != 0; c = Read<WCHAR>()) wide.push_back(c);
    return Narrow(wide);
  }

  // A text or an ordinal (0xFFFF then a WORD), "#<n>" for the ordinal; `nameOfOrdinal`
  // may give predefined ordinals a name.
  std::string TextOrOrdinal(const char* (*nameOfOrdinal)(WORD) = nullptr) {
    WORD first = Read<WORD>();
    if (failed_ || first == 0) return std::string();
    if (first == 0xFFFF) {
      WORD ordinal = Read<WORD>();
      if (nameOfOrdinal != nullptr) {
        if (const char* name = nameOfOrdinal(ordinal)) return name;
      }
      return "#" + std::to_string(ordinal);
    }
    std::wstring wide(1, static_cast<WCHAR>(first));
    for (WCHAR c = Read<WCHAR>(); !failed_ && c != 0; c = Read<WCHAR>()) wide.push_back(c);
    return Narrow(wide);
  }

 private:
  static std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                     0, nullptr, nullptr);
    std::string text(length, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                        nullptr, nullptr);
    return text;
  }

  const BYTE* data_;
  size_t size_;
  size_t offset_ = 0;
  bool failed_ = false;
};

const char* PredefinedClassName(WORD atom) {
  switch (atom) {
    case 0x80:
      return "Button";
    case 0x81:
      return "Edit";
    case 0x82:
      return "Static";
    case 0x83:
      return "ListBox";
    case 0x84:
      return "ScrollBar";
    case 0x85:
      return "ComboBox";
    default:
      return nullptr;
  }
}

// The header of DLGTEMPLATEEX (after dlgVer and signature) or of DLGTEMPLATE; returns the
// number of items.
WORD ReadHeader(TemplateReader& reader, DialogTemplate& dialog) {
  if (dialog.extended) {
    reader.Read<DWORD>();  // help id
    dialog.exStyle = reader.Read<DWORD>();
    dialog.style = reader.Read<DWORD>();
  } else {
    dialog.style = reader.Read<DWORD>();
    dialog.exStyle = reader.Read<DWORD>();
  }
  WORD count = reader.Read<WORD>();
  dialog.x = reader.Read<short>();
  dialog.y = reader.Read<short>();
  dialog.cx = reader.Read<short>();
  dialog.cy = reader.Read<short>();
  dialog.menu = reader.TextOrOrdinal();
  dialog.className = reader.TextOrOrdinal();
  dialog.caption = reader.Text();
  // DS_SHELLFONT includes DS_SETFONT.
  if (dialog.style & DS_SETFONT) {
    dialog.pointSize = reader.Read<WORD>();
    if (dialog.extended) {
      reader.Read<WORD>();  // weight
      reader.Read<BYTE>();  // italic
      reader.Read<BYTE>();  // character set
    }
    dialog.fontName = reader.Text();
  }
  return count;
}

DialogTemplate::Control ReadItem(TemplateReader& reader, bool extended) {
  DialogTemplate::Control control;
  reader.AlignToDword();
  if (extended) {
    reader.Read<DWORD>();  // help id
    control.exStyle = reader.Read<DWORD>();
    control.style = reader.Read<DWORD>();
  } else {
    control.style = reader.Read<DWORD>();
    control.exStyle = reader.Read<DWORD>();
  }
  control.x = reader.Read<short>();
  control.y = reader.Read<short>();
  control.cx = reader.Read<short>();
  control.cy = reader.Read<short>();
  // The classic template keeps a WORD id; IDC_STATIC (-1) is 0xFFFF there.
  control.id =
      extended ? static_cast<int>(reader.Read<DWORD>()) : static_cast<int>(reader.Read<short>());
  control.className = reader.TextOrOrdinal(PredefinedClassName);
  control.text = reader.TextOrOrdinal();
  WORD extraBytes = reader.Read<WORD>();
  reader.Skip(extraBytes);
  return control;
}

}  // namespace

const DialogTemplate::Control* DialogTemplate::Find(int id) const {
  for (const Control& control : controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

std::optional<DialogTemplate> ParseDialogTemplate(const void* data, size_t size) {
  if (data == nullptr) return std::nullopt;
  TemplateReader reader(data, size);
  DialogTemplate dialog;
  // DLGTEMPLATEEX starts with dlgVer 1 and signature 0xFFFF; a classic template starts with
  // its style, whose high word is never 0xFFFF.
  if (size >= 4) {
    WORD version = 0;
    WORD signature = 0;
    std::memcpy(&version, data, 2);
    std::memcpy(&signature, static_cast<const BYTE*>(data) + 2, 2);
    dialog.extended = version == 1 && signature == 0xFFFF;
  }
  if (dialog.extended) reader.Skip(4);
  WORD count = ReadHeader(reader, dialog);
  for (WORD i = 0; i < count && !reader.Failed(); ++i) {
    dialog.controls.push_back(ReadItem(reader, dialog.extended));
  }
  if (reader.Failed()) return std::nullopt;
  return dialog;
}

ResourceModule::ResourceModule(const std::string& path)
    : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}

bool ResourceModule::HasResource(LPCSTR type, int id) const {
  return Loaded() && FindResourceA(module_.Get(), MAKEINTRESOURCEA(id), type) != nullptr;
}

std::optional<std::string> ResourceModule::RawResource(LPCSTR type, int id) const {
  if (!Loaded()) return std::nullopt;
  HRSRC found = FindResourceA(module_.Get(), MAKEINTRESOURCEA(id), type);
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(module_.Get(), found);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  return std::string(static_cast<const char*>(bytes), SizeofResource(module_.Get(), found));
}

std::optional<DialogTemplate> ResourceModule::Dialog(int id) const {
  std::optional<std::string> bytes = RawResource(RT_DIALOG, id);
  if (!bytes) return std::nullopt;
  return ParseDialogTemplate(bytes->data(), bytes->size());
}

std::optional<std::string> ResourceModule::String(int id) const {
  if (!Loaded()) return std::nullopt;
  char text[1024] = {};
  int length = LoadStringA(module_.Get(), static_cast<UINT>(id), text, sizeof(text));
  if (length <= 0) return std::nullopt;
  return std::string(text, length);
}

std::optional<VersionRecord> VersionRecord::Read(const std::string& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  VersionRecord record;
  record.data_.resize(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, record.data_.data())) return std::nullopt;
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(record.data_.data(), "\\", &value, &length) &&
      length >= sizeof(VS_FIXEDFILEINFO)) {
    std::memcpy(&record.fixed_, value, sizeof(VS_FIXEDFILEINFO));
  }
  if (VerQueryValueA(record.data_.data(), "\\VarFileInfo\\Translation", &value, &length)) {
    const WORD* pairs = static_cast<const WORD*>(value);
    for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) {
      record.translations_.emplace_back(pairs[i], pairs[i + 1]);
    }
  }
  return record;
}

std::optional<std::string> VersionRecord::Value(const std::string& name) const {
  if (translations_.empty()) return std::nullopt;
  char block[64];
  std::snprintf(block, sizeof(block), "\\StringFileInfo\\%04x%04x\\", translations_[0].first,
                translations_[0].second);
  std::string query = block + name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data_.data(), query.c_str(), &value, &length) || value == nullptr) {
    return std::nullopt;
  }
  // The length may or may not count the terminating zero.
  const char* text = static_cast<const char*>(value);
  return std::string(text, strnlen(text, length));
}

}  // namespace korva::testing
