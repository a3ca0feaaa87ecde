// The single-instance lock of a program that runs as administrator. Any user can create a mutex
// of any name, in the global namespace too, and so stop every later run if a mutex of the
// program's name alone decided. So:
// - the lock proper is a mutex in a private namespace bounded by the Administrators group,
//   where only administrators (and the system) can create or open objects (one namespace for
//   each program's lock);
// - the mutexes of the names the manuals give (which other tools may look for) are taken as
//   well, made administrators' own; one of them that another process holds counts as a running
//   copy only when an administrator or the system owns it.
// Where the platform has no private namespaces (Wine), the owner rule alone decides.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <vector>

#include "common/object_security.h"
#include "common/unique_resource.h"

namespace korva {

class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the private lock (in the namespace `privateName`) and the mutexes `names`; held until
  // this object goes. False when another copy holds any of them (see above), or when the
  // platform has private namespaces and the lock could not be taken there (Error() then says
  // why: not run as an administrator, say).
  bool Take(const char* privateName, std::initializer_list<const char*> names);
  DWORD Error() const { return error_; }

  // Whether the private namespace was there to take the lock in (not under Wine).
  bool HasPrivateLock() const { return privateMutex_.Valid(); }

 private:
  void Release();

  SecurityReader reader_;
  HANDLE namespace_ = nullptr;  // closed with ClosePrivateNamespace
  UniqueHandle privateMutex_;
  std::vector<UniqueHandle> held_;
  DWORD error_ = 0;
};

// Whether another process holds the mutex `mutex` (opened with SYNCHRONIZE and READ_CONTROL)
// as a copy of this program: it holds it, and an administrator, the system or this process's
// user owns it. Otherwise this process now holds it, or it belongs to another user and says
// nothing. `held` tells whether this process took it.
bool HeldByAnotherCopy(HANDLE mutex, SecurityReader& reader, bool& held);

// The top-level window titled `title` that a process running this program's own file shows
// (the same file, by its volume and file ID, not by a name), or null. Any program can show a
// window of any title: another program's window with the title is not a running copy.
HWND FindWindowOfThisProgram(const char* title);

}  // namespace korva
