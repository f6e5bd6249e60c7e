// The "Status" page: the tree of ports and groups, the worker that refreshes it, and its help.
#include "status_page.h"

#include <string.h>

#include "groups_config_app.h"
#include "help_contexts.h"
#include "registry_layout.h"

using pairway::ui::CDataExchange;
using pairway::ui::ControlKind;
using pairway::ui::DialogControl;
using pairway::ui::DialogTemplate;

namespace {

const DialogControl kStatusControls[] = {
    {IDC_STATIC, ControlKind::kGroupBox, "", 7, 26, 150, 140},
    {IDC_STATUS_TREE, ControlKind::kTreeView, nullptr, 14, 37, 136, 122,
     TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP},
    {IDC_STATIC, ControlKind::kGroupBox, "", 165, 26, 124, 84},
    {IDC_STATIC, ControlKind::kText, "Bytes Received:", 173, 40, 100, 8},
    {IDC_BYTES_RECEIVED, ControlKind::kEdit, "", 173, 51, 100, 12, ES_READONLY | WS_TABSTOP},
    {IDC_STATIC, ControlKind::kText, "Bytes Transmitted:", 173, 73, 100, 8},
    {IDC_BYTES_TRANSMITTED, ControlKind::kEdit, "", 173, 84, 100, 12, ES_READONLY | WS_TABSTOP},
    {IDC_STATIC, ControlKind::kBitmap, nullptr, 7, 5, 64, 15, 0, IDB_BANNER},
    {IDC_STATIC, ControlKind::kBitmap, nullptr, 211, 122, 32, 30, 0, IDB_PORTS_PICTURE},
};

// The worker's pause between two cycles.
constexpr DWORD kCyclePauseMs = 700;
// Room for an item's text: longer names are cut to one less than this.
constexpr int kItemTextRoom = 30;
// Longest figure a field takes: a 32-bit count in decimal.
constexpr int kFigureChars = 10;

const HelpContext kHelpContexts[] = {
    {IDOK, 19},
    {IDCANCEL, 20},
    {1005, 21},
    {pairway::ui::ID_APPLY_NOW, 21},  // the sheet's own Apply button
    {IDC_STATUS_TREE, 14},
    {IDC_BYTES_RECEIVED, 15},
    {IDC_BYTES_TRANSMITTED, 16},
};

bool IsPortName(const char* text) {
  return strncmp(text, TREVAN_PRODUCT_NAME, sizeof(TREVAN_PRODUCT_NAME) - 1) == 0;
}

}  // namespace

const DialogTemplate kStatusPageTemplate{IDD_STATUS_PAGE, "Status", 296, 173, kStatusControls};

CStatusPage::CStatusPage()
    : CPropertyPage(kStatusPageTemplate),
      m_wakeWorker(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CStatusPage::~CStatusPage() {
  // The sheet stops the worker before it closes; this only guards a page destroyed otherwise.
  StopWorker();
  if (m_wakeWorker != nullptr) CloseHandle(m_wakeWorker);
}

void CStatusPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_BYTES_TRANSMITTED, m_transmittedField);
  DDX_Control(pDX, IDC_BYTES_RECEIVED, m_receivedField);
  DDX_Control(pDX, IDC_STATUS_TREE, m_tree);
  DDX_Text(pDX, IDC_BYTES_RECEIVED, m_receivedText);
  DDV_MaxChars(pDX, m_receivedText, kFigureChars);
  DDX_Text(pDX, IDC_BYTES_TRANSMITTED, m_transmittedText);
  DDV_MaxChars(pDX, m_transmittedText, kFigureChars);
}

BOOL CStatusPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_groups = &theApp.m_groups;
  m_standalonePorts = &theApp.m_standalonePorts;
  m_imageList.Create(16, 16, 0, 4, 0);
  m_imageScreen = m_imageList.Replace(-1, theApp.LoadIcon(IDI_SCREEN));
  m_imageScreenFailed = m_imageList.Replace(-1, theApp.LoadIcon(IDI_SCREEN_FAILED));
  m_imagePortUp = m_imageList.Replace(-1, theApp.LoadIcon(IDI_PORT_UP));
  m_imagePortDown = m_imageList.Replace(-1, theApp.LoadIcon(IDI_PORT_DOWN));
  SetModified(FALSE);
  m_tree.SetImageList(&m_imageList, TVSIL_NORMAL);
  return TRUE;
}

BOOL CStatusPage::OnSetActive() {
  const BOOL active = CPropertyPage::OnSetActive();
  FillTree();
  StartWorker();
  return active;
}

BOOL CStatusPage::OnKillActive() {
  StopWorker();
  m_tree.DeleteItem(TVI_ROOT);
  DeletePortItems();
  return CPropertyPage::OnKillActive();
}

void CStatusPage::OnOK() {
  m_running = 0;
  CPropertyPage::OnOK();
}

void CStatusPage::OnCancel() {
  StopWorker();
  DeletePortItems();
  CPropertyPage::OnCancel();
}

// Stand-alone ports first, in port order; then each group with its ports in port order.
void CStatusPage::FillTree() {
  if (m_standalonePorts != nullptr && !m_standalonePorts->empty()) {
    std::vector<std::string> names;
    for (const auto& record : *m_standalonePorts) names.push_back(record->m_name);
    CGroupsConfigApp::SortPortNames(&names);
    for (const std::string& name : names) {
      auto item = std::make_unique<CPortItem>();
      item->m_name = name;
      item->m_treeItem = m_tree.InsertItem(name.c_str(), TVI_ROOT, TVI_LAST);
      m_tree.SetItemImage(item->m_treeItem, m_imagePortUp, m_imagePortUp);
      m_portItems.push_back(std::move(item));
    }
  }
  if (m_groups == nullptr) return;
  for (const auto& group : *m_groups) {
    group->m_treeItem = m_tree.InsertItem(group->m_name.c_str(), TVI_ROOT, TVI_LAST);
    group->m_portTreeItems.assign(group->m_ports.size(), nullptr);
    std::vector<std::string> names = group->m_ports;
    CGroupsConfigApp::SortPortNames(&names);
    for (const std::string& name : names) {
      HTREEITEM item = m_tree.InsertItem(name.c_str(), group->m_treeItem, TVI_LAST);
      m_tree.SetItemImage(item, m_imagePortUp, m_imagePortUp);
      for (size_t i = 0; i < group->m_ports.size(); ++i) {
        if (group->m_ports[i] == name && group->m_portTreeItems[i] == nullptr) {
          group->m_portTreeItems[i] = item;
          break;
        }
      }
    }
  }
}

void CStatusPage::DeletePortItems() { m_portItems.clear(); }

void CStatusPage::StartWorker() {
  StopWorker();
  m_running = 1;
  if (m_wakeWorker != nullptr) ResetEvent(m_wakeWorker);
  m_worker = pairway::ui::AfxBeginThread(PortStatsThread, this, THREAD_PRIORITY_NORMAL, 0,
                                         CREATE_SUSPENDED);
  if (m_worker == nullptr) {
    m_running = 0;
    return;
  }
  m_worker->m_bAutoDelete = FALSE;
  m_worker->ResumeThread();
}

void CStatusPage::StopWorker() {
  m_running = 0;
  if (m_worker == nullptr) return;
  if (m_wakeWorker != nullptr) SetEvent(m_wakeWorker);
  pairway::ui::WaitWhileDispatching(m_worker->m_hThread, 10);
  delete m_worker;
  m_worker = nullptr;
}

UINT CStatusPage::PortStatsThread(LPVOID param) {
  auto* page = static_cast<CStatusPage*>(param);
  if (page == nullptr) return 0;
  while (page->m_running == 1) {
    page->RefreshOnce();
    // The pause ends early when the page stops the worker, so leaving the page never waits
    // out a whole pause.
    if (page->m_wakeWorker != nullptr) {
      WaitForSingleObject(page->m_wakeWorker, kCyclePauseMs);
    } else {
      Sleep(kCyclePauseMs);
    }
  }
  return 0;
}

void CStatusPage::RefreshOnce() {
  HTREEITEM selected = m_tree.GetSelectedItem();
  if (selected != nullptr) {
    char text[kItemTextRoom] = {};
    m_tree.GetItemText(selected, text, sizeof text);
    if (text[0] != '\0') {
      if (IsPortName(text)) {
        AskStatistics(kStatPortBytesSent, nullptr, text);
        AskStatistics(kStatPortBytesReceived, nullptr, text);
      } else {
        AskStatistics(kStatGroupBytesSent, text, nullptr);
        AskStatistics(kStatGroupBytesReceived, text, nullptr);
      }
    }
  }
  for (const auto& item : m_portItems) ShowPortState(item->m_name, item->m_treeItem);
  if (m_groups == nullptr) return;
  for (const auto& group : *m_groups) {
    for (size_t i = 0; i < group->m_ports.size() && i < group->m_portTreeItems.size(); ++i) {
      ShowPortState(group->m_ports[i], group->m_portTreeItems[i]);
    }
  }
}

void CStatusPage::ShowPortState(const std::string& port, HTREEITEM item) {
  const int image = AskStatistics(kStatPortLinkState, nullptr, port.c_str()) == 1 ? m_imagePortUp
                                                                                  : m_imagePortDown;
  if (item != nullptr) m_tree.SetItemImage(item, image, image);
}

DWORD CStatusPage::AskStatistics(DWORD code, LPCSTR group, LPCSTR port) {
  // A library that loaded without the entry point leaves the page nothing to call either.
  if (theApp.m_statisticsLibrary == nullptr || theApp.m_statisticsEntry == nullptr) {
    m_running = 0;
    theApp.DoMessageBox("SPREADAG.DLL Not Found!!!", MB_OK, 0);
    return 0;
  }
  auto entry = reinterpret_cast<STATISTICS_ENTRY>(theApp.m_statisticsEntry);
  DWORD result = 0, length = sizeof result;
  const int answered = entry(code, group, port, 0, 0, &result, &length);
  if (code == kStatPortLinkState || !answered) return result;
  const std::string figure = std::to_string(result);
  const bool sent = code == kStatGroupBytesSent || code == kStatPortBytesSent;
  // The text and the field change together on the dialog thread, which also reads the text.
  pairway::ui::RunOnGuiThread([&] {
    (sent ? m_transmittedText : m_receivedText) = figure;
    (sent ? m_transmittedField : m_receivedField).SetWindowText(figure.c_str());
  });
  return result;
}

LRESULT CStatusPage::OnCommandHelp(WPARAM, LPARAM) {
  theApp.WinHelp(GetHelpContext(), HELP_CONTEXT);
  return TRUE;
}

LRESULT CStatusPage::OnHelpHitTest(WPARAM, LPARAM) { return kGeneralHelpContext; }

DWORD CStatusPage::GetHelpContext() const { return HelpContextOfFocus(kHelpContexts); }
