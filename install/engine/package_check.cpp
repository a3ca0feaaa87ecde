#include "install/engine/package_check.h"

#include <setupapi.h>

#include <vector>

#include "common/core/text.h"
#include "common/last_error.h"

namespace korva {

namespace {

// The decoration of models and install sections that this build's systems read.
#ifdef _WIN64
const char kArchitecture[] = "NTAMD64";
const char kSourceDisksFilesDecoration[] = "SourceDisksFiles.amd64";
#else
const char kArchitecture[] = "NTX86";
const char kSourceDisksFilesDecoration[] = "SourceDisksFiles.x86";
#endif

class InfHandle {
 public:
  explicit InfHandle(HINF inf) : inf_(inf) {}
  ~InfHandle() {
    if (Valid()) SetupCloseInfFile(inf_);
  }
  InfHandle(const InfHandle&) = delete;
  InfHandle& operator=(const InfHandle&) = delete;
  bool Valid() const { return inf_ != INVALID_HANDLE_VALUE && inf_ != nullptr; }
  HINF Get() const { return inf_; }

 private:
  HINF inf_;
};

std::string Field(INFCONTEXT& context, DWORD index) {
  DWORD size = 0;
  if (!SetupGetStringFieldA(&context, index, nullptr, 0, &size) || size == 0) return std::string();
  std::vector<char> text(size);
  if (!SetupGetStringFieldA(&context, index, text.data(), size, nullptr)) return std::string();
  return text.data();
}

std::string Upper(std::string text) {
  AsciiUpperCaseInPlace(text);
  return text;
}

bool HasSection(HINF inf, const std::string& section) {
  return SetupGetLineCountA(inf, section.c_str()) >= 0;
}

// The models section of one [Manufacturer] line that this system reads: the decoration whose
// first part is this architecture ("NTamd64", "NTamd64.10.0"), else the plain section.
std::string ModelsSection(INFCONTEXT& manufacturer) {
  std::string base = Field(manufacturer, 1);
  DWORD count = SetupGetFieldCount(&manufacturer);
  for (DWORD i = 2; i <= count; ++i) {
    std::string decoration = Upper(Field(manufacturer, i));
    if (decoration.compare(0, sizeof(kArchitecture) - 1, kArchitecture) == 0 &&
        (decoration.size() == sizeof(kArchitecture) - 1 ||
         decoration[sizeof(kArchitecture) - 1] == '.')) {
      return base + "." + Field(manufacturer, i);
    }
  }
  return base;
}

// The install section of the line for `hardwareId` in the models sections of this system;
// empty when no line names it.
std::string InstallSectionFor(HINF inf, const std::string& hardwareId) {
  const std::string wanted = Upper(hardwareId);
  INFCONTEXT manufacturer;
  for (BOOL more = SetupFindFirstLineA(inf, "Manufacturer", nullptr, &manufacturer); more;
       more = SetupFindNextLine(&manufacturer, &manufacturer)) {
    std::string models = ModelsSection(manufacturer);
    INFCONTEXT model;
    for (BOOL line = SetupFindFirstLineA(inf, models.c_str(), nullptr, &model); line;
         line = SetupFindNextLine(&model, &model)) {
      DWORD count = SetupGetFieldCount(&model);
      for (DWORD i = 2; i <= count; ++i) {
        if (Upper(Field(model, i)) == wanted) return Field(model, 1);
      }
    }
  }
  return std::string();
}

bool IsFileIn(const std::string& folder, const std::string& name) {
  // A name that climbs out of the folder, or names a drive or a stream, is no file of the
  // package.
  if (name.empty() || name.find(':') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("\\/", start);
    if (name.compare(start, end == std::string::npos ? std::string::npos : end - start, "..") ==
        0) {
      return false;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  DWORD attributes = GetFileAttributesA((folder + "\\" + name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Fail(PackageCheckFailure& failure, DWORD code, const std::string& reason) {
  failure.code = code;
  failure.reason = reason;
  return false;
}

bool MissingFile(PackageCheckFailure& failure, const std::string& name, const std::string& where) {
  return Fail(failure, ERROR_FILE_NOT_FOUND,
              "The INF file names the file \"" + name + "\" (" + where +
                  "), which is not in the install folder.");
}

}  // namespace

bool CheckPackage(const std::string& infPath, const std::string& hardwareId,
                  const std::string& installFolder, PackageCheckFailure& failure) {
  UINT errorLine = 0;
  InfHandle inf(SetupOpenInfFileA(infPath.c_str(), nullptr, INF_STYLE_WIN4, &errorLine));
  if (!inf.Valid()) {
    DWORD code = LastErrorOfFailure();
    return Fail(failure, code,
                "The INF file cannot be read (line " + std::to_string(errorLine) + ").");
  }

  std::string install = InstallSectionFor(inf.Get(), hardwareId);
  if (install.empty()) {
    return Fail(failure, static_cast<DWORD>(ERROR_NO_COMPAT_DRIVERS),
                "The INF file has no model line for the hardware ID " + hardwareId + ".");
  }
  // The platform picks the install section's decorated form where there is one.
  char actual[LINE_LEN] = {};
  if (SetupDiGetActualSectionToInstallA(inf.Get(), install.c_str(), actual, sizeof(actual), nullptr,
                                        nullptr) &&
      HasSection(inf.Get(), actual)) {
    install = actual;
  }

  INFCONTEXT directive;
  for (BOOL more = SetupFindFirstLineA(inf.Get(), install.c_str(), "CopyFiles", &directive); more;
       more = SetupFindNextMatchLineA(&directive, "CopyFiles", &directive)) {
    DWORD count = SetupGetFieldCount(&directive);
    for (DWORD i = 1; i <= count; ++i) {
      std::string value = Field(directive, i);
      if (value.empty()) continue;
      if (value[0] == '@') {  // a single file, named directly
        if (!IsFileIn(installFolder, value.substr(1))) {
          return MissingFile(failure, value.substr(1), "[" + install + "]");
        }
        continue;
      }
      INFCONTEXT file;
      for (BOOL line = SetupFindFirstLineA(inf.Get(), value.c_str(), nullptr, &file); line;
           line = SetupFindNextLine(&file, &file)) {
        std::string source = Field(file, 2);
        if (source.empty()) source = Field(file, 1);
        if (!IsFileIn(installFolder, source))
          return MissingFile(failure, source, "[" + value + "]");
      }
    }
  }

  for (const char* section : {"SourceDisksFiles", kSourceDisksFilesDecoration}) {
    INFCONTEXT file;
    for (BOOL line = SetupFindFirstLineA(inf.Get(), section, nullptr, &file); line;
         line = SetupFindNextLine(&file, &file)) {
      std::string name = Field(file, 0);
      std::string subfolder = Field(file, 2);
      std::string path = subfolder.empty() ? name : subfolder + "\\" + name;
      if (!IsFileIn(installFolder, path)) {
        return MissingFile(failure, path, std::string("[") + section + "]");
      }
    }
  }
  return true;
}

}  // namespace korva
