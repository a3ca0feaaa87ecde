#include "cleanup/engine/inf_file_list.h"

#include <setupapi.h>
#include <mscat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "cleanup/core/inf_text_matcher.h"
#include "common/ansi_text.h"
#include "common/core/text.h"
#include "common/file_deletion.h"
#include "common/file_identity.h"
#include "common/last_error.h"
#include "common/system_folders.h"
#include "common/system_library.h"
#include "common/unique_resource.h"

namespace korva {

namespace {

const char* const kInfFolders[] = {"inf", "inf\\other"};
// Below the Windows folder: one folder per package that the driver store holds.
const char kDriverStoreRepository[] = "System32\\DriverStore\\FileRepository";

// The search for "*.inf" also matches names by their short 8.3 forms ("oem5.inf_old" may be
// OEM5~1.INF), and the .pnf derived from such a name belongs to another file: only names
// whose extension is exactly "inf", in any letter case, are the INF files looked for.
bool HasInfExtension(const std::wstring& name) {
  size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || name.size() - dot != 4) return false;
  auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
  return lower(name[dot + 1]) == 'i' && lower(name[dot + 2]) == 'n' && lower(name[dot + 3]) == 'f';
}

class FileInfSource : public InfSource {
 public:
  explicit FileInfSource(FILE* file) : file_(file) {}
  size_t Read(char* buffer, size_t size) override { return std::fread(buffer, 1, size, file_); }
  bool Rewind() override {
    std::clearerr(file_);
    return std::fseek(file_, 0, SEEK_SET) == 0;
  }

 private:
  FILE* file_;
};

// Binary mode and no stdio buffer: the matcher reads large blocks and does the text-mode
// translation itself.
UniqueFile OpenForMatcher(const std::wstring& path) {
  UniqueFile file(_wfopen(path.c_str(), L"rb"));
  if (file.Valid()) std::setvbuf(file.Get(), nullptr, _IONBF, 0);
  return file;
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

Utf16ToAnsi PlatformUtf16ToAnsi(UINT codePage) {
  // No best fit: its look-alikes would turn a fullwidth backslash or semicolon into an INF
  // mark or a comment. UTF-8 takes neither that flag nor a default character, and has a form
  // for every character.
  const bool utf8 = (codePage == CP_ACP ? GetACP() : codePage) == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* defaultCharacter = utf8 ? nullptr : "?";
  Utf16ToAnsi convert = [codePage, flags, defaultCharacter](const char16_t* units, size_t count,
                                                            char* out) -> size_t {
    int written = WideCharToMultiByte(
        codePage, flags, reinterpret_cast<const wchar_t*>(units), static_cast<int>(count), out,
        static_cast<int>(count * kMaxAnsiBytesPerUnit), defaultCharacter, nullptr);
    return written > 0 ? static_cast<size_t>(written) : 0;
  };

  // In a single-byte code page each character has a one-byte form of its own: the platform is
  // asked once for those of every code unit but the surrogates, and a file's text then costs a
  // table look-up per character (the call itself takes its slow road without best fit).
  CPINFO info;
  if (utf8 || !GetCPInfo(codePage, &info) || info.MaxCharSize != 1) return convert;
  auto isSurrogate = [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; };
  std::u16string all;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    if (!isSurrogate(static_cast<char16_t>(unit))) all += static_cast<char16_t>(unit);
  }
  std::string allForms(all.size() * kMaxAnsiBytesPerUnit, '\0');
  if (convert(all.data(), all.size(), &allForms[0]) != all.size()) return convert;
  auto forms = std::make_shared<std::vector<char>>(0x10000, '?');
  for (size_t i = 0; i < all.size(); ++i) (*forms)[all[i]] = allForms[i];
  return [forms, convert, isSurrogate](const char16_t* units, size_t count, char* out) {
    size_t written = 0;
    for (size_t i = 0; i < count;) {
      if (!isSurrogate(units[i])) {
        out[written++] = (*forms)[units[i++]];
        continue;
      }
      size_t start = i;
      while (i < count && isSurrogate(units[i])) ++i;
      written += convert(units + start, i - start, out + written);
    }
    return written;
  };
}

std::wstring FileOf(const InfFileRecord& record) {
  return record.widePath.empty() ? WideFromAnsi(record.path) : record.widePath;
}

bool IsKitInfFile(const std::string& path, const InfTextMatcher& matcher) {
  UniqueFile file = OpenForMatcher(WideFromAnsi(path));
  if (!file.Valid()) return false;
  FileInfSource source(file.Get());
  return matcher.Matches(source);
}

InfMarks ReadInfFileMarks(const std::string& path, const InfTextMatcher& matcher) {
  UniqueFile file = OpenForMatcher(WideFromAnsi(path));
  if (!file.Valid()) return InfMarks();
  FileInfSource source(file.Get());
  return matcher.ReadMarks(source);
}

void InfFileList::AddNotExamined(const std::string& path, DWORD error) {
  notExamined.push_back({path, error});
  if (onNotExamined) onNotExamined(notExamined.back());
}

InfTextMatcher InfFileList::KitMatcher() const {
  return InfTextMatcher({settings_.classGuidText, settings_.identValueName,
                         settings_.deviceIdentString, settings_.expertMode},
                        PlatformUtf16ToAnsi());
}

void InfFileList::ScanFolder(const std::string& folder) {
  const InfTextMatcher matcher = KitMatcher();
  // Listed and opened by their wide names: a name the ANSI code page has no form for comes back
  // from the ANSI calls with '?' in it, which opens nothing (and, as a wildcard, may name
  // another file).
  const std::wstring wideFolder = WideFromAnsi(folder);
  const std::wstring pattern = wideFolder + L"\\*.inf";
  WIN32_FIND_DATAW found;
  UniqueFindHandle search(FindFirstFileW(pattern.c_str(), &found));
  if (!search.Valid()) {
    // A missing folder or one without INF files holds nothing of the kit; any other answer
    // (access denied, say) leaves the folder unseen.
    DWORD error = LastErrorOfFailure();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
        error != ERROR_NO_MORE_FILES) {
      AddNotExamined(folder, error);
    }
    return;
  }
  for (;;) {
    // A folder named *.inf is no INF file.
    InfFileRecord record;
    if (HasInfExtension(found.cFileName) && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        ExamineFile(wideFolder, found.cFileName, matcher, record)) {
      Keep(std::move(record));
    }
    if (!FindNextFileW(search.Get(), &found)) {
      DWORD error = LastErrorOfFailure();
      if (error != ERROR_NO_MORE_FILES) AddNotExamined(folder, error);
      return;
    }
  }
}

void InfFileList::Keep(InfFileRecord record) {
  items.push_back(std::move(record));
  if (onFound) onFound(items.back());
}

bool InfFileList::ExamineFile(const std::wstring& folder, const std::wstring& wideName,
                              const InfTextMatcher& matcher, InfFileRecord& record) {
  const std::wstring widePath = folder + L"\\" + wideName;
  const std::string name = AnsiFromWide(wideName);
  const std::string path = AnsiFromWide(widePath);
  if (beforeExamine) beforeExamine(path);
  SetLastError(0);
  UniqueFile file = OpenForMatcher(widePath);
  if (!file.Valid()) {
    // Held open without sharing, or no access: not read is not "not the kit's". A file gone
    // since the folder was listed holds nothing, though.
    DWORD error = LastErrorOfFailure();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) AddNotExamined(path, error);
    return false;
  }
  FileInfSource source(file.Get());
  bool matches = matcher.Matches(source);
  if (std::ferror(file.Get())) {
    AddNotExamined(path, LastErrorOfFailure());
    return false;
  }
  if (!matches) return false;
  record.name = name;
  record.path = path;
  record.widePath = widePath;
  record.selected = true;
  return true;
}

void InfFileList::ScanDriverStore(const std::string& repository) {
  const InfTextMatcher matcher = KitMatcher();
  const std::wstring wideRepository = WideFromAnsi(repository);
  WIN32_FIND_DATAW folder;
  UniqueFindHandle folders(FindFirstFileW((wideRepository + L"\\*").c_str(), &folder));
  if (!folders.Valid()) {
    DWORD error = LastErrorOfFailure();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      AddNotExamined(repository, error);
    }
    return;
  }
  for (;;) {
    const std::wstring name = folder.cFileName;
    // A package is a folder; its INF file lies directly inside it. A link leads elsewhere.
    if ((folder.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(folder.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && name != L"." &&
        name != L"..") {
      const std::wstring packageFolder = wideRepository + L"\\" + name;
      WIN32_FIND_DATAW found;
      UniqueFindHandle files(FindFirstFileW((packageFolder + L"\\*.inf").c_str(), &found));
      bool more = files.Valid();
      if (!more) {
        DWORD error = LastErrorOfFailure();
        if (error != ERROR_FILE_NOT_FOUND) AddNotExamined(AnsiFromWide(packageFolder), error);
      }
      while (more) {
        InfFileRecord record;
        // One that the INF folder publishes is that file's package, and goes with it.
        if (HasInfExtension(found.cFileName) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            ExamineFile(packageFolder, found.cFileName, matcher, record) &&
            !IsPublished(record, record.publishedPath)) {
          record.name = AnsiFromWide(name);
          record.storeFolder = AnsiFromWide(packageFolder);
          Keep(std::move(record));
        }
        more = FindNextFileW(files.Get(), &found) != FALSE;
      }
    }
    if (!FindNextFileW(folders.Get(), &folder)) {
      DWORD error = LastErrorOfFailure();
      if (error != ERROR_NO_MORE_FILES) AddNotExamined(repository, error);
      return;
    }
  }
}

bool InfFileList::IsPublished(const InfFileRecord& storeInf, std::string& published) {
  published.clear();
  if (setup_.GetInfPublishedName(storeInf.path.c_str(), published) != 0 || published.empty()) {
    published.clear();
    return false;
  }
  // The store keeps the name it published the package under even when that oemNN.inf was
  // deleted by hand: no file stands for the package then, and nothing would remove it.
  if (published.find('\\') == std::string::npos && !storeInfFolder_.empty()) {
    published = storeInfFolder_ + "\\" + published;
  }
  DWORD attributes = GetFileAttributesW(WideFromAnsi(published).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

int InfFileList::Scan() {
  items.clear();
  notExamined.clear();
  // The system's folder: a user's own (Remote Desktop) holds no INF folders of the system.
  const std::string base = SystemWindowsFolder();
  if (base.empty()) return 0;
  storeInfFolder_ = base + "\\" + kInfFolders[0];
  for (const char* folder : kInfFolders) ScanFolder(base + "\\" + folder);
  if (setup_.HasDriverStore()) ScanDriverStore(base + "\\" + kDriverStoreRepository);
  return static_cast<int>(items.size());
}

bool InfFileList::IsDriverStoreInf(const InfFileRecord& item) const {
  // Windows copies an installed package's INF file into "inf" as oemNN.inf; nothing else there
  // or in "inf\\other" comes from the driver store. The store is asked by the ANSI name, so a
  // name without an exact ANSI form is none of its files.
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  const std::string& name = item.name;
  return name.size() > 3 && lower(name[0]) == 'o' && lower(name[1]) == 'e' &&
         lower(name[2]) == 'm' && !storeInfFolder_.empty() &&
         item.path == storeInfFolder_ + "\\" + name && FileOf(item) == WideFromAnsi(item.path);
}

bool InfFileList::IsInInfFolder(const InfFileRecord& item) const {
  // Directly in "inf", by a name that has an exact ANSI form (the catalog is named after it).
  return item.storeFolder.empty() && !storeInfFolder_.empty() && item.name.size() > 4 &&
         item.path == storeInfFolder_ + "\\" + item.name && FileOf(item) == WideFromAnsi(item.path);
}

std::string InfFileList::PathInInf(const std::string& infPath) const {
  // InfPath holds a bare name for a file of "inf", as Windows writes it, or a whole path.
  return infPath.find('\\') == std::string::npos && !storeInfFolder_.empty()
             ? storeInfFolder_ + "\\" + infPath
             : infPath;
}

bool InfFileList::IsNamedBy(const InfFileRecord& item, const std::string& infPath) const {
  return EqualsIgnoreCaseMultibyte(PathInInf(infPath), item.path);
}

void InfFileList::RemoveStorePackage(const InfFileRecord& item) {
  InfFileRecord result;
  result.path = item.path;
  result.storeFolder = item.storeFolder;
  result.error = setup_.UninstallDriverPackage(item.path.c_str(), result.restartNeeded);
  if (result.error == ERROR_PROC_NOT_FOUND) {
    // Deleting the store's folders by hand would leave the store's own records behind.
    result.error = ERROR_NOT_SUPPORTED;
    result.notRemovable = true;
  } else if (result.error != 0 && !PathExists(WideFromAnsi(item.storeFolder))) {
    // Gone already: an INF file of this run published it after all and took it along.
    result.error = 0;
  }
  results.push_back(std::move(result));
  if (onResult) onResult(results.back());
}

namespace {

// The catalog database: Windows keeps a package's catalog there under the base name of its
// INF file in "inf" (oemNN.cat; Wine: korvawiz.cat).
std::string CatalogDatabase() {
  const std::string system = SystemFolder();
  return system.empty() ? system : system + "\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\";
}

}  // namespace

void InfFileList::RemoveSelected(const std::vector<std::string>& stillInUse,
                                 DWORD devicesNotListed) {
  // The catalogs of the files of "inf" removed, as they were before anything was removed: the
  // store may give the number of a removed package to another one meanwhile, and its catalog
  // is not ours.
  std::vector<PendingCatalog> catalogs;
  const std::string database = CatalogDatabase();
  const size_t count = items.size();
  for (size_t i = 0; i < count; ++i) {
    const InfFileRecord& item = items[i];
    if (!item.selected) continue;
    if (devicesNotListed != 0) {
      InfFileRecord result;
      result.path = item.path;
      result.error = devicesNotListed;
      results.push_back(std::move(result));
      if (onResult) onResult(results.back());
      continue;
    }
    // Removing the package of a device that is still there would leave it without one.
    if (std::any_of(stillInUse.begin(), stillInUse.end(), [&](const std::string& infPath) {
          return IsNamedBy(item, infPath) ||
                 (!item.publishedPath.empty() &&
                  EqualsIgnoreCaseMultibyte(PathInInf(infPath), item.publishedPath));
        })) {
      InfFileRecord result;
      result.path = item.path;
      result.error = ERROR_DEVICE_IN_USE;
      result.usedByDevice = true;
      results.push_back(std::move(result));
      if (onResult) onResult(results.back());
      continue;
    }
    if (!item.storeFolder.empty()) {
      RemoveStorePackage(item);
      continue;
    }
    const std::wstring file = FileOf(item);
    // The companion shares the name up to its last dot; a dot of a folder does not count.
    size_t dot = file.rfind(L'.');
    size_t slash = file.rfind(L'\\');
    bool hasCompanion = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    std::wstring companion = hasCompanion ? file.substr(0, dot) + L".pnf" : std::wstring();

    InfFileRecord result;
    result.path = item.path;
    // The store's own removal takes the package with the file; deleting the file alone would
    // leave the package for Windows to install again. Where the store refuses, the file stays
    // and the entry is a failure: deleting the published name would orphan the package in the
    // store. Without a store (no such call), or where the call left the file (Wine), the file
    // is deleted as any other.
    bool removedByStore = false;
    bool companionWasThere = false;
    PendingCatalog catalog;
    if (IsInInfFolder(item) && !database.empty()) {
      catalog.name = item.name.substr(0, item.name.size() - 4) + ".cat";
      catalog.path = database + catalog.name;
      catalog.identity = FileIdentityAt(WideFromAnsi(catalog.path));
    }
    if (IsDriverStoreInf(item)) {
      companionWasThere = hasCompanion && PathExists(companion);
      // As before every deletion: a read-only kit INF file goes too.
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      result.storeError = setup_.UninstallOemInf(item.name.c_str(), SUOI_FORCEDELETE);
      if (result.storeError == ERROR_PROC_NOT_FOUND) result.storeError = 0;  // no store here
      if (result.storeError != 0) result.error = result.storeError;
      removedByStore = result.storeError == 0 && !PathExists(file);
    }
    if (!removedByStore && result.error == 0) result.error = DeleteFileWithNormalAttributes(file);
    bool deleted = result.error == 0;
    if (deleted && catalog.identity.known) catalogs.push_back(catalog);
    results.push_back(std::move(result));
    if (onResult) onResult(results.back());
    if (!deleted || !hasCompanion) continue;

    InfFileRecord companionResult;
    companionResult.path = AnsiFromWide(companion);
    companionResult.widePath = companion;
    // A companion that the store removal took is reported as removed, as if deleted here.
    if (!DeleteFileIfPresent(companion, companionResult.error) &&
        !(removedByStore && companionWasThere)) {
      continue;
    }
    results.push_back(std::move(companionResult));
    if (onResult) onResult(results.back());
  }
  RemoveCatalogs(catalogs);
}

std::vector<std::wstring> InfFileList::CatalogsOfPackagesLeft() const {
  std::vector<std::wstring> catalogs;
  const std::string database = CatalogDatabase();
  for (const InfFileRecord& item : items) {
    bool removed = std::any_of(results.begin(), results.end(), [&item](const InfFileRecord& r) {
      return r.error == 0 && r.path == item.path;
    });
    if (removed) continue;
    if (!item.storeFolder.empty()) {
      const std::wstring folder = WideFromAnsi(item.storeFolder) + L"\\";
      WIN32_FIND_DATAW found;
      HANDLE search = FindFirstFileW((folder + L"*.cat").c_str(), &found);
      if (search == INVALID_HANDLE_VALUE) continue;
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          catalogs.push_back(folder + found.cFileName);
      } while (FindNextFileW(search, &found));
      FindClose(search);
    } else if (IsInInfFolder(item) && !database.empty()) {
      catalogs.push_back(
          WideFromAnsi(database + item.name.substr(0, item.name.size() - 4) + ".cat"));
    }
  }
  return catalogs;
}

void InfFileList::RemoveCatalogs(const std::vector<PendingCatalog>& catalogs) {
  // Windows installs a package's catalog into its catalog database under the published INF
  // file's name (oemNN.cat) and removes it with the package; a store call that leaves it (as
  // Wine's does, with the .pnf), or an installation that published the INF file under another
  // name, would leave the package's files trusted.
  if (catalogs.empty()) return;
  // wintrust.dll is no KnownDLL: from the system folder, only when a catalog is to go.
  UniqueModule wintrust;
  decltype(&::CryptCATAdminAcquireContext) acquire = nullptr;
  decltype(&::CryptCATAdminRemoveCatalog) remove = nullptr;
  decltype(&::CryptCATAdminReleaseContext) release = nullptr;
  HCATADMIN admin = nullptr;
  for (const PendingCatalog& pending : catalogs) {
    // Gone with the package, or another file of that name now: nothing of ours to remove.
    if (FileIdentityAt(WideFromAnsi(pending.path)) != pending.identity) continue;
    const std::string& catalog = pending.name;
    InfFileRecord result;
    result.path = pending.path;
    if (!wintrust.Valid()) {
      wintrust = LoadSystemLibrary("wintrust.dll");
      acquire = SystemExport<decltype(acquire)>(wintrust, "CryptCATAdminAcquireContext");
      remove = SystemExport<decltype(remove)>(wintrust, "CryptCATAdminRemoveCatalog");
      release = SystemExport<decltype(release)>(wintrust, "CryptCATAdminReleaseContext");
    }
    if (!acquire || !remove || !release) {
      result.error = ERROR_PROC_NOT_FOUND;
    } else if (!admin && !acquire(&admin, nullptr, 0)) {
      admin = nullptr;
      result.error = LastErrorOfFailure();
    } else {
      const std::wstring name = WideFromAnsi(catalog);
      result.error = remove(admin, name.c_str(), 0) ? 0 : LastErrorOfFailure();
      // Wine's call answers success and leaves the file (it keeps no database besides the
      // folder): then it is deleted as any other.
      if (result.error == 0 && FileIdentityAt(WideFromAnsi(result.path)) == pending.identity) {
        result.error = DeleteFileWithNormalAttributes(WideFromAnsi(result.path));
      }
    }
    results.push_back(std::move(result));
    if (onResult) onResult(results.back());
  }
  if (admin) release(admin, 0);
}

}  // namespace korva
