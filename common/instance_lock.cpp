#include "common/instance_lock.h"

#include <string>
#include <vector>

#include "common/ansi_text.h"
#include "common/file_identity.h"
#include "common/last_error.h"
#include "common/security_descriptor.h"

namespace korva {

namespace {

// Owned by the administrators, and opened by them and the system alone.
constexpr char kAdministratorsOnly[] = "O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)";
// The namespace is opened by them alone; its owner is whoever made it.
constexpr char kNamespaceSecurity[] = "D:(A;;GA;;;BA)(A;;GA;;;SY)";
constexpr wchar_t kBoundaryName[] = L"KORVA-Administrators";
constexpr DWORD kMutexAccess = SYNCHRONIZE | READ_CONTROL;

// The private namespace calls, looked up at run time: Wine lacks some of them.
struct NamespaceCalls {
  using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
  using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
  using DeleteBoundary = VOID(WINAPI*)(HANDLE);
  using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
  using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
  using CloseNamespace = BOOLEAN(WINAPI*)(HANDLE, ULONG);
  CreateBoundary createBoundary = Find<CreateBoundary>("CreateBoundaryDescriptorW");
  AddSid addSid = Find<AddSid>("AddSIDToBoundaryDescriptor");
  DeleteBoundary deleteBoundary = Find<DeleteBoundary>("DeleteBoundaryDescriptor");
  CreateNamespace createNamespace = Find<CreateNamespace>("CreatePrivateNamespaceW");
  OpenNamespace openNamespace = Find<OpenNamespace>("OpenPrivateNamespaceW");
  CloseNamespace closeNamespace = Find<CloseNamespace>("ClosePrivateNamespace");

  bool Complete() const {
    return createBoundary && addSid && deleteBoundary && createNamespace && openNamespace &&
           closeNamespace;
  }

 private:
  template <typename Function>
  static Function Find(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)))
                  : nullptr;
  }
};

// A mutex of `name`, the administrators' own when this process makes it.
HANDLE CreateOwnMutex(const std::wstring& name) {
  TextSecurityDescriptor security(kAdministratorsOnly);
  HANDLE mutex = CreateMutexExW(security.Attributes(), name.c_str(), 0, kMutexAccess);
  // A process that may not give the administrators an object (one not elevated) makes it its
  // own, as the platform would.
  if (!mutex && GetLastError() == ERROR_INVALID_OWNER) {
    mutex = CreateMutexExW(nullptr, name.c_str(), 0, kMutexAccess);
  }
  return mutex;
}

// The identity of the program file that process `processId` runs.
FileIdentity ProgramOfProcess(DWORD processId) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process.Valid()) return FileIdentity();
  std::vector<wchar_t> path(32768);
  DWORD size = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process.Get(), 0, path.data(), &size)) return FileIdentity();
  return FileIdentityAt(path.data(), true);
}

struct WindowSearch {
  std::wstring title;
  FileIdentity program;
  HWND found = nullptr;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  if (search->title != title) return TRUE;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (ProgramOfProcess(processId) == search->program) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindWindowOfThisProgram(const char* title) {
  WindowSearch search;
  search.title = WideFromAnsi(title);
  search.program = ProgramOfProcess(GetCurrentProcessId());
  if (!search.program.known) return nullptr;
  EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool HeldByAnotherCopy(HANDLE mutex, SecurityReader& reader, bool& held) {
  held = false;
  // A mutex left by a run that died is ours now.
  DWORD wait = WaitForSingleObject(mutex, 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
    held = true;
    return false;
  }
  // A wait that fails tells nothing: the run does not go on beside what may be a copy.
  if (wait != WAIT_TIMEOUT) return true;
  ObjectSecurity security;
  if (reader.ReadKernelObjectSecurity(mutex, security) != 0) return false;
  return HasTrustedOwner(security, TrustedPrincipalsOfThisProcess());
}

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release() {
  held_.clear();
  privateMutex_.Reset();
  if (namespace_) {
    NamespaceCalls calls;
    if (calls.closeNamespace) calls.closeNamespace(namespace_, 0);
    namespace_ = nullptr;
  }
}

bool InstanceLock::Take(const char* privateName, std::initializer_list<const char*> names) {
  Release();
  error_ = 0;
  bool anotherCopy = false;

  // Only a process with the Administrators group in its token can make a namespace with that
  // boundary, and only administrators and the system may open it. One namespace for each lock:
  // a namespace can no longer be opened once its maker has closed it, so one shared by both
  // programs could outlive the lock of one and hide it from the next copy.
  NamespaceCalls calls;
  HANDLE boundary = calls.Complete() ? calls.createBoundary(kBoundaryName, 0) : nullptr;
  const std::wstring alias = WideFromAnsi(privateName);
  if (boundary) {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
        calls.addSid(&boundary, administrators)) {
      TextSecurityDescriptor security(kNamespaceSecurity);
      namespace_ = calls.createNamespace(security.Attributes(), boundary, alias.c_str());
      if (!namespace_ && GetLastError() == ERROR_ALREADY_EXISTS) {
        namespace_ = calls.openNamespace(boundary, alias.c_str());
      }
    }
    if (!namespace_) error_ = LastErrorOfFailure();
    calls.deleteBoundary(boundary);
    // Where the platform has private namespaces, a lock that could not be taken there tells
    // nothing of another copy: the run does not go on without it.
    if (!namespace_) return false;
  }
  if (namespace_) {
    privateMutex_.Reset(CreateOwnMutex(alias + L"\\Lock"));
    if (!privateMutex_.Valid()) {
      error_ = LastErrorOfFailure();
      Release();
      return false;
    }
    // Nobody but an administrator can hold it: held means a copy runs.
    DWORD wait = WaitForSingleObject(privateMutex_.Get(), 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
      privateMutex_.Reset();
      anotherCopy = true;
    }
  }

  for (const char* name : names) {
    UniqueHandle mutex(CreateOwnMutex(WideFromAnsi(name)));
    // One we may not open is another user's: it is not a copy of ours.
    if (!mutex.Valid()) continue;
    bool held = false;
    if (HeldByAnotherCopy(mutex.Get(), reader_, held)) anotherCopy = true;
    if (held) held_.push_back(std::move(mutex));
  }
  if (anotherCopy) Release();
  return !anotherCopy;
}

}  // namespace korva
