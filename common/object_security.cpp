#include "common/object_security.h"

#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <vector>

#include "common/last_error.h"
#include "common/unique_resource.h"

namespace korva {

namespace {

std::string SidText(PSID sid) {
  if (!sid || !IsValidSid(sid)) return std::string();
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return std::string();
  std::string result = text;
  LocalFree(text);
  return result;
}

AccessEntry::Kind EntryKind(BYTE type) {
  switch (type) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
      return AccessEntry::kAllow;
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      return AccessEntry::kDeny;
    default:
      return AccessEntry::kOther;
  }
}

// The trustee of an entry: after the mask for the plain kinds, after the object GUIDs that
// its flags say are present for the object kinds.
PSID EntrySid(ACE_HEADER* header) {
  switch (header->AceType) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: {
      auto* entry = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(header);
      BYTE* at = reinterpret_cast<BYTE*>(&entry->ObjectType);
      if (entry->Flags & ACE_OBJECT_TYPE_PRESENT) at += sizeof(GUID);
      if (entry->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) at += sizeof(GUID);
      return at;
    }
    default:
      return &reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart;
  }
}

// Closes an LSA policy handle.
struct LsaPolicy {
  LSA_HANDLE handle = nullptr;
  ~LsaPolicy() {
    if (handle) LsaClose(handle);
  }
};

}  // namespace

DWORD ObjectSecurityFromDescriptor(PSECURITY_DESCRIPTOR descriptor, ObjectSecurity& security) {
  security = ObjectSecurity();
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) return LastErrorOfFailure();
  security.owner = SidText(owner);
  BOOL present = FALSE;
  PACL list = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted)) {
    return LastErrorOfFailure();
  }
  // No list, or a null one, lets everyone do everything.
  security.hasAccessList = present && list;
  if (!security.hasAccessList) return 0;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(list, i, &raw)) return LastErrorOfFailure();
    auto* header = static_cast<ACE_HEADER*>(raw);
    AccessEntry entry;
    entry.kind = EntryKind(header->AceType);
    // Every entry kind keeps its mask right after the header.
    entry.mask = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->Mask;
    entry.sid = SidText(EntrySid(header));
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    security.entries.push_back(entry);
  }
  return 0;
}

namespace {

DWORD ReadSecurity(HANDLE object, SE_OBJECT_TYPE type, ObjectSecurity& security) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error =
      GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return error;
  error = ObjectSecurityFromDescriptor(descriptor, security);
  LocalFree(descriptor);
  return error;
}

}  // namespace

DWORD SecurityReader::ReadFileSecurity(const std::wstring&, HANDLE object,
                                       ObjectSecurity& security) {
  return ReadSecurity(object, SE_FILE_OBJECT, security);
}

DWORD SecurityReader::ReadKernelObjectSecurity(HANDLE object, ObjectSecurity& security) {
  return ReadSecurity(object, SE_KERNEL_OBJECT, security);
}

TrustedPrincipals TrustedPrincipalsOfThisProcess() {
  TrustedPrincipals trusted;
  HANDLE rawToken = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
    UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size ? size : 1);
    if (GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
      std::string user = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
      if (!user.empty()) trusted.sids.push_back(user);
    }
  }
  // The domain's administrators administer every machine of the domain.
  LSA_OBJECT_ATTRIBUTES attributes{};
  LsaPolicy policy;
  if (LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, &policy.handle) == 0) {
    void* information = nullptr;
    if (LsaQueryInformationPolicy(policy.handle, PolicyPrimaryDomainInformation, &information) ==
            0 &&
        information) {
      std::string domain = SidText(static_cast<POLICY_PRIMARY_DOMAIN_INFO*>(information)->Sid);
      if (!domain.empty()) trusted.sids.push_back(domain + "-512");
      LsaFreeMemory(information);
    }
  }
  return trusted;
}

std::string PrincipalName(const std::string& sidText) {
  PSID sid = nullptr;
  if (!ConvertStringSidToSidA(sidText.c_str(), &sid)) return sidText;
  char name[256] = {};
  char domain[256] = {};
  DWORD nameSize = sizeof(name);
  DWORD domainSize = sizeof(domain);
  SID_NAME_USE use;
  bool known = LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use);
  LocalFree(sid);
  if (!known || name[0] == '\0') return sidText;
  return domain[0] ? std::string(domain) + "\\" + name : std::string(name);
}

}  // namespace korva
