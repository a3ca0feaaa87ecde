#include "cleanup/ui/cleanup_wizard_pages.h"

#include <commctrl.h>

#include <cstdio>
#include <ctime>

#include "cleanup/cleanup_wizard_app.h"
#include "cleanup/core/cleanup_wizard_texts.h"
#include "common/list_view.h"
#include "common/message_pump.h"
#include "common/run_log.h"
#include "common/unique_resource.h"
#include "res/cleanup_resource.h"

namespace korva {

namespace {

const char kScanning[] = "Scanning ...";
const char kDetailLabel[] = "Detailed information on the highlighted item:";

const ListPageLayout kDeviceLayout = {
    IDD_DEVICE_INSTANCE_LIST,
    kDeviceInstanceListPageKind,
    IDC_DEVICE_HEADER,
    IDC_DEVICE_LIST,
    IDC_DEVICE_DETAIL_LABEL,
    IDC_DEVICE_DETAILS,
    "Scanning device instances\navailable in the registry ...",
    "The following KORVA device instances are present in the registry.\nThe checked items will "
    "be removed.",
    "There are no KORVA device instances in the registry.",
};

const ListPageLayout kInfLayout = {
    IDD_INF_FILE_LIST,
    kInfFileListPageKind,
    IDC_INF_HEADER,
    IDC_INF_LIST,
    IDC_INF_DETAIL_LABEL,
    IDC_INF_DETAILS,
    "Scanning .inf files ...\nThis may take a few seconds.",
    "The following INF files related to KORVA are in existence.\nThe checked items will be "
    "removed as soon as you click Next.",
    "There are no INF files related to KORVA in existence.",
};

// "%#x, %X" in the current locale; empty when the time can't be converted or does not fit.
std::string FormatFileTime(const FILETIME& universal) {
  FILETIME local;
  SYSTEMTIME time;
  if (!FileTimeToLocalFileTime(&universal, &local) || !FileTimeToSystemTime(&local, &time)) {
    return "";
  }
  std::tm parts{};
  parts.tm_year = time.wYear - 1900;
  parts.tm_mon = time.wMonth - 1;
  parts.tm_mday = time.wDay;
  parts.tm_hour = time.wHour;
  parts.tm_min = time.wMinute;
  parts.tm_sec = time.wSecond;
  parts.tm_wday = time.wDayOfWeek;
  parts.tm_isdst = -1;
  char text[128];
  if (std::strftime(text, sizeof(text), "%#x, %X", &parts) == 0) return "";
  return text;
}

bool IsZero(const FILETIME& time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; }

}  // namespace

// Welcome and task page ----------------------------------------------------------------------

WelcomeTaskPage::WelcomeTaskPage(CleanupWizardApp& app)
    : CleanupWizardPage(IDD_WELCOME_TASK, kWelcomeTaskPageKind), app_(app) {}

bool WelcomeTaskPage::OnInitDialog() {
  SetItemText(IDC_WELCOME_TEXT, CleanupWelcomeText(app_.IsNt5OrLater()));
  SetItemText(IDC_REGISTRY_TEXT,
              "The wizard will remove all KORVA device instances from the registry.");
  SetItemText(IDC_INF_FILES_TEXT,
              "The wizard will remove all INF files associated with KORVA from your system.");
  SetItemText(IDC_CLOSING_TEXT,
              "To continue, click Next.\nYou can end the wizard at any time by clicking Cancel.");
  cleanupRegistry_ = true;
  cleanupInfFiles_ = true;
  CheckDlgButton(Window(), IDC_CLEANUP_REGISTRY, BST_CHECKED);
  CheckDlgButton(Window(), IDC_CLEANUP_INF_FILES, BST_CHECKED);
  return true;
}

void WelcomeTaskPage::OnCommand(int id, int code) {
  if (code == BN_CLICKED && (id == IDC_CLEANUP_INF_FILES || id == IDC_CLEANUP_REGISTRY)) {
    OnTaskCheckBoxClicked();
  }
}

void WelcomeTaskPage::OnTaskCheckBoxClicked() {
  cleanupInfFiles_ = IsDlgButtonChecked(Window(), IDC_CLEANUP_INF_FILES) == BST_CHECKED;
  cleanupRegistry_ = IsDlgButtonChecked(Window(), IDC_CLEANUP_REGISTRY) == BST_CHECKED;
  RequestButtonUpdate();
}

// List pages ---------------------------------------------------------------------------------

ScanListPage::ScanListPage(CleanupWizardApp& app, const ListPageLayout& layout)
    : CleanupWizardPage(layout.templateId, layout.pageKind), app_(app), layout_(layout) {}

bool ScanListPage::OnInitDialog() {
  HWND list = List();
  DWORD style = ListView_GetExtendedListViewStyle(list);
  ListView_SetExtendedListViewStyle(list, style | LVS_EX_CHECKBOXES);
  RECT client{};
  GetClientRect(list, &client);
  LVCOLUMNA column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = client.right - client.left - 20;
  column.pszText = const_cast<char*>("");
  SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  SetItemText(layout_.headerId, kScanning);
  SetItemText(layout_.detailLabelId, kDetailLabel);
  EnableWindow(Item(layout_.detailLabelId), FALSE);
  return true;
}

void ScanListPage::ScanAndFill() {
  HWND list = List();
  SetItemText(layout_.headerId, kScanning);
  EnableWindow(Item(layout_.detailLabelId), FALSE);
  ListView_DeleteAllItems(list);
  SetItemText(layout_.detailBoxId, "");
  PumpPendingMessages();

  ScanProgressBox progress;
  progress.ShowWithText(app_.MainWindow(), layout_.progressText);
  HCURSOR kept = SetCursor(LoadCursorA(nullptr, IDC_WAIT));

  Scan();
  size_t count = RecordCount();
  ReportListView rows(list);
  for (size_t i = 0; i < count; ++i) {
    int row = rows.AppendRow({ItemText(i)}, static_cast<int>(i));
    if (row < 0) continue;  // that record gets no item
    rows.SetItemData(row, static_cast<LPARAM>(i));
    ListView_SetCheckState(list, row, RecordSelected(i));
  }

  const char* header = layout_.noneFoundHeader;
  if (count != 0) {
    EnableWindow(Item(layout_.detailLabelId), TRUE);
    header = layout_.foundHeader;
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetSelectionMark(list, 0);
    ListView_EnsureVisible(list, 0, FALSE);
    SendMessageA(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
  }
  SetItemText(layout_.headerId, header);
  if (progress.Window()) DestroyWindow(progress.Window());
  SetCursor(kept);
}

void ScanListPage::StoreCheckStates() {
  size_t count = RecordCount();
  for (size_t record = 0; record < count; ++record) SetRecordSelected(record, false);
  ReportListView rows(List());
  int items = ListView_GetItemCount(rows.Window());
  for (int i = 0; i < items; ++i) {
    LPARAM record = rows.ItemData(i);
    if (record < 0 || static_cast<size_t>(record) >= count) continue;
    SetRecordSelected(static_cast<size_t>(record), ListView_GetCheckState(rows.Window(), i) != 0);
  }
}

bool ScanListPage::OnNotify(const NMHDR& header, LRESULT& result) {
  if (static_cast<int>(header.idFrom) != layout_.listId || header.code != LVN_ITEMCHANGED) {
    return false;
  }
  OnListItemChanged(reinterpret_cast<const NMLISTVIEW&>(header));
  result = 0;
  return true;
}

void ScanListPage::OnListItemChanged(const NMLISTVIEW& change) {
  if (!(change.uNewState & LVIS_SELECTED) || change.iItem < 0) return;
  LPARAM record = ReportListView(List()).ItemData(change.iItem);
  if (record < 0 || static_cast<size_t>(record) >= RecordCount()) return;
  SetItemText(layout_.detailBoxId, DetailsText(static_cast<size_t>(record)));
}

DeviceInstanceListPage::DeviceInstanceListPage(CleanupWizardApp& app)
    : EngineListPage(app, kDeviceLayout, app.DeviceInstances()) {}

std::string DeviceInstanceListPage::ItemText(size_t record) {
  return list_.Items()[record].description;
}
std::string DeviceInstanceListPage::DetailsText(size_t record) {
  const DeviceInstanceRecord& r = list_.Items()[record];
  return DeviceDetailsText(r.description, r.hardwareId, r.manufacturer, r.infPath);
}

InfFileListPage::InfFileListPage(CleanupWizardApp& app)
    : ScanListPage(app, kInfLayout), infFiles_(app.InfFiles()), certificates_(app.Certificates()) {}

void InfFileListPage::Scan() {
  infFiles_.Scan();
  certificates_.Scan();
}

size_t InfFileListPage::RecordCount() {
  return infFiles_.Items().size() + certificates_.Items().size();
}

CertificateRecord* InfFileListPage::Certificate(size_t record) {
  size_t files = infFiles_.Items().size();
  if (record < files || record - files >= certificates_.Items().size()) return nullptr;
  return &certificates_.Items()[record - files];
}

bool InfFileListPage::RecordSelected(size_t record) {
  if (CertificateRecord* certificate = Certificate(record)) return certificate->selected;
  return infFiles_.Items()[record].selected;
}

void InfFileListPage::SetRecordSelected(size_t record, bool selected) {
  if (CertificateRecord* certificate = Certificate(record)) {
    certificate->selected = selected;
  } else {
    infFiles_.Items()[record].selected = selected;
  }
}

std::string InfFileListPage::ItemText(size_t record) {
  if (CertificateRecord* certificate = Certificate(record)) {
    return CertificateItemText(certificate->commonName, certificate->store);
  }
  return infFiles_.Items()[record].name;
}

std::string InfFileListPage::DetailsText(size_t record) {
  if (CertificateRecord* certificate = Certificate(record)) {
    return CertificateDetailsText(certificate->store, certificate->subjectText,
                                  certificate->thumbprint, FormatFileTime(certificate->notAfter));
  }
  const InfFileRecord& file = infFiles_.Items()[record];
  if (!file.storeFolder.empty()) return StorePackageDetailsText(file.storeFolder, file.path);
  std::string size, created, modified, accessed;
  // By the file's own name: the ANSI form of a name may hold '?', which a search would take
  // for a wildcard and so show another file's details.
  WIN32_FILE_ATTRIBUTE_DATA found{};
  if (GetFileAttributesExW(FileOf(file).c_str(), GetFileExInfoStandard, &found)) {
    if (IsZero(found.ftCreationTime)) found.ftCreationTime = found.ftLastWriteTime;
    if (IsZero(found.ftLastAccessTime)) found.ftLastAccessTime = found.ftLastWriteTime;
    created = FormatFileTime(found.ftCreationTime);
    modified = FormatFileTime(found.ftLastWriteTime);
    accessed = FormatFileTime(found.ftLastAccessTime);
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%d", static_cast<int>(found.nFileSizeLow));
    size = FormatThousands(digits);
  }
  return InfDetailsText(file.path, size, created, modified, accessed);
}

// Results page -------------------------------------------------------------------------------

CleanupResultsPage::CleanupResultsPage(CleanupWizardApp& app)
    : CleanupWizardPage(IDD_CLEANUP_RESULTS, kCleanupResultsPageKind), app_(app) {}

bool CleanupResultsPage::OnInitDialog() {
  SetItemText(IDC_RESULTS_HEADLINE, "");
  return true;
}

void CleanupResultsPage::BuildReport(bool devicesTookPart, bool infFilesTookPart) {
  std::vector<RemovalOutcome> outcomes;
  // What a scan of this run could not examine comes first in its group: the kit may be there.
  auto notExamined = [&outcomes](const std::vector<NotExaminedRecord>& records, bool devices) {
    for (const NotExaminedRecord& r : records) {
      RemovalOutcome outcome;
      outcome.notExamined = NotExaminedEntryName(r.path, devices);
      outcome.error = r.error;
      outcomes.push_back(outcome);
    }
  };
  if (devicesTookPart) notExamined(app_.DeviceInstances().NotExamined(), true);
  for (const DeviceInstanceRecord& r : app_.DeviceInstances().Results()) {
    RemovalOutcome outcome;
    outcome.isDevice = true;
    outcome.description = r.description;
    outcome.hardwareId = r.hardwareId;
    outcome.error = r.error;
    outcome.restartNeeded = r.restartNeeded;
    outcomes.push_back(outcome);
  }
  if (infFilesTookPart) {
    notExamined(app_.InfFiles().NotExamined(), false);
    notExamined(app_.Certificates().NotExamined(), false);
  }
  for (const InfFileRecord& r : app_.InfFiles().Results()) {
    RemovalOutcome outcome;
    outcome.path = r.path;
    outcome.error = r.error;
    outcome.storeError = r.storeError;
    outcome.usedByDevice = r.usedByDevice;
    outcome.storePackage = r.storeFolder;
    outcome.notRemovable = r.notRemovable;
    outcome.restartNeeded = r.restartNeeded;
    outcomes.push_back(outcome);
  }
  for (const CertificateRecord& r : app_.Certificates().Results()) {
    RemovalOutcome outcome;
    outcome.isCertificate = true;
    outcome.certificate = CertificateItemText(r.commonName, r.store);
    outcome.error = r.error;
    outcome.signsPackageLeft = r.signsPackageLeft;
    outcomes.push_back(outcome);
  }
  for (const DriverServiceRecord& r : app_.DriverServices().Results()) {
    RemovalOutcome outcome;
    outcome.service = r.name;
    outcome.error = r.error;
    outcome.restartNeeded = r.restartNeeded;
    outcomes.push_back(outcome);
  }
  CleanupReport report = BuildCleanupReport(outcomes, GetSystemMessageText);
  report.report += RescanReportText(app_.LastRescan(), GetSystemMessageText);
  SetItemText(IDC_RESULTS_HEADLINE, report.headline);
  SetItemText(IDC_REPORT, report.report);
}

std::string GetSystemMessageText(unsigned long code) { return TrimSpace(SystemErrorText(code)); }

// Scan progress box and About box ------------------------------------------------------------

ScanProgressBox::ScanProgressBox() : Dialog(IDD_SCAN_PROGRESS) {}

void ScanProgressBox::ShowWithText(HWND parent, const std::string& text) {
  if (!Create(parent)) return;
  // Centred over the frame.
  RECT box, over;
  GetWindowRect(Window(), &box);
  GetWindowRect(parent ? parent : GetDesktopWindow(), &over);
  POINT at = {over.left + ((over.right - over.left) - (box.right - box.left)) / 2,
              over.top + ((over.bottom - over.top) - (box.bottom - box.top)) / 2};
  if (parent) ScreenToClient(parent, &at);
  SetWindowPos(Window(), HWND_TOP, at.x, at.y, 0, 0, SWP_NOSIZE);
  ShowWindow(Window(), SW_SHOWNORMAL);
  SetItemText(IDC_PROGRESS_TEXT, text);
  PumpPendingMessages();
}

bool ScanProgressBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message < WM_CTLCOLORMSGBOX || message > WM_CTLCOLORSTATIC) return false;
  // The default brush and colours, then the red text; the brush goes back directly.
  result = DefWindowProcA(Window(), message, wParam, lParam);
  SetTextColor(reinterpret_cast<HDC>(wParam), RGB(200, 10, 0));
  return true;
}

CleanupAboutBox::CleanupAboutBox() : Dialog(IDD_ABOUTBOX) {}

}  // namespace korva
