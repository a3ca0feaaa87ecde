#include "common/core/object_trust.h"

#include <gtest/gtest.h>

#include "common/core/kit_refusals.h"

namespace korva {
namespace {

constexpr char kUser[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr char kOtherUser[] = "S-1-5-21-1004336348-1177238915-682003330-1002";
constexpr char kDomainAdmins[] = "S-1-5-21-3623811015-3361044348-30300820-512";
constexpr char kUsers[] = "S-1-5-32-545";
constexpr char kAuthenticatedUsers[] = "S-1-5-11";
constexpr char kInteractive[] = "S-1-5-4";

AccessEntry Allow(const char* sid, std::uint32_t mask, bool inheritOnly = false) {
  return {AccessEntry::kAllow, sid, mask, inheritOnly};
}
AccessEntry Deny(const char* sid, std::uint32_t mask) {
  return {AccessEntry::kDeny, sid, mask, false};
}

// Rights as Windows writes them into file access lists.
constexpr std::uint32_t kFullControl = 0x001F01FF;
constexpr std::uint32_t kModify = 0x001301BF;
constexpr std::uint32_t kReadAndExecute = 0x001200A9;
constexpr std::uint32_t kCreateFolders = 0x00000004;  // "create folders / append data"
constexpr std::uint32_t kCreateFiles = 0x00000002;

// The owner and access lists that a default Windows 10 or 11 gives the places a kit is put,
// judged for the administrator `kUser` running the program (the domain's admins trusted too).
TEST(ObjectTrustTest, TheFoldersOfADefaultWindowsAreJudgedAsTheirAccessListsSay) {
  const TrustedPrincipals trusted{{kUser, kDomainAdmins}};
  struct Case {
    const char* what;
    ObjectSecurity security;
    bool trusted;
    const char* principal;
  };
  const Case cases[] = {
      {"C:\\ itself: users may make folders in it",
       {sid::kTrustedInstaller,
        true,
        {Allow(sid::kAdministrators, kFullControl), Allow(sid::kSystem, kFullControl),
         Allow(kUsers, kReadAndExecute), Allow(kAuthenticatedUsers, kCreateFolders),
         Allow(kAuthenticatedUsers, kModify, true), Allow(sid::kCreatorOwner, kFullControl, true)}},
       false,
       kAuthenticatedUsers},
      {"a kit folder made in C:\\ (C:\\Kit): Modify inherited by Authenticated Users",
       {sid::kAdministrators,
        true,
        {Allow(sid::kAdministrators, kFullControl), Allow(sid::kSystem, kFullControl),
         Allow(kUsers, kReadAndExecute), Allow(kAuthenticatedUsers, kModify)}},
       false,
       kAuthenticatedUsers},
      {"C:\\Program Files\\KORVA",
       {sid::kAdministrators,
        true,
        {Allow(sid::kTrustedInstaller, kFullControl), Allow(sid::kSystem, kFullControl),
         Allow(sid::kAdministrators, kFullControl), Allow(kUsers, kReadAndExecute),
         Allow("S-1-15-2-1", kReadAndExecute), Allow(sid::kCreatorOwner, 0x10000000, true)}},
       true,
       ""},
      {"the running user's own profile",
       {kUser,
        true,
        {Allow(sid::kSystem, kFullControl), Allow(sid::kAdministrators, kFullControl),
         Allow(kUser, kFullControl)}},
       true,
       ""},
      {"another user's profile, as an administrator may find it",
       {kOtherUser,
        true,
        {Allow(sid::kSystem, kFullControl), Allow(sid::kAdministrators, kFullControl),
         Allow(kOtherUser, kFullControl)}},
       false,
       kOtherUser},
      {"a share's folder: the domain's admins own it, domain users may change it",
       {kDomainAdmins,
        true,
        {Allow(kDomainAdmins, kFullControl), Allow(sid::kSystem, kFullControl),
         Allow("S-1-5-21-3623811015-3361044348-30300820-513", kModify)}},
       false,
       "S-1-5-21-3623811015-3361044348-30300820-513"},
      {"a share's folder that the domain's admins alone may change",
       {kDomainAdmins,
        true,
        {Allow(kDomainAdmins, kFullControl), Allow(sid::kEveryone, kReadAndExecute)}},
       true,
       ""},
      {"C:\\Windows\\Temp: users may add files",
       {sid::kSystem,
        true,
        {Allow(sid::kSystem, kFullControl), Allow(sid::kAdministrators, kFullControl),
         Allow(kUsers, kCreateFiles | kCreateFolders | 0x20), Allow(kInteractive, 0x00020000)}},
       false,
       kUsers},
      {"no access list at all (a null one)",
       {sid::kAdministrators, false, {}},
       false,
       sid::kEveryone},
      {"a deny for Users takes nothing from INTERACTIVE's write",
       {sid::kAdministrators, true, {Deny(kUsers, kModify), Allow(kInteractive, 0x00000002)}},
       false,
       kInteractive},
      {"an entry of a kind not known here counts as one that allows",
       {sid::kAdministrators, true, {{AccessEntry::kOther, sid::kEveryone, 0x00010000, false}}},
       false,
       sid::kEveryone},
      {"OWNER RIGHTS is the trusted owner",
       {sid::kSystem, true, {Allow(sid::kOwnerRights, kFullControl)}},
       true,
       ""},
      {"CREATOR OWNER on the object itself matches nobody",
       {sid::kAdministrators, true, {Allow(sid::kCreatorOwner, kFullControl)}},
       true,
       ""},
      {"generic write for Users",
       {sid::kAdministrators, true, {Allow(kUsers, 0x40000000)}},
       false,
       kUsers},
      {"change permissions alone",
       {sid::kAdministrators, true, {Allow(kUsers, 0x00040000)}},
       false,
       kUsers},
      {"take ownership alone",
       {sid::kAdministrators, true, {Allow(kUsers, 0x00080000)}},
       false,
       kUsers},
      {"write attributes alone: enough to make a folder a junction",
       {sid::kAdministrators, true, {Allow(kUsers, 0x00000100)}},
       false,
       kUsers},
      {"write extended attributes alone",
       {sid::kAdministrators, true, {Allow(kUsers, 0x10)}},
       false,
       kUsers},
      {"no owner", {"", true, {}}, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TrustVerdict verdict = JudgeObjectSecurity(c.security, trusted);
    EXPECT_EQ(verdict.trusted, c.trusted);
    EXPECT_EQ(verdict.principal, c.principal);
  }
}

// Any user can make a mutex or a log file first: only its owner says whose it is.
TEST(ObjectTrustTest, OnlyAnAdministratorTheSystemOrTheRunningUserIsATrustedOwner) {
  const TrustedPrincipals trusted{{kUser}};
  struct Case {
    const char* owner;
    bool trusted;
  } cases[] = {
      {sid::kAdministrators, true},
      {"s-1-5-32-544", true},
      {sid::kSystem, true},
      {sid::kTrustedInstaller, true},
      {kUser, true},
      {kOtherUser, false},
      {kUsers, false},
      {kAuthenticatedUsers, false},
      {sid::kEveryone, false},
      {sid::kAnonymousLogon, false},
      {"", false},
      {"S-1-5-32-5440", false},
  };
  for (const Case& c : cases) {
    ObjectSecurity security;
    security.owner = c.owner;
    EXPECT_EQ(HasTrustedOwner(security, trusted), c.trusted) << c.owner;
  }
}

TEST(ObjectTrustTest, TheBoxSaysWhatWhoAndWhatToDo) {
  KitTrustProblem problem;
  problem.path = "C:\\Kit";
  problem.folder = true;
  problem.principal = "NT AUTHORITY\\Authenticated Users";
  problem.rights = ChangingRightsText(kModify);
  EXPECT_EQ(problem.rights, "write, delete");
  EXPECT_EQ(KitNotTrustedMessage(problem),
            "The KORVA Development Kit is not used: its folder\n"
            "C:\\Kit\n"
            "can be changed by NT AUTHORITY\\Authenticated Users (write, delete), not by "
            "administrators alone, and whoever changes the kit has their code run with "
            "administrator rights.\n"
            "Move the kit into a folder that only administrators can change, such as one under "
            "C:\\Program Files, or correct the access list of that folder.");
  EXPECT_EQ(
      KitTrustLogFields(problem),
      (std::vector<std::string>{"C:\\Kit", "NT AUTHORITY\\Authenticated Users", "write, delete"}));
  EXPECT_EQ(ChangingRightsText(kFullControl), "full control");
  EXPECT_EQ(ChangingRightsText(0x00040000 | 0x00080000), "change permissions, take ownership");

  KitTrustProblem unread;
  unread.path = "C:\\Kit\\korva.sys";
  unread.error = 5;
  unread.errorText = "Access denied.";
  EXPECT_NE(KitNotTrustedMessage(unread).find("its file\nC:\\Kit\\korva.sys\ncould not be "
                                              "checked (error 5: Access denied.).\n"),
            std::string::npos);
  EXPECT_EQ(KitTrustLogFields(unread),
            (std::vector<std::string>{"C:\\Kit\\korva.sys", "", "error 5: Access denied."}));
}

}  // namespace
}  // namespace korva
