// The four pages of the Cleanup Wizard, its scan progress box and its About box.
#pragma once

#include <windows.h>

#include <string>

#include "cleanup/engine/device_instance_list.h"
#include "cleanup/engine/inf_file_list.h"
#include "cleanup/engine/kit_certificate_list.h"
#include "common/dialog.h"
#include "common/wizard_page.h"

namespace korva {

class CleanupWizardApp;
using CleanupWizardPage = WizardPage;

class WelcomeTaskPage : public CleanupWizardPage {
 public:
  explicit WelcomeTaskPage(CleanupWizardApp& app);

  // The two tasks as the check boxes show them: both chosen once the page is made.
  bool CleanupRegistry() const { return cleanupRegistry_; }
  bool CleanupInfFiles() const { return cleanupInfFiles_; }

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int code) override;

 private:
  void OnTaskCheckBoxClicked();

  CleanupWizardApp& app_;
  bool cleanupRegistry_ = false;
  bool cleanupInfFiles_ = false;
};

// What differs between the two list pages.
struct ListPageLayout {
  int templateId;
  int pageKind;
  int headerId, listId, detailLabelId, detailBoxId;
  const char* progressText;
  const char* foundHeader;
  const char* noneFoundHeader;
};

// A page that shows what one engine's scan found, each record with a check box.
class ScanListPage : public CleanupWizardPage {
 public:
  // Runs the engine's scan under the progress box and refills the list, all records checked.
  void ScanAndFill();
  // The list's check marks into the records' `selected`; records without an item are
  // deselected, so that nothing the user never saw is removed.
  void StoreCheckStates();
  HWND List() const { return Item(layout_.listId); }

 protected:
  ScanListPage(CleanupWizardApp& app, const ListPageLayout& layout);
  bool OnInitDialog() override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;

  virtual void Scan() = 0;
  virtual size_t RecordCount() = 0;
  virtual std::string ItemText(size_t record) = 0;
  virtual bool RecordSelected(size_t record) = 0;
  virtual void SetRecordSelected(size_t record, bool selected) = 0;
  virtual std::string DetailsText(size_t record) = 0;

 private:
  void OnListItemChanged(const NMLISTVIEW& change);

  CleanupWizardApp& app_;
  ListPageLayout layout_;
};

// The list page of one engine list: its scan, its records and their `selected` marks. What an
// item and the details say is the page's own.
template <typename EngineList>
class EngineListPage : public ScanListPage {
 protected:
  EngineListPage(CleanupWizardApp& app, const ListPageLayout& layout, EngineList& list)
      : ScanListPage(app, layout), list_(list) {}

  void Scan() override { list_.Scan(); }
  size_t RecordCount() override { return list_.Items().size(); }
  bool RecordSelected(size_t record) override { return list_.Items()[record].selected; }
  void SetRecordSelected(size_t record, bool selected) override {
    list_.Items()[record].selected = selected;
  }

  EngineList& list_;
};

class DeviceInstanceListPage : public EngineListPage<DeviceInstanceList> {
 public:
  explicit DeviceInstanceListPage(CleanupWizardApp& app);

 protected:
  std::string ItemText(size_t record) override;
  std::string DetailsText(size_t record) override;
};

// The kit's INF files, then the certificates that made their packages trusted: records of the
// INF file list first, then those of the certificate list, in one list.
class InfFileListPage : public ScanListPage {
 public:
  explicit InfFileListPage(CleanupWizardApp& app);

 protected:
  void Scan() override;
  size_t RecordCount() override;
  std::string ItemText(size_t record) override;
  bool RecordSelected(size_t record) override;
  void SetRecordSelected(size_t record, bool selected) override;
  std::string DetailsText(size_t record) override;

 private:
  // The certificate of a record past the INF files, else null.
  CertificateRecord* Certificate(size_t record);

  InfFileList& infFiles_;
  KitCertificateList& certificates_;
};

class CleanupResultsPage : public CleanupWizardPage {
 public:
  explicit CleanupResultsPage(CleanupWizardApp& app);
  // The headline and the report from the engines' result records.
  // The lists of the tasks that took part in the removal run give their entries.
  void BuildReport(bool devicesTookPart, bool infFilesTookPart);

 protected:
  bool OnInitDialog() override;

 private:
  CleanupWizardApp& app_;
};

// The platform's text for an error code, without the white space around it; empty when it has
// none.
std::string GetSystemMessageText(unsigned long code);

// The small box with red text that shows while a scan runs.
class ScanProgressBox : public Dialog {
 public:
  ScanProgressBox();
  void ShowWithText(HWND parent, const std::string& text);

 protected:
  void OnOk() override {}
  void OnCancel() override {}
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
};

class CleanupAboutBox : public Dialog {
 public:
  CleanupAboutBox();
};

}  // namespace korva
