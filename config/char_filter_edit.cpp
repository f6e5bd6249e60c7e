// CCharFilterEdit: typed characters filtered by class.
#include "char_filter_edit.h"

BOOL CCharFilterEdit::SubclassEdit(UINT id, pairway::ui::CWnd* parent, WORD allowed_classes) {
  m_nAllowedClasses = allowed_classes;
  return SubclassDlgItem(id, parent);
}

WORD CCharFilterEdit::CharClass(UINT character) {
  if (character < 0x20) return 0xFFFF;
  if (character >= '0' && character <= '9') return kCharClassDigit;
  if ((character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z')) {
    return kCharClassLetter;
  }
  if (character == '-') return kCharClassMinus;
  if (character == ' ') return 0x16;
  return kCharClassOther;
}

void CCharFilterEdit::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) {
  if ((CharClass(nChar) & m_nAllowedClasses) != 0) {
    CEdit::OnChar(nChar, nRepCnt, nFlags);
    return;
  }
  // The parent hears of the refused character as a command from this control, the handle in
  // lParam marked by its top bit; it may answer -1 to keep the control quiet.
  LRESULT answer = 0;
  if (pairway::ui::CWnd* parent = GetParent()) {
    DWORD handle = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(GetSafeHwnd()) & 0xFFFF);
    LPARAM marked = static_cast<LPARAM>(static_cast<LONG>(handle | 0x80000000u));
    answer = parent->SendCommand(MAKEWPARAM(GetDlgCtrlID(), 0), marked);
  }
  if (answer != -1) MessageBeep(MB_ICONQUESTION);
}

void CCharFilterEdit::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  switch (nChar) {
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_F4:
      PassKeyToParent();
      return;
    default:
      CEdit::OnKeyDown(nChar, nRepCnt, nFlags);
  }
}

UINT CCharFilterEdit::OnGetDlgCode() { return DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_WANTTAB; }
