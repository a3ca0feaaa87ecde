#include "install/ui/install_wizard_app.h"

#include <direct.h>

#include <cerrno>

#include "common/core/wow64_hand_over.h"
#include "common/windows_version.h"
#include "common/wow64_hand_over.h"
#include "install/error_box.h"
#include "install/ui/install_wizard_frame.h"
#include "install/core/inf_template.h"
#include "install/core/install_wizard_texts.h"

namespace korva {

namespace {

// The base name of the program file, without folder and extension.
std::string BaseName(const std::string& modulePath) {
  size_t start = modulePath.find_last_of("\\/:");
  std::string name = modulePath.substr(start == std::string::npos ? 0 : start + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// Makes the install folder, or finds it there. A file of that name can't take the staged
// files: that counts as a folder that can't be made, so the user learns it now and not as a
// broken kit at the install step.
bool MakeInstallFolder(const std::string& folder) {
  if (_mkdir(folder.c_str()) == 0) return true;
  if (errno != EEXIST) return false;
  DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int PendingQuitCode() {
  MSG message;
  if (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    return static_cast<int>(message.wParam);
  }
  return -1;
}

}  // namespace

int InstallWizardApp::Run(const std::string& modulePath) {
  programName_ = BaseName(modulePath);
  // On 64-bit Windows only the 64-bit build can install drivers: a 32-bit one hands the whole
  // run over to it, the test for an open wizard included, and does nothing of its own.
  Wow64HandOver handOver = HandOverTo64BitBuild();
  if (handOver.outcome == Wow64HandOver::kHandedOver) return static_cast<int>(handOver.exitStatus);
  if (handOver.outcome == Wow64HandOver::kFailed) {
    ShowErrorBox(
        No64BitBuildMessage(kInstallWizardName, "install drivers", handOver.path, handOver.error));
    return kExitNo64BitBuild;
  }

  // One wizard at a time: a running one is recognised by its title alone.
  if (HWND running = FindWindowA(nullptr, kInstallWizardName)) {
    SetForegroundWindow(running);
    return kInstallExitFinished;
  }

  paths_ = DeriveInstallPaths(modulePath, IsAnsiLeadByte);
  if (!MakeInstallFolder(paths_.installFolder)) {
    ShowErrorBox("Unable to create directory " + paths_.installFolder + ".\n");
    return kInstallExitFailed;
  }

  isNt5OrLater_ = korva::IsNt5OrLater();

  InstallWizardFrame frame(*this);
  frame_ = &frame;
  INT_PTR result = frame.RunModal(nullptr);
  frame_ = nullptr;

  // The frame ends with the exit code (Finish, Cancel, a fatal install step). A quit request
  // from elsewhere ends it too; the dialog manager puts that back on the queue for us.
  int quitCode = PendingQuitCode();
  if (quitCode >= 0) return quitCode;
  if (result == kInstallExitCancelled || result == kInstallExitFailed) {
    return static_cast<int>(result);
  }
  return kInstallExitFinished;
}

HWND InstallWizardApp::MainWindow() const { return frame_ ? frame_->Window() : nullptr; }

void InstallWizardApp::ShowErrorBox(const std::string& text) {
  korva::ShowErrorBox(messageBoxes_, MainWindow(), programName_, text);
}

}  // namespace korva
