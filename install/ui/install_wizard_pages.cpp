#include "install/ui/install_wizard_pages.h"

#include "install/engine/kit_check.h"

#include <cstdio>

#include "install/core/driver_catalog.h"
#include "install/core/install_wizard_texts.h"
#include "install/engine/kit_check.h"
#include "res/install_resource.h"
#include "res/version.h"

namespace korva {

namespace {

const ColumnSpec kDeviceColumns[] = {
    {"Manufacturer", LVCFMT_LEFT, 180, 0},
    {"Description", LVCFMT_LEFT, -1, 1},
    {nullptr, 0, 0, 0},
};

void ShowItem(HWND item, bool shown) { ShowWindow(item, shown ? SW_SHOW : SW_HIDE); }

}  // namespace

// Welcome and progress pages ------------------------------------------------------------------

WelcomePage::WelcomePage(InstallWizardApp& app)
    : InstallWizardPage(IDD_WELCOME, kWelcomePageKind), app_(app) {}

bool WelcomePage::OnInitDialog() {
  SetItemText(IDC_WELCOME_TEXT, WelcomeText(app_.IsNt5OrLater()));
  return true;
}

ProgressPage::ProgressPage() : InstallWizardPage(IDD_PROGRESS, kProgressPageKind) {}

bool ProgressPage::OnInitDialog() {
  SetItemText(IDC_PROGRESS_TEXT, kProgressText);
  return true;
}

// Device selection page ----------------------------------------------------------------------

DeviceSelectionPage::DeviceSelectionPage(InstallWizardApp& app)
    : InstallWizardPage(IDD_DEVICE_SELECTION, kDeviceSelectionPageKind), app_(app) {}

bool DeviceSelectionPage::OnInitDialog() {
  listView_.Attach(Item(IDC_DEVICE_LIST));
  DWORD style = ListView_GetExtendedListViewStyle(listView_.Window());
  ListView_SetExtendedListViewStyle(listView_.Window(), style | LVS_EX_FULLROWSELECT);
  listView_.SetColumns(kDeviceColumns);
  return true;
}

void DeviceSelectionPage::FillDeviceList() {
  UsbDeviceList& devices = app_.DeviceList();
  int result = devices.Enumerate(true);
  SetItemText(IDC_SELECTION_HEADER,
              result != 0 || devices.Items().empty() ? kNoDevicesHeader : kDevicesHeader);
  ListView_DeleteAllItems(listView_.Window());
  // No row is selected in the new list, so no hardware ID is shown either.
  SetItemText(IDC_HARDWARE_ID, "");
  const auto& items = devices.Items();
  for (size_t i = 0; i < items.size(); ++i) {
    std::string manufacturer;
    std::string description;
    devices.GetDeviceProperty(items[i]->devInfoData, SPDRP_MFG, manufacturer);
    if (manufacturer.empty()) manufacturer = kUnknownManufacturer;
    devices.GetDeviceProperty(items[i]->devInfoData, SPDRP_DEVICEDESC, description);
    int row = listView_.AppendRow({manufacturer, description});
    if (row >= 0) listView_.SetItemData(row, static_cast<LPARAM>(i));
  }
}

bool DeviceSelectionPage::HasSelection() const {
  return listView_.Window() && listView_.FirstSelectedRow() >= 0;
}

void DeviceSelectionPage::OnCommand(int id, int code) {
  if (id == IDC_REFRESH && code == BN_CLICKED) OnRefresh();
}

void DeviceSelectionPage::OnRefresh() {
  HCURSOR kept = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  FillDeviceList();
  SetCursor(kept);
  RequestButtonUpdate();
}

bool DeviceSelectionPage::OnNotify(const NMHDR& header, LRESULT& result) {
  if (header.idFrom != IDC_DEVICE_LIST || header.code != LVN_ITEMCHANGED) return false;
  OnListItemChanged();
  result = 0;
  return true;
}

void DeviceSelectionPage::OnListItemChanged() {
  std::string text;
  int row = listView_.FirstSelectedRow();
  if (row >= 0) {
    int index = static_cast<int>(listView_.ItemData(row));
    UsbDeviceList& devices = app_.DeviceList();
    devices.SetSelectedIndex(index);
    if (index >= 0 && static_cast<size_t>(index) < devices.Items().size()) {
      devices.GetDeviceProperty(devices.Items()[static_cast<size_t>(index)]->devInfoData,
                                SPDRP_HARDWAREID, text);
    }
    text = " " + DoubleAmpersands(text);
  }
  SetItemText(IDC_HARDWARE_ID, text);
  RequestButtonUpdate();
}

void DeviceSelectionPage::OnShowWindow(bool shown) {
  if (shown) {
    PostMessageA(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(listView_.Window()), TRUE);
  }
}

// Device details page ------------------------------------------------------------------------

DeviceDetailsPage::DeviceDetailsPage(InstallWizardApp& app)
    : InstallWizardPage(IDD_DEVICE_DETAILS, kDeviceDetailsPageKind), app_(app) {}

void DeviceDetailsPage::OnShowWindow(bool shown) {
  if (!shown) return;
  UsbDeviceList& devices = app_.DeviceList();
  UsbDeviceItem* item = devices.GetSelectedItem();
  if (!item) return;
  const SP_DEVINFO_DATA& element = item->devInfoData;

  // Every text the device or its driver supplies has its "&" doubled, so that the static
  // controls show it instead of taking it for a mnemonic mark.
  SetItemText(IDC_DETAILS_HEADER, kDetailsHeader);
  std::string text;
  devices.GetDeviceProperty(element, SPDRP_MFG, text);
  SetItemText(IDC_DETAIL_MANUFACTURER,
              text.empty() ? kUnknownManufacturer : DoubleAmpersands(text));
  devices.GetDeviceProperty(element, SPDRP_DEVICEDESC, text);
  SetItemText(IDC_DETAIL_DESCRIPTION, DoubleAmpersands(text));
  devices.GetDeviceProperty(element, SPDRP_HARDWAREID, text);
  SetItemText(IDC_DETAIL_HARDWARE_ID, DoubleAmpersands(text));
  devices.GetDeviceProperty(element, SPDRP_CLASS, text);
  SetItemText(IDC_DETAIL_CLASS, DoubleAmpersands(text));

  std::string provider, description, date, header;
  bool hasDriver = false;
  {
    UniqueRegKey key = devices.OpenDriverKey(element);
    if (key.Valid()) {
      hasDriver = true;
      devices.GetDriverValue(key.Get(), kProviderName, provider);
      devices.GetDriverValue(key.Get(), kDriverDesc, description);
      devices.GetDriverValue(key.Get(), kDriverDate, date);
      if (date.empty()) date = kDateNotAvailable;
      date = TrimLeadingSpace(date);
    }
  }
  header = hasDriver ? kDriverHeader : kNoDriverHeader;
  SetItemText(IDC_DRIVER_PROVIDER, DoubleAmpersands(provider));
  SetItemText(IDC_DRIVER_DESCRIPTION, DoubleAmpersands(description));
  SetItemText(IDC_DRIVER_DATE, DoubleAmpersands(date));
  for (int id :
       {IDC_DRIVER_GROUP, IDC_DRIVER_PROVIDER_LABEL, IDC_DRIVER_DESCRIPTION_LABEL,
        IDC_DRIVER_DATE_LABEL, IDC_DRIVER_PROVIDER, IDC_DRIVER_DESCRIPTION, IDC_DRIVER_DATE}) {
    ShowItem(Item(id), hasDriver);
  }
  SetItemText(IDC_DRIVER_HEADER, header);
  SetItemText(IDC_DETAILS_BOTTOM, DetailsBottomText(hasDriver));
}

// Finish page --------------------------------------------------------------------------------

FinishPage::FinishPage(InstallWizardApp& app)
    : InstallWizardPage(IDD_FINISH, kFinishPageKind), app_(app) {}

bool FinishPage::OnInitDialog() {
  SetItemText(IDC_SAVE_TEXT, kSaveInfText);
  SetItemText(IDC_RUN_TEXT, kRunDemoText);
  return true;
}

void FinishPage::OnShowWindow(bool shown) {
  if (!shown) return;
  bool succeeded = installResult_ == 0;
  EnableWindow(Item(IDC_SAVE_INF), succeeded);
  EnableWindow(Item(IDC_RUN_DEMO), succeeded);
  SetItemText(IDC_FINISH_RESULT, InstallResultText(installResult_, restartNeeded_));
}

void FinishPage::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  if (id == IDC_SAVE_INF) SaveInfFile();
  if (id == IDC_RUN_DEMO) RunDemoApplication();
}

bool FinishPage::Replace(const std::string& from, const std::string& to) {
  SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

void FinishPage::SaveInfFile() {
  const StagedDriverFiles& staged = app_.StagedFiles();
  if (staged[0].empty() && staged[1].empty()) return;
  SaveAsRequest request;
  request.defaultExtension = "inf";
  request.fileName = "korvawiz.inf";
  request.filter = "INF Files (*.inf)|*.inf|All Files (*.*)|*.*||";
  request.flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
  std::string destination;
  if (!app_.SaveAs().Ask(app_.MainWindow(), request, destination) || destination.empty()) return;
  for (char& c : destination) {
    if (c == '/') c = '\\';
  }
  if (!Replace(app_.Paths().infPath, destination)) {
    app_.ShowErrorBox(UnableToCreateMessage(destination));
    return;
  }
  // Beside it under their own names: the binaries, and the signed catalog the INF file names
  // with the certificate another machine must trust before it installs the package.
  std::vector<std::string> files;
  for (const std::string& file : staged) {
    if (!file.empty()) files.push_back(file);
  }
  files.push_back(kCatalogFileName);
  files.push_back(kCertificateFileName);
  for (const std::string& file : files) {
    size_t cut = destination.rfind('\\');
    if (cut != std::string::npos && cut > 0) destination.resize(cut);
    destination += "\\" + file;
    if (!Replace(app_.Paths().installFolder + "\\" + file, destination)) {
      app_.ShowErrorBox(UnableToCreateMessage(destination));
    }
  }
}

bool FinishPage::Start(const std::string& path) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &startup, &process)) {
    return false;
  }
  // The wizard does not wait for the application.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

void FinishPage::RunDemoApplication() {
  // It runs with the wizard's rights: only a demo program that administrators alone can change
  // is started, from the alternate folder only when that passes too.
  InstallKitCheck kit = CheckInstallKit(app_.Paths(), std::string(), app_.Trust());
  if (!kit.trusted) {
    app_.ShowErrorBox(KitNotTrustedMessage(kit.problem));
    return;
  }
  std::string path = app_.Paths().programFolder + "\\" + kDemoProgramFile;
  if (Start(path)) return;
  path = app_.Paths().alternateFolder + "\\" + kDemoProgramFile;
  if (kit.alternateUsable && Start(path)) return;
  app_.ShowErrorBox(UnableToExecuteMessage(path));
}

// About box ----------------------------------------------------------------------------------

InstallAboutBox::InstallAboutBox()
    : Dialog(IDD_ABOUTBOX),
      versionText_("Version " KORVAWIZ_VERSION_TEXT),
      copyrightText_(KORVA_COPYRIGHT_TEXT) {}

bool InstallAboutBox::OnInitDialog() {
  SetItemText(IDC_ABOUT_VERSION, versionText_);
  SetItemText(IDC_ABOUT_COPYRIGHT, copyrightText_);
  return true;
}

}  // namespace korva
