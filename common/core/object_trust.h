// Who may change a file, a folder or a named object, judged from its owner and access list as
// the platform gives them (security identifiers as text, "S-1-5-32-544"). The programs run as
// administrator and as the system: what they read, run or record must be changeable by those
// alone, since anyone else who can change it can make them do what that one wants.
// Platform-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva {

// Well-known principals, by their security identifiers.
namespace sid {
constexpr char kEveryone[] = "S-1-1-0";
constexpr char kCreatorOwner[] = "S-1-3-0";
constexpr char kCreatorGroup[] = "S-1-3-1";
constexpr char kOwnerRights[] = "S-1-3-4";
constexpr char kAnonymousLogon[] = "S-1-5-7";
constexpr char kSystem[] = "S-1-5-18";
constexpr char kAdministrators[] = "S-1-5-32-544";
constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
}  // namespace sid

// The rights that change an object or what it holds: write data or add a file, append data or
// add a subfolder, write its attributes or extended attributes (whoever may write the
// attributes may make a folder a junction), delete it, delete what it holds, change its access
// list, take it over, and the generic rights that include them.
namespace rights {
constexpr std::uint32_t kWriteDataOrAddFile = 0x0002;
constexpr std::uint32_t kAppendDataOrAddSubfolder = 0x0004;
constexpr std::uint32_t kWriteExtendedAttributes = 0x0010;
constexpr std::uint32_t kDeleteChild = 0x0040;
constexpr std::uint32_t kWriteAttributes = 0x0100;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kChangePermissions = 0x00040000;
constexpr std::uint32_t kTakeOwnership = 0x00080000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kChanging =
    kWriteDataOrAddFile | kAppendDataOrAddSubfolder | kWriteExtendedAttributes | kDeleteChild |
    kWriteAttributes | kDelete | kChangePermissions | kTakeOwnership | kGenericAll | kGenericWrite;
}  // namespace rights

// One entry of an access list. Entries that deny are kept apart: they never make an object
// safer here, since a deny for one group leaves its members' other groups their rights.
struct AccessEntry {
  enum Kind { kAllow, kDeny, kOther };
  Kind kind = kAllow;
  std::string sid;
  std::uint32_t mask = 0;
  bool inheritOnly = false;  // applies only to what is made inside, not to the object itself
};

// An object's owner and access list.
struct ObjectSecurity {
  std::string owner;          // empty when it has none
  bool hasAccessList = true;  // false: no access list at all, which lets everyone do anything
  std::vector<AccessEntry> entries;
};

// The principals that may change what the programs trust: the machine's Administrators, the
// system, TrustedInstaller (always), and those given here: the user running the program and the
// Domain Admins group of the domain the machine is joined to.
struct TrustedPrincipals {
  std::vector<std::string> sids;
};

bool IsTrustedPrincipal(const std::string& sidText, const TrustedPrincipals& trusted);

// Who else may change an object: nobody (`trusted`), or the first principal found that may,
// with the changing rights it has (an untrusted owner may change the access list, whatever it
// says).
struct TrustVerdict {
  bool trusted = true;
  std::string principal;     // the security identifier of who may change it
  bool isOwner = false;      // that principal owns the object
  std::uint32_t rights = 0;  // what its entry gives it (for an owner: change permissions)
};

TrustVerdict JudgeObjectSecurity(const ObjectSecurity& security, const TrustedPrincipals& trusted);

// The owner rule alone, for objects whose access list says nothing of who made them (a lock,
// a log file that existed already): owned by a trusted principal.
bool HasTrustedOwner(const ObjectSecurity& security, const TrustedPrincipals& trusted);

// The names of the changing rights in `mask`, for a message: "write, delete".
std::string ChangingRightsText(std::uint32_t mask);

}  // namespace korva
