// groups_config_sheet.h: the port aggregation property sheet that the configuration entry point
// shows: the "Configuration" page first, the "Status" page second.
//
// Ownership: made on the heap by the entry point for one modal showing and deleted after it; it
// owns its pages (members), destroyed in reverse order: the status page, the groups page, then
// the sheet. Threads: the thread that runs the sheet.
#ifndef AGGCFG_GROUPS_CONFIG_SHEET_H
#define AGGCFG_GROUPS_CONFIG_SHEET_H

#include <windows.h>

#include "groups_config_page.h"
#include "pairway/ui/property_sheet.h"
#include "status_page.h"

class CGroupsConfigSheet : public pairway::ui::CPropertySheet {
 public:
  // `caption` is copied; `parent` may be null; the sheet opens on page `select_page`.
  CGroupsConfigSheet(LPCSTR caption, pairway::ui::CWnd* parent = nullptr, UINT select_page = 0);
  ~CGroupsConfigSheet() override;

  CGroupsConfigPage& groups_page() { return m_groupsPage; }
  CStatusPage& status_page() { return m_statusPage; }

 private:
  // Declared in page order, so the status page goes first when the sheet is destroyed.
  CGroupsConfigPage m_groupsPage;
  CStatusPage m_statusPage;
};

#endif  // AGGCFG_GROUPS_CONFIG_SHEET_H
