#include "common/file_deletion.h"

#include "common/last_error.h"

namespace korva {

namespace {

bool SetNormalAttributes(const std::string& path) {
  return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool SetNormalAttributes(const std::wstring& path) {
  return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
}

DWORD Delete(const std::string& path) {
  return DeleteFileA(path.c_str()) ? 0 : LastErrorOfFailure();
}

DWORD Delete(const std::wstring& path) {
  return DeleteFileW(path.c_str()) ? 0 : LastErrorOfFailure();
}

template <typename Path>
DWORD DeleteWithNormalAttributes(const Path& path) {
  SetNormalAttributes(path);  // a failure here shows in the deletion's own code
  return Delete(path);
}

template <typename Path>
bool DeleteIfPresent(const Path& path, DWORD& error) {
  // Only "not found" means not there: a file whose attributes can't be set (held open, no
  // access) is there, and its deletion says whether it went.
  if (!SetNormalAttributes(path)) {
    DWORD attributesError = LastErrorOfFailure();
    if (attributesError == ERROR_FILE_NOT_FOUND || attributesError == ERROR_PATH_NOT_FOUND) {
      return false;
    }
  }
  error = Delete(path);
  return true;
}

}  // namespace

DWORD DeleteFileWithNormalAttributes(const std::string& path) {
  return DeleteWithNormalAttributes(path);
}

DWORD DeleteFileWithNormalAttributes(const std::wstring& path) {
  return DeleteWithNormalAttributes(path);
}

bool DeleteFileIfPresent(const std::string& path, DWORD& error) {
  return DeleteIfPresent(path, error);
}

bool DeleteFileIfPresent(const std::wstring& path, DWORD& error) {
  return DeleteIfPresent(path, error);
}

}  // namespace korva
