// Move-only owners for the handles of the platform: each closes its handle with the one
// function that belongs to it, on every path.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <utility>

namespace korva {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() = default;
  explicit UniqueResource(Type handle) : handle_(handle) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool Valid() const { return Traits::IsValid(handle_); }
  Type Get() const { return handle_; }
  Type Release() { return std::exchange(handle_, Traits::Invalid()); }
  void Reset(Type handle = Traits::Invalid()) {
    Type old = std::exchange(handle_, handle);
    if (Traits::IsValid(old)) Traits::Close(old);
  }

 private:
  Type handle_ = Traits::Invalid();
};

struct DevInfoTraits {
  using Type = HDEVINFO;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Type h) { SetupDiDestroyDeviceInfoList(h); }
};

// Registry keys: SetupAPI reports a missing key as INVALID_HANDLE_VALUE, the registry as null.
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) {
    return h != nullptr && h != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
  }
  static void Close(Type h) { RegCloseKey(h); }
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};

struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};

struct FileTraits {
  using Type = FILE*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { std::fclose(h); }
};

// CryptoAPI: a provider's context, keys and hashes (advapi32).
struct CryptProviderTraits {
  using Type = HCRYPTPROV;
  static Type Invalid() { return 0; }
  static bool IsValid(Type h) { return h != 0; }
  static void Close(Type h) { CryptReleaseContext(h, 0); }
};

struct CryptKeyTraits {
  using Type = HCRYPTKEY;
  static Type Invalid() { return 0; }
  static bool IsValid(Type h) { return h != 0; }
  static void Close(Type h) { CryptDestroyKey(h); }
};

struct CryptHashTraits {
  using Type = HCRYPTHASH;
  static Type Invalid() { return 0; }
  static bool IsValid(Type h) { return h != 0; }
  static void Close(Type h) { CryptDestroyHash(h); }
};

struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { CloseServiceHandle(h); }
};

using UniqueDevInfo = UniqueResource<DevInfoTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueFile = UniqueResource<FileTraits>;
using UniqueCryptProvider = UniqueResource<CryptProviderTraits>;
using UniqueCryptKey = UniqueResource<CryptKeyTraits>;
using UniqueCryptHash = UniqueResource<CryptHashTraits>;
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;

}  // namespace korva
