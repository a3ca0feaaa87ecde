#include "support/install_test_support.h"

#include <cstdio>

#include "common/unique_resource.h"
#include "support/wine_test_env.h"

namespace korva::testing {

std::string KitFolder() { return BuildFolder() + "\\kit"; }

std::string ScratchFolder(const std::string& name) {
  CreateDirectoryA("C:\\korvatest", nullptr);
  std::string folder = "C:\\korvatest\\" + name;
  RemoveFolderTree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void CopyKitFile(const std::string& name, const std::string& toFolder) {
  CopyFileA((KitFolder() + "\\" + name).c_str(), (toFolder + "\\" + name).c_str(), FALSE);
}

std::string InstanceIdOf(HDEVINFO set, const SP_DEVINFO_DATA& element) {
  char id[512] = {};
  SP_DEVINFO_DATA copy = element;
  if (!SetupDiGetDeviceInstanceIdA(set, &copy, id, sizeof(id), nullptr)) return "";
  return id;
}

int IndexOfInstance(const UsbDeviceList& list, const std::string& instanceId) {
  const auto& items = list.Items();
  for (size_t i = 0; i < items.size(); ++i) {
    if (_stricmp(InstanceIdOf(list.DeviceInfoSet(), items[i]->devInfoData).c_str(),
                 instanceId.c_str()) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool EnumerateAndSelect(UsbDeviceList& list, const std::string& instanceId) {
  if (list.Enumerate(true) != 0) return false;
  list.SetSelectedIndex(IndexOfInstance(list, instanceId));
  return list.SelectedIndex() >= 0;
}

int TakeQuitRequest() {
  MSG message;
  int code = -1;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) code = static_cast<int>(message.wParam);
  }
  return code;
}

std::string PeImageOfTheBuild() { return BuildFolder() + "\\tools\\korvabed.exe"; }

PackageCheck CheckSignedPackage(const std::string& catalogPath, const std::string& certificateDer,
                                const std::string& infPath, const std::string& driverPath,
                                bool driverIsPeImage) {
  PackageCheck check;
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(temp), temp);
  std::string certificatePath = std::string(temp) + "korvatest_signer.cer";
  WriteFileBytes(certificatePath, certificateDer);
  std::string cat = ShellQuoted(UnixPathOf(catalogPath));
  std::string cer = ShellQuoted(UnixPathOf(certificatePath));
  std::string pem = ShellQuoted(UnixPathOf(certificatePath) + ".pem");
  std::string inf = ShellQuoted(UnixPathOf(infPath));
  std::string driver = ShellQuoted(UnixPathOf(driverPath));
  // A file's plain SHA-1 as a member's tag: the upper-case hexadecimal text in UTF-16.
  auto flatMember = [&](const std::string& label, const std::string& file) {
    return "python3 -c 'import hashlib,sys; c=open(sys.argv[1],\"rb\").read(); "
           "t=hashlib.sha1(open(sys.argv[2],\"rb\").read()).hexdigest().upper(); "
           "print(\"" +
           label + "=0\" if (t.encode(\"utf-16-le\")+bytes(2)) in c else \"" + label + "=1\")' " +
           cat + " " + file + "\n";
  };
  std::string script = "openssl x509 -inform DER -in " + cer + " -out " + pem + "\n" +
                       "osslsigncode verify -in " + cat + " -CAfile " + pem +
                       "; echo \"catalog=$?\"\n" + flatMember("inf", inf);
  if (driverIsPeImage) {
    script += "osslsigncode verify -in " + driver + " -catalog " + cat + " -CAfile " + pem +
              "; echo \"driver=$?\"\n";
  } else {
    script += flatMember("driver", driver);
  }
  script += "rm -f " + pem + "\n";
  UnixRun run = RunUnixShell(script);
  RemoveFile(certificatePath);
  check.output = run.output;
  check.catalogVerifies = run.output.find("\ncatalog=0\n") != std::string::npos;
  check.infIsMember = run.output.find("\ninf=0\n") != std::string::npos;
  check.driverIsMember = run.output.find("\ndriver=0\n") != std::string::npos;
  return check;
}

}  // namespace korva::testing
