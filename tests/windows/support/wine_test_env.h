// Helpers of the tests that run under Wine: the prefix's Windows folder, INF files placed
// into it, seeded device instances, child processes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/core/kit_identity.h"
#include "common/guid_text.h"
#include "common/unique_resource.h"
#include "tools/test_bed.h"

namespace korva::testing {

// The system's USB set-up class, where a device plugged in without the kit's driver sits.
GUID UsbClassGuid();
// A class GUID no other test uses.
GUID NewClassGuid();

// The prefix's Windows folder without a trailing backslash.
std::string WindowsFolder();
// Writes `content` to <Windows>\<subfolder>\<name> (creating the folder) and returns the path.
std::string PlaceFile(const std::string& subfolder, const std::string& name,
                      const std::string& content);
// True only for a folder: a missing path has attributes too (INVALID_FILE_ATTRIBUTES, all bits
// set), so testing the directory bit alone passes for nothing there.
bool FolderExists(const std::string& path);
bool FileExists(const std::string& path);
void RemoveFile(const std::string& path);
// Removes every file of inf and inf\other that the tests placed (names starting with
// "korvatest", or "oemkorvatest" for the driver store's own names).
void RemovePlacedInfFiles();
// Places a package folder (name starting with "korvatest") with one INF file in the driver
// store's folder, as Windows names it; its INF file's path. RemovePlacedInfFiles removes them.
std::string PlaceStorePackage(const std::string& folderName, const std::string& infName,
                              const std::string& content);
std::string DriverStoreRepository();
// A folder with everything in it.
void RemoveFolderTree(const std::string& folder);

// The build's own programs, found from the test program's folder.
std::string BuildFolder();
// The build folder of either architecture ("x64", "x86"), beside the one this suite is of.
std::string BuildFolderOf(const std::string& architecture);
std::string KorvaCwPath();
std::string KorvaBedPath();

// Seeds a USB device of `classGuid` and gives it the ident value as REG_SZ when not empty.
void SeedDevice(const std::string& instanceId, const GUID& classGuid,
                const std::vector<std::string>& hardwareIds, const std::string& ident,
                const std::string& description = "KORVA test device");

// Runs a program, waits for it and returns its exit status (or ~0u when it could not start).
DWORD RunProcess(const std::string& commandLine, DWORD timeoutMs = 60000);

// A run whose standard output went through a pipe, or into a file, as management tools give it.
struct CapturedRun {
  DWORD exitCode = ~0u;  // ~0u when it could not start or did not end in time
  std::string output;
};
// Standard output through a pipe or into a file, as management tools give it; the NUL device
// (`> nul`); or none at all, on a window station nobody sees (a service, a scheduled task).
// Only the first two give the output back.
enum class OutputTo { kPipe, kFile, kNul, kHidden };
CapturedRun RunCapturingOutput(const std::string& commandLine, OutputTo to,
                               DWORD timeoutMs = 60000);
// The same for a command line that the ANSI code page cannot spell.
CapturedRun RunCapturingOutput(const std::wstring& commandLine, OutputTo to,
                               DWORD timeoutMs = 60000);

// A command run on the Linux side of Wine by /bin/sh, for the readers we did not write
// (osslsigncode, openssl). Wine starts a Linux program without waiting for it, and gives back
// no exit status: the script writes both into files, and the test waits for them.
struct UnixRun {
  int status = -1;  // -1 when it could not start or did not end in time
  std::string output;
};
UnixRun RunUnixShell(const std::string& script, DWORD timeoutMs = 60000);
// The Linux path of a file of the prefix (Wine's wine_get_unix_file_name); "" without one.
std::string UnixPathOf(const std::string& windowsPath);
// A path quoted for /bin/sh.
std::string ShellQuoted(const std::string& text);
// Wine makes a file's owner and access list from its Unix owner and mode: a file of another Unix
// user belongs to ANONYMOUS LOGON, and the "other" bits give Everyone their rights (write and
// delete for "o+w"). These change both as a user who is no administrator could; true when done.
bool ChangeUnixMode(const std::string& path, const std::string& mode);
bool ChangeUnixOwner(const std::string& path, int user = 4242);

// A self-signed certificate (DER) that OpenSSL makes for the subject ("/CN=.../O=..."), as another
// product would put one into the trust stores; its key is thrown away. With `signedData`, also
// a message signed with it (CMS, DER), which carries the certificate as a package's catalog does.
std::string OpenSslCertificate(const std::string& subject, std::string* signedData = nullptr);

// The whole content of a file ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);
// The names of a registry key's subkeys, sorted; none when the key is missing.
std::vector<std::string> RegistrySubkeys(HKEY root, const char* path);

// Writes the file anew with exactly these bytes (a read-only one too).
void WriteFileBytes(const std::string& path, const std::string& bytes);

// The lines of a run's record; a line that does not end in CR LF fails the test.
std::vector<std::string> RecordLines(const std::string& text);
// A line of a record split at its tabs: its kind, then its fields.
std::vector<std::string> RecordFields(const std::string& line);

class Process {
 public:
  explicit Process(const std::string& commandLine);
  ~Process();
  bool Started() const { return process_.Valid(); }
  // Waits for the end; the exit status, or ~0u on time-out.
  DWORD Wait(DWORD timeoutMs = 60000);
  DWORD Id() const { return id_; }

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};

// Starts `commandLine` (a probe it starts waits a minute), and once its child runs the program
// file `childFile`, ends the started process from outside, as a deployment tool does on a
// time-out or a user with Ctrl+C: success when that child ended too within twenty seconds.
// The child is taken once it runs as that program: a process still being made has no name yet,
// and under Wine one killed that early was seen not to end.
::testing::AssertionResult ChildEndsWithItsStarter(const std::string& commandLine,
                                                   const std::string& childFile, DWORD endStatus);

// Wine prefers its built-in libraries to those beside a program unless told otherwise: while this
// lives, the program of the file name `program` takes native libraries of these names first,
// as Windows takes any library that is no KnownDLL.
class NativeLibrariesFirst {
 public:
  NativeLibrariesFirst(const std::string& program, const std::vector<std::string>& names);
  ~NativeLibrariesFirst();
  NativeLibrariesFirst(const NativeLibrariesFirst&) = delete;
  NativeLibrariesFirst& operator=(const NativeLibrariesFirst&) = delete;

 private:
  std::string key_;
  std::vector<std::string> names_;
};

// Holds a file open from another process until destroyed: sharing nothing, or, when
// `readable`, sharing reading only (the file can be read but not deleted).
class FileHolder {
 public:
  explicit FileHolder(const std::string& path, bool readable = false);
  ~FileHolder();
  bool Holding() const { return holding_; }

 private:
  std::string releaseName_;
  UniqueHandle release_;
  std::unique_ptr<Process> process_;
  bool holding_ = false;
};

}  // namespace korva::testing
