// The port aggregation property sheet.
#include "groups_config_sheet.h"

CGroupsConfigSheet::CGroupsConfigSheet(LPCSTR caption, pairway::ui::CWnd* parent, UINT select_page)
    : CPropertySheet(caption, parent, select_page) {
  AddPage(&m_groupsPage);
  AddPage(&m_statusPage);
}

CGroupsConfigSheet::~CGroupsConfigSheet() = default;
