#include "common/whole_file.h"

#include <algorithm>

#include "common/last_error.h"
#include "common/unique_resource.h"

namespace korva {

DWORD ReadWholeFile(const std::wstring& path, der::Bytes& bytes, unsigned long long largest,
                    DWORD share) {
  bytes.clear();
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return LastErrorOfFailure();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return LastErrorOfFailure();
  if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > largest) {
    return ERROR_FILE_TOO_LARGE;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr)) {
      DWORD error = LastErrorOfFailure();
      bytes.clear();
      return error;
    }
    if (got == 0) {  // shorter than it said
      bytes.clear();
      return ERROR_HANDLE_EOF;
    }
    done += got;
  }
  return 0;
}

}  // namespace korva
