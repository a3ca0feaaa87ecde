// The kit's INF files in the Windows INF folders: scan and deletion.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "cleanup/core/cleanup_settings.h"
#include "cleanup/core/inf_text_matcher.h"
#include "cleanup/engine/not_examined.h"
#include "common/file_identity.h"
#include "devsetup/device_setup.h"

namespace korva {

struct InfFileRecord {
  // The ANSI forms of the name and the path, as the report and the log show them: '?' stands
  // for a character the code page has none for.
  std::string name;
  std::string path;
  // The file itself, whatever its name (empty: `path` names it).
  std::wstring widePath;
  bool selected = false;
  DWORD error = 0;
  // In a result: the code of a driver store removal that failed (0 when it succeeded or was
  // not tried); `error` then holds it too, and the file was left alone.
  DWORD storeError = 0;
  // In a result: kept, since a device left on the system (kept by the user, or whose removal
  // failed) is installed from it (`error` is ERROR_DEVICE_IN_USE).
  bool usedByDevice = false;
  // A driver store package that no INF file of the INF folder publishes: the store's folder
  // that holds it (`path` is its INF file there, `name` the folder's own name). Removed by the
  // store's own call, never by deleting the folder.
  std::string storeFolder;
  // Of such a package: the INF file of "inf" the store still names for it (deleted since), or
  // empty. A device left on the system may still name it as where it was installed from.
  std::string publishedPath;
  // In a result of such a package: the system has no call to remove it (`error` is
  // ERROR_NOT_SUPPORTED), or its removal needs a restart to complete.
  bool notRemovable = false;
  bool restartNeeded = false;
};

class InfFileList {
 public:
  InfFileList(DeviceSetup& setup, const CleanupSettings& settings)
      : setup_(setup), settings_(settings) {}

  // Reads every *.inf file of "inf" and then "inf\other" below the Windows folder and keeps
  // the kit's, all selected; on a system with a driver store, then the INF file of each
  // package folder of the store that no INF file of "inf" publishes (the store knows no
  // published name for it, or the file of that name is gone). Returns their number.
  int Scan();
  // Deletes each selected file and then its ".pnf" companion, one result record per attempt.
  // A file Windows installed into its driver store (oem*.inf in "inf") is removed from the
  // store first, which takes its companion along; where the store refuses, that is the file's
  // failure and it stays; the deletion follows where there is no store or the call left the
  // file.
  // A catalog that the catalog database still holds under the base name of a removed file of
  // "inf" (oemNN.cat, korvawiz.cat) goes after the files, as an entry of its own: only the file
  // that was there right before its INF file's removal (by its file ID), never one made since.
  // Files that `stillInUse` names (driver keys' InfPath values: a bare name is one of "inf")
  // stay: a device left on the system is installed from them. With `devicesNotListed` (the
  // code of a listing of the devices that failed), none goes: any may be in use.
  void RemoveSelected(const std::vector<std::string>& stillInUse = {}, DWORD devicesNotListed = 0);
  // The catalogs of the kit's packages that are still on the system after RemoveSelected (or
  // without it): of each file found that this run did not remove, the catalog database's file
  // of its base name (a file of "inf"), or every catalog of its folder (a store package).
  std::vector<std::wstring> CatalogsOfPackagesLeft() const;

  std::vector<InfFileRecord>& Items() { return items; }
  const std::vector<InfFileRecord>& Items() const { return items; }
  const std::vector<InfFileRecord>& Results() const { return results; }
  // What the last scan could not read: files that would not open or read, folders that could
  // not be listed (a missing folder, or one without INF files, is no such case).
  const std::vector<NotExaminedRecord>& NotExamined() const { return notExamined; }

  // Called with the full path of each file the search reports, before it is opened.
  std::function<void(const std::string& path)> beforeExamine;
  // Told of each item, each file or folder not examined, and each result as they happen, so
  // that a record of the run is written as it goes.
  std::function<void(const InfFileRecord& item)> onFound;
  std::function<void(const NotExaminedRecord& record)> onNotExamined;
  std::function<void(const InfFileRecord& result)> onResult;

 private:
  // The matcher of the kit's INF files for this run's settings.
  InfTextMatcher KitMatcher() const;
  void ScanFolder(const std::string& folder);
  void ScanDriverStore(const std::string& repository);
  // Whether an INF file in the driver store has a published INF file in "inf" (by the store's
  // own answer, and that file is there).
  // `publishedPath` gets the name the store knows for it, even when that file is gone.
  bool IsPublished(const InfFileRecord& storeInf, std::string& publishedPath);
  void Keep(InfFileRecord record);
  void RemoveStorePackage(const InfFileRecord& item);
  // A catalog of the database named after a file of "inf" that the run removes, as it was
  // before any removal.
  struct PendingCatalog {
    std::string name;
    std::string path;
    FileIdentity identity;
  };
  void RemoveCatalogs(const std::vector<PendingCatalog>& catalogs);
  bool IsDriverStoreInf(const InfFileRecord& item) const;
  bool IsInInfFolder(const InfFileRecord& item) const;
  bool IsNamedBy(const InfFileRecord& item, const std::string& infPath) const;
  // A driver key's InfPath as a whole path.
  std::string PathInInf(const std::string& infPath) const;
  void AddNotExamined(const std::string& path, DWORD error);
  // A record of the file when it is one of the kit's.
  bool ExamineFile(const std::wstring& folder, const std::wstring& name,
                   const InfTextMatcher& matcher, InfFileRecord& record);

  DeviceSetup& setup_;
  const CleanupSettings& settings_;
  // "inf" below the Windows folder, as the last scan found it.
  std::string storeInfFolder_;
  std::vector<InfFileRecord> items;
  std::vector<InfFileRecord> results;
  std::vector<NotExaminedRecord> notExamined;
};

// The file a record names: its wide path, or its path where it has none.
std::wstring FileOf(const InfFileRecord& record);

// The platform's conversion of a UTF-16 INF file's text to the ANSI code page (another code
// page only in tests): exact forms only, every other character becomes '?'.
Utf16ToAnsi PlatformUtf16ToAnsi(UINT codePage = CP_ACP);

// Whether the file on disk is one of the kit's; false when it cannot be opened.
bool IsKitInfFile(const std::string& path, const InfTextMatcher& matcher);
// The three marks of the whole file (all false when it cannot be opened).
InfMarks ReadInfFileMarks(const std::string& path, const InfTextMatcher& matcher);

}  // namespace korva
