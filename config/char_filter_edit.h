// char_filter_edit.h: an edit control that lets only chosen classes of typed characters through.
//
// Each character falls into a class, a bit mask:
//
//   control characters (below 0x20)   every bit: always accepted, so Backspace and the editing
//                                     shortcuts (Ctrl+C, Ctrl+V, ...) keep working
//   '0' to '9'                        0x01
//   'A' to 'Z', 'a' to 'z'            0x02
//   anything else                     0x04
//   '-'                               0x08
//   a blank                           0x16 (it goes with letters and other characters)
//
// A typed character is accepted when its class shares a bit with m_nAllowedClasses. A rejected
// one is dropped: the control tells its parent with a WM_COMMAND (its id, notification code 0)
// and, unless the parent answers -1, beeps (MB_ICONQUESTION). Only typed characters are looked
// at: text pasted or set by the program goes in unchanged.
//
// The control wants every key (WM_GETDLGCODE answers DLGC_WANTCHARS | DLGC_WANTALLKEYS |
// DLGC_WANTTAB) and hands Tab, Return, Escape, Page Up, Page Down and F4 back to the dialog, so
// those keys move the focus, press the default button, cancel or change pages as anywhere else.
//
// Ownership: a member of its dialog; attached to the dialog's control by SubclassEdit while the
// dialog is shown. Threads: the dialog's thread.
#ifndef AGGCFG_CHAR_FILTER_EDIT_H
#define AGGCFG_CHAR_FILTER_EDIT_H

#include <windows.h>

#include "pairway/ui/controls.h"

// Character classes for m_nAllowedClasses.
constexpr WORD kCharClassDigit = 0x01;
constexpr WORD kCharClassLetter = 0x02;
constexpr WORD kCharClassOther = 0x04;
constexpr WORD kCharClassMinus = 0x08;

class CCharFilterEdit : public pairway::ui::CEdit {
 public:
  // The classes let through; set by SubclassEdit.
  WORD m_nAllowedClasses = 0;

  // Stores `allowed_classes` and attaches this object to control `id` of `parent`. FALSE when
  // the parent has no such control.
  BOOL SubclassEdit(UINT id, pairway::ui::CWnd* parent, WORD allowed_classes);

  // The class of character `character`.
  static WORD CharClass(UINT character);

  void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) override;
  void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) override;
  UINT OnGetDlgCode() override;
};

#endif  // AGGCFG_CHAR_FILTER_EDIT_H
