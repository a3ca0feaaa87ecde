// The round trip of the two programs: what KORVAwiz installs for a device without a window is
// what the Cleanup Wizard's non-interactive run then lists, finds and removes, and nothing else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/core/kit_certificate.h"
#include "install/core/install_paths.h"
#include "support/fault_injecting_signing.h"
#include "support/install_test_support.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

const GUID kUsbClass = UsbClassGuid();

std::vector<std::string> KeyContainers() {
  std::vector<std::string> all;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (const std::string& name : RegistrySubkeys(root, "Software\\Wine\\Crypto\\RSA")) {
      all.push_back(name);
    }
  }
  return all;
}

der::Bytes Bytes(const std::string& text) { return der::Bytes(text.begin(), text.end()); }

bool InStore(const char* store, const std::string& certificate) {
  SystemTrustStores stores;
  std::vector<StoredCertificate> all;
  stores.List(store, all);
  for (const StoredCertificate& stored : all) {
    if (stored.encoded == Bytes(certificate)) return true;
  }
  return false;
}

TEST(InstallRoundTripTest, TheCleanupWizardRemovesWhatWasInstalledAndNothingElse) {
  const std::string installed = "USB\\VID_0547&PID_1002\\5&1A2B&0&1";
  const std::string otherBoard = "USB\\VID_0547&PID_1002\\5&1A2B&0&2";
  const std::string otherUsb = "USB\\VID_04B4&PID_8613\\5&1A2B&0&3";
  const std::string kitNoIdent = "USB\\VID_0547&PID_2131\\5&1A2B&0&4";
  const std::string otherClassWithIdent = "USB\\VID_0547&PID_2132\\5&1A2B&0&5";
  SeedDevice(installed, kUsbClass, {"USB\\VID_0547&PID_1002&REV_0001"}, "", "My Device");
  SeedDevice(otherBoard, kUsbClass, {"USB\\VID_0547&PID_1003&REV_0001"}, "", "Other board");
  SeedDevice(otherUsb, kUsbClass, {"USB\\VID_04B4&PID_8613&REV_0001"}, "", "Other device");
  SeedDevice(kitNoIdent, KitClassGuid(), {"USB\\VID_0547&PID_2131"}, "");
  SeedDevice(otherClassWithIdent, NewClassGuid(), {"USB\\VID_0547&PID_2132"}, kKitIdent);

  // KORVAwiz without a window, as a management tool runs it, for the first device.
  std::string root = ScratchFolder("roundtrip");
  InstallPaths paths = DeriveInstallPaths(root + "\\Bin\\KORVAwiz.exe");
  CreateDirectoryA(paths.programFolder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BuildFolder() + "\\install\\KORVAwiz.exe").c_str(),
                        (paths.programFolder + "\\KORVAwiz.exe").c_str(), FALSE));
  for (const char* file : {"korvawiz.tpl", "korva98.sys"}) CopyKitFile(file, paths.programFolder);
  // A real PE image as the driver binary, so that the catalog holds its image hash.
  ASSERT_TRUE(
      CopyFileA(PeImageOfTheBuild().c_str(), (paths.programFolder + "\\korva.sys").c_str(), FALSE));
  // KORVAwiz sees Windows 10 here (Wine's prefix says Windows 7, where it would sign with SHA-1).
  HKEY appDefaults;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\KORVAwiz.exe", 0,
                            nullptr, 0, KEY_WRITE, nullptr, &appDefaults, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(appDefaults, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win10"), 6);
  RegCloseKey(appDefaults);
  // Another product's certificates in the same stores: one with the same common name, one of
  // the kit's organisation for another ident. The cleanup must leave both.
  const std::string sameName =
      OpenSslCertificate("/CN=" + KitCertificateCommonName("USB\\\\VID_0547&PID_1002&REV_0001") +
                         "/O=Another Vendor/OU=" + kKitIdent);
  const std::string otherIdent = OpenSslCertificate(
      std::string("/CN=KORVA driver package USB\\\\VID_0547&PID_1002&REV_0001/O=") +
      kKitCertificateOrganization + "/OU={00000000-1111-2222-3333-444444444444}");
  SystemTrustStores stores;
  for (const char* store : kKitCertificateStores) {
    ASSERT_EQ(stores.Add(store, Bytes(sameName)), 0u);
    ASSERT_EQ(stores.Add(store, Bytes(otherIdent)), 0u);
  }
  const std::vector<std::string> containersBefore = KeyContainers();

  CapturedRun install = RunCapturingOutput("\"" + paths.programFolder +
                                               "\\KORVAwiz.exe\" -nogui -hwid "
                                               "USB\\VID_0547&PID_1002&REV_0001",
                                           OutputTo::kPipe);
  ASSERT_EQ(install.exitCode, 0u) << install.output;
  EXPECT_NE(install.output.find("\r\ninstalled\t" + installed + "\t"), std::string::npos)
      << install.output;
  // The key was never kept anywhere.
  EXPECT_EQ(KeyContainers(), containersBefore);

  // The package's certificate, as the machine's Root store holds it, verifies the catalog, and
  // the catalog has both files of the package, by readers we did not write.
  const std::string hardwareId = "USB\\VID_0547&PID_1002&REV_0001";
  std::vector<StoredCertificate> trusted = KitCertificatesFor(hardwareId, "Root");
  ASSERT_EQ(trusted.size(), 1u);
  EXPECT_EQ(KitCertificatesFor(hardwareId, "TrustedPublisher").size(), 1u);
  const std::string certificate(trusted[0].encoded.begin(), trusted[0].encoded.end());
  EXPECT_EQ(ReadFileBytes(paths.certificatePath), certificate);
  const std::string stagedDriver = paths.installFolder + "\\korva.sys";
  PackageCheck check =
      CheckSignedPackage(paths.catalogPath, certificate, paths.infPath, stagedDriver, true);
  EXPECT_TRUE(check.catalogVerifies) << check.output;
  EXPECT_TRUE(check.infIsMember) << check.output;
  EXPECT_TRUE(check.driverIsMember) << check.output;
  EXPECT_NE(check.output.find("Message digest algorithm: SHA256"), std::string::npos)
      << check.output;
  // Changed copies are no members.
  const std::string changedInf = paths.installFolder + "\\changed.inf";
  const std::string changedDriver = paths.installFolder + "\\changed.sys";
  WriteFileBytes(changedInf, ReadFileBytes(paths.infPath) + ";\r\n");
  std::string driver = ReadFileBytes(stagedDriver);
  driver[driver.size() - 64] ^= 0x01;
  WriteFileBytes(changedDriver, driver);
  check = CheckSignedPackage(paths.catalogPath, certificate, changedInf, changedDriver, true);
  EXPECT_FALSE(check.infIsMember) << check.output;
  EXPECT_FALSE(check.driverIsMember) << check.output;

  // The installation copied the INF file into the system's INF folder: Wine under its own name,
  // Windows as oemNN.inf. The copy Windows would make is placed beside it by hand; its name
  // takes it through the driver store's removal (Wine's deletes the INF file alone).
  const std::string copied = WindowsFolder() + "\\inf\\korvawiz.inf";
  EXPECT_EQ(ReadFileBytes(copied), ReadFileBytes(paths.infPath));
  const std::string oemInf = PlaceFile("inf", "oemkorvatest7.inf", ReadFileBytes(paths.infPath));
  const std::string oemPnf = PlaceFile("inf", "oemkorvatest7.pnf", "compiled");
  // Wine registered the package's catalog under the name it published the INF file as.
  const std::string registered =
      WindowsFolder() + "\\system32\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\korvawiz.cat";
  EXPECT_EQ(ReadFileBytes(registered), ReadFileBytes(paths.catalogPath));

  // Asked first, KORVAcw names what it would remove, and removes nothing.
  CapturedRun list = RunCapturingOutput("\"" + KorvaCwPath() + "\" -nogui -list", OutputTo::kPipe);
  EXPECT_EQ(list.exitCode, 1u) << list.output;
  for (const std::string& line :
       {std::string("\r\ndevice\t") + installed + "\t", "\r\ninf\t" + copied + "\r\n",
        "\r\ninf\t" + oemInf + "\r\n", "\r\ncertificate\tRoot\\" + trusted[0].thumbprint + "\t",
        "\r\ncertificate\tTrustedPublisher\\" + trusted[0].thumbprint + "\t",
        std::string("\r\nservice\tkorva\t"),
        std::string("\tdevices=1\tinf=2\tcertificates=2\tservices=1\t")}) {
    EXPECT_NE(list.output.find(line), std::string::npos) << line << "\n" << list.output;
  }
  EXPECT_TRUE(testbed::DeviceExists(installed));
  EXPECT_TRUE(FileExists(copied));
  EXPECT_TRUE(FileExists(oemInf));

  EXPECT_TRUE(InStore("Root", certificate));

  CapturedRun cleanup = RunCapturingOutput("\"" + KorvaCwPath() + "\" -nogui", OutputTo::kPipe);
  EXPECT_EQ(cleanup.exitCode, 0u) << cleanup.output;
  for (const char* store : kKitCertificateStores) {
    EXPECT_NE(cleanup.output.find(std::string("\r\nremoved\tcertificate\t") + store + "\\" +
                                  trusted[0].thumbprint + "\r\n"),
              std::string::npos)
        << cleanup.output;
    EXPECT_FALSE(InStore(store, certificate)) << store;
    EXPECT_TRUE(InStore(store, sameName)) << store;
    EXPECT_TRUE(InStore(store, otherIdent)) << store;
    stores.Remove(store, Bytes(sameName));
    stores.Remove(store, Bytes(otherIdent));
  }
  EXPECT_FALSE(testbed::DeviceExists(installed));
  for (const std::string& stays : {otherBoard, otherUsb, kitNoIdent, otherClassWithIdent}) {
    EXPECT_TRUE(testbed::DeviceExists(stays)) << stays;
  }
  EXPECT_FALSE(FileExists(copied));
  EXPECT_FALSE(FileExists(WindowsFolder() + "\\inf\\korvawiz.pnf"));
  EXPECT_FALSE(FileExists(oemInf));
  EXPECT_FALSE(FileExists(oemPnf));
  // And the catalog that made its files trusted.
  EXPECT_FALSE(FileExists(registered));
  EXPECT_NE(cleanup.output.find("\r\nremoved\tinf\t" + registered + "\r\n"), std::string::npos)
      << cleanup.output;
  // The driver's service and its binary went with the last device that named them.
  EXPECT_NE(cleanup.output.find("\r\nremoved\tservice\tkorva\r\n"), std::string::npos)
      << cleanup.output;
  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueServiceHandle service(OpenServiceA(manager.Get(), "korva", SERVICE_QUERY_STATUS));
  EXPECT_FALSE(service.Valid());
  EXPECT_FALSE(FileExists(WindowsFolder() + "\\system32\\drivers\\korva.sys"));
  // The install folder is the wizard's, not the system's: it stays.
  EXPECT_TRUE(FileExists(paths.infPath));
  RemovePlacedInfFiles();
}

// The machine as KORVAwiz and KORVAcw can change it: the registry's device, class, service and
// certificate trees, the INF folder, the drivers folder, the catalogs and the driver store.
void AppendKey(HKEY root, const std::string& path, std::string& state) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  char name[16384];
  BYTE data[65536];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof(name), dataSize = sizeof(data), type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) {
      break;
    }
    state += path + "\\" + name + "=" + std::to_string(type) + ":" +
             std::string(reinterpret_cast<char*>(data), dataSize) + "\n";
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof(name);
    if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    subkeys.push_back(name);
  }
  RegCloseKey(key);
  for (const std::string& subkey : subkeys) AppendKey(root, path + "\\" + subkey, state);
}

void AppendFolder(const std::string& folder, std::string& state) {
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!search.Valid()) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      AppendFolder(folder + "\\" + name, state);
    } else {
      state += folder + "\\" + name + " " + std::to_string(found.nFileSizeLow) + "\n";
    }
  } while (FindNextFileA(search.Get(), &found));
}

std::string MachineState() {
  std::string state;
  for (const char* key :
       {"SYSTEM\\CurrentControlSet\\Enum\\USB", "SYSTEM\\CurrentControlSet\\Control\\Class",
        "SYSTEM\\CurrentControlSet\\Services", "Software\\Microsoft\\SystemCertificates"}) {
    AppendKey(HKEY_LOCAL_MACHINE, key, state);
  }
  for (const char* folder : {"\\inf", "\\system32\\drivers", "\\system32\\catroot",
                             "\\system32\\DriverStore"}) {
    AppendFolder(WindowsFolder() + folder, state);
  }
  return state;
}

// -stage for an ID no device has: KORVAcw names the staged package, removes it with its catalog
// and certificates, and the machine is as it was before the staging.
TEST(InstallRoundTripTest, AStagedPackageIsRemovedAndTheMachineIsAsBefore) {
  std::string root = ScratchFolder("staged roundtrip");
  InstallPaths paths = DeriveInstallPaths(root + "\\Bin\\KORVAwiz.exe");
  CreateDirectoryA(paths.programFolder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BuildFolder() + "\\install\\KORVAwiz.exe").c_str(),
                        (paths.programFolder + "\\KORVAwiz.exe").c_str(), FALSE));
  for (const char* file : {"korvawiz.tpl", "korva.sys", "korva98.sys"}) {
    CopyKitFile(file, paths.programFolder);
  }
  const std::string before = MachineState();
  CapturedRun stage = RunCapturingOutput("\"" + paths.programFolder +
                                             "\\KORVAwiz.exe\" -nogui -hwid "
                                             "USB\\VID_0547&PID_7101 -stage",
                                         OutputTo::kPipe);
  ASSERT_EQ(stage.exitCode, 0u) << stage.output;
  size_t at = stage.output.find("\r\nstaged\t");
  ASSERT_NE(at, std::string::npos) << stage.output;
  const std::string published =
      WindowsFolder() + "\\inf\\" + stage.output.substr(at + 9, stage.output.find('\r', at + 9) - at - 9);
  ASSERT_TRUE(FileExists(published)) << published;
  const std::string hardwareId = "USB\\VID_0547&PID_7101";
  std::vector<StoredCertificate> trusted = KitCertificatesFor(hardwareId, "Root");
  ASSERT_EQ(trusted.size(), 1u);
  EXPECT_NE(MachineState(), before);
  // The published copy is what the platform checks: the catalog, verified with the certificate
  // the store holds by readers we did not write, has it as a member.
  const std::string certificate(trusted[0].encoded.begin(), trusted[0].encoded.end());
  PackageCheck check = CheckSignedPackage(paths.catalogPath, certificate, published,
                                          paths.installFolder + "\\korva.sys", false);
  EXPECT_TRUE(check.catalogVerifies) << check.output;
  EXPECT_TRUE(check.infIsMember) << check.output;

  CapturedRun list = RunCapturingOutput("\"" + KorvaCwPath() + "\" -nogui -list", OutputTo::kPipe);
  EXPECT_EQ(list.exitCode, 1u) << list.output;
  for (const std::string& line :
       {"\r\ninf\t" + published + "\r\n", "\r\ncertificate\tRoot\\" + trusted[0].thumbprint + "\t",
        "\r\ncertificate\tTrustedPublisher\\" + trusted[0].thumbprint + "\t"}) {
    EXPECT_NE(list.output.find(line), std::string::npos) << line << "\n" << list.output;
  }
  CapturedRun cleanup = RunCapturingOutput("\"" + KorvaCwPath() + "\" -nogui", OutputTo::kPipe);
  EXPECT_EQ(cleanup.exitCode, 0u) << cleanup.output;
  EXPECT_FALSE(FileExists(published));
  EXPECT_EQ(MachineState(), before) << cleanup.output;
}

}  // namespace
}  // namespace korva::testing
