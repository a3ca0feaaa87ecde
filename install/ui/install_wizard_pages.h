// The five pages of the Installation Wizard and its About box.
#pragma once

#include <windows.h>

#include <string>

#include "common/dialog.h"
#include "common/list_view.h"
#include "common/wizard_page.h"
#include "install/ui/install_wizard_app.h"

namespace korva {

using InstallWizardPage = WizardPage;

class WelcomePage : public InstallWizardPage {
 public:
  explicit WelcomePage(InstallWizardApp& app);

 protected:
  bool OnInitDialog() override;

 private:
  InstallWizardApp& app_;
};

class ProgressPage : public InstallWizardPage {
 public:
  ProgressPage();

 protected:
  bool OnInitDialog() override;
};

class DeviceSelectionPage : public InstallWizardPage {
 public:
  explicit DeviceSelectionPage(InstallWizardApp& app);

  // Enumerates the present USB devices and refills the list.
  void FillDeviceList();
  // True while a row of the list is selected.
  bool HasSelection() const;
  ReportListView& ListView() { return listView_; }

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  void OnShowWindow(bool shown) override;

 private:
  void OnRefresh();
  void OnListItemChanged();

  InstallWizardApp& app_;
  ReportListView listView_;
};

class DeviceDetailsPage : public InstallWizardPage {
 public:
  explicit DeviceDetailsPage(InstallWizardApp& app);

 protected:
  void OnShowWindow(bool shown) override;

 private:
  InstallWizardApp& app_;
};

class FinishPage : public InstallWizardPage {
 public:
  explicit FinishPage(InstallWizardApp& app);

  // The install step's result (0 for success), which the page shows; set by the frame before
  // the page is first shown.
  int InstallResult() const { return installResult_; }
  void SetInstallResult(int result) { installResult_ = result; }
  // Whether Windows needs a restart to complete the installation; set with the result.
  bool RestartNeeded() const { return restartNeeded_; }
  void SetRestartNeeded(bool needed) { restartNeeded_ = needed; }

  void SaveInfFile();
  void RunDemoApplication();

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int code) override;
  void OnShowWindow(bool shown) override;

 private:
  // Copies `from` over `to`, read-only or not; false when the copy failed.
  static bool Replace(const std::string& from, const std::string& to);
  static bool Start(const std::string& path);

  InstallWizardApp& app_;
  int installResult_ = 0;
  bool restartNeeded_ = false;
};

class InstallAboutBox : public Dialog {
 public:
  InstallAboutBox();

 protected:
  bool OnInitDialog() override;

 private:
  std::string versionText_;
  std::string copyrightText_;
};

}  // namespace korva
