#include "common/core/object_trust.h"

#include <algorithm>

namespace korva {

namespace {

const char* const kAlwaysTrusted[] = {sid::kAdministrators, sid::kSystem, sid::kTrustedInstaller};

// Security identifiers are compared without case ("S-1-5-18" and "s-1-5-18" are one).
bool SameSid(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
         });
}

}  // namespace

bool IsTrustedPrincipal(const std::string& sidText, const TrustedPrincipals& trusted) {
  if (sidText.empty()) return false;
  for (const char* always : kAlwaysTrusted) {
    if (SameSid(sidText, always)) return true;
  }
  return std::any_of(trusted.sids.begin(), trusted.sids.end(),
                     [&](const std::string& sid) { return SameSid(sidText, sid); });
}

bool HasTrustedOwner(const ObjectSecurity& security, const TrustedPrincipals& trusted) {
  return IsTrustedPrincipal(security.owner, trusted);
}

TrustVerdict JudgeObjectSecurity(const ObjectSecurity& security, const TrustedPrincipals& trusted) {
  TrustVerdict verdict;
  // The owner may always change the access list, so an owner of the wrong side decides alone.
  if (!HasTrustedOwner(security, trusted)) {
    verdict.trusted = false;
    verdict.principal = security.owner;
    verdict.isOwner = true;
    verdict.rights = rights::kChangePermissions;
    return verdict;
  }
  if (!security.hasAccessList) {
    verdict.trusted = false;
    verdict.principal = sid::kEveryone;
    verdict.rights = rights::kChanging;
    return verdict;
  }
  // An entry of a kind this reading does not know counts as one that allows.
  for (const AccessEntry& entry : security.entries) {
    if (entry.kind == AccessEntry::kDeny || entry.inheritOnly) continue;
    std::uint32_t changing = entry.mask & rights::kChanging;
    if (changing == 0) continue;
    // Placeholders that only what is made inside turns into a principal match nobody here;
    // OWNER RIGHTS stands for the owner, who is trusted by now.
    if (SameSid(entry.sid, sid::kCreatorOwner) || SameSid(entry.sid, sid::kCreatorGroup) ||
        SameSid(entry.sid, sid::kOwnerRights)) {
      continue;
    }
    if (IsTrustedPrincipal(entry.sid, trusted)) continue;
    verdict.trusted = false;
    verdict.principal = entry.sid;
    verdict.rights = entry.mask;
    return verdict;
  }
  return verdict;
}

std::string ChangingRightsText(std::uint32_t mask) {
  struct Name {
    std::uint32_t bits;
    const char* text;
  };
  static const Name kNames[] = {
      {rights::kWriteDataOrAddFile | rights::kAppendDataOrAddSubfolder |
           rights::kWriteExtendedAttributes | rights::kWriteAttributes | rights::kGenericWrite,
       "write"},
      {rights::kDelete | rights::kDeleteChild, "delete"},
      {rights::kChangePermissions, "change permissions"},
      {rights::kTakeOwnership, "take ownership"},
  };
  // Everything a file or folder has to give, or the generic right that means it.
  constexpr std::uint32_t kAllFileRights = 0x001F01FF;
  if ((mask & rights::kGenericAll) != 0 || (mask & kAllFileRights) == kAllFileRights) {
    return "full control";
  }
  std::string text;
  for (const Name& name : kNames) {
    if ((mask & name.bits) == 0) continue;
    if (!text.empty()) text += ", ";
    text += name.text;
  }
  return text;
}

}  // namespace korva
