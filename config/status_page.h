// status_page.h: the "Status" page of the property sheet: the ports and groups in a tree, each
// port marked with its link state, and the byte counters of the selected port or group.
//
// The figures come from the statistics entry point of the maker's library, which the
// configuration entry point loads before the sheet opens (CGroupsConfigApp::m_statisticsLibrary
// and m_statisticsEntry). While the page is the active page a worker thread asks it every 700 ms:
// the selected item's two counters, then every port's link state.
//
// Threads. The page and its controls belong to the dialog thread. The worker reads the tree and
// writes the fields and the item images through the controls' any-thread calls, which run on the
// dialog thread while the worker waits; so the dialog thread, whenever it waits for the worker to
// end, keeps dispatching its events (StopWorker). The worker reads the application's lists and
// the tree item handles stored before it started, and nothing changes them until it has ended.
//
// Lifetime: a member of the property sheet; the application object's lists must outlive it.
#ifndef AGGCFG_STATUS_PAGE_H
#define AGGCFG_STATUS_PAGE_H

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "config_records.h"
#include "pairway/ui/controls.h"
#include "pairway/ui/gui_thread.h"
#include "pairway/ui/property_sheet.h"
#include "pairway/ui/tree_ctrl.h"
#include "resource_ids.h"

// The statistics entry point of the maker's library: query code, group name (group queries),
// instance name (port queries), two zeros, the 32-bit result (0 before the call) and its length
// (4 before the call). Non-zero on success.
typedef int(WINAPI* STATISTICS_ENTRY)(DWORD code, LPCSTR group, LPCSTR port, DWORD reserved1,
                                      DWORD reserved2, DWORD* result, DWORD* length);

// The query codes the page asks.
enum StatisticsCode : DWORD {
  kStatGroupBytesSent = 10,
  kStatGroupBytesReceived = 12,
  kStatPortBytesSent = 25,
  kStatPortBytesReceived = 27,
  kStatPortLinkState = 30,  // 1: the port has its link
};

// The dialog template of the page (resource 109) and its controls.
enum : int {
  IDD_STATUS_PAGE = 109,
  IDC_STATUS_TREE = 1012,
  IDC_BYTES_RECEIVED = 1013,
  IDC_BYTES_TRANSMITTED = 1014,
};
extern const pairway::ui::DialogTemplate kStatusPageTemplate;

// A stand-alone port shown in the tree.
class CPortItem : public pairway::ui::CObject {
 public:
  std::string m_name;  // instance name
  HTREEITEM m_treeItem = nullptr;
};

class CStatusPage : public pairway::ui::CPropertyPage {
 public:
  CStatusPage();
  ~CStatusPage() override;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnKillActive() override;
  void OnOK() override;
  void OnCancel() override;
  void DoDataExchange(pairway::ui::CDataExchange* pDX) override;
  // F1: help on the focused control; Shift+F1: the page's general topic.
  LRESULT OnCommandHelp(WPARAM wParam, LPARAM lParam) override;
  LRESULT OnHelpHitTest(WPARAM wParam, LPARAM lParam) override;
  DWORD GetHelpContext() const override;

  // The worker's procedure; `page` is the page. Returns 0.
  static UINT PortStatsThread(LPVOID page);

  // ---- Controls and data ----
  pairway::ui::CEdit m_transmittedField;                          // 1014
  pairway::ui::CEdit m_receivedField;                             // 1013
  pairway::ui::CTreeCtrl m_tree;                                  // 1012
  std::string m_receivedText;                                     // last figure shown in 1013
  std::string m_transmittedText;                                  // last figure shown in 1014
  std::vector<std::unique_ptr<GroupRecord>>* m_groups = nullptr;  // the application's, borrowed
  std::vector<std::unique_ptr<StandalonePortRecord>>* m_standalonePorts = nullptr;
  std::vector<std::unique_ptr<CPortItem>> m_portItems;  // while the page is active
  pairway::ui::CImageList m_imageList;
  // Positions in the image list of icons 134, 133, 135 and 136.
  int m_imageScreen = -1, m_imageScreenFailed = -1, m_imagePortUp = -1, m_imagePortDown = -1;
  pairway::ui::CWinThread* m_worker = nullptr;  // owned while it runs
  std::atomic<int> m_running{0};                // 1 while the worker must go on

 private:
  void FillTree();
  void StartWorker();
  // Tells the worker to end and waits for it, dispatching the dialog thread's events meanwhile.
  void StopWorker();
  void DeletePortItems();
  // One cycle of the worker: the selection's figures, then the ports' link states.
  void RefreshOnce();
  void ShowPortState(const std::string& port, HTREEITEM item);
  // Asks the entry point; shows a figure in its field on success and returns the result. Without
  // the library (or its entry point) the worker is told to stop and the person is told why.
  DWORD AskStatistics(DWORD code, LPCSTR group, LPCSTR port);

  HANDLE m_wakeWorker = nullptr;  // set to cut the worker's pause short when it must stop
};

#endif  // AGGCFG_STATUS_PAGE_H
