// controls.h: the control classes of the dialog framework, with the platform's control messages
// as member functions.
//
// A control object is attached to a widget that its dialog built from the template (see wnd.h);
// before that and after the dialog closed its calls do nothing and return the error value
// (LB_ERR, CB_ERR, 0, FALSE, empty text). Indexes count from 0.
//
// Notifications (to the parent's handlers, see wnd.h) and when they fire:
//   CButton    BN_CLICKED       a click, Space on the focused button, Return on the default one
//   CEdit      EN_CHANGE        every change of the text, the program's SetWindowText included
//   CListBox   LBN_SELCHANGE    the person changed the selection (not SetSel, not deletions)
//   CComboBox  CBN_SELCHANGE    the person chose an item (not SetCurSel)
//              CBN_EDITCHANGE   the person changed the text of an editable combo's edit field
//              CBN_CLOSEUP      the drop-down list closed (after the choice was taken over)
//
// Threads: GUI thread, except the text calls of CWnd (any thread).
#ifndef PAIRWAY_UI_CONTROLS_H
#define PAIRWAY_UI_CONTROLS_H

#include <string>

#include "pairway/api.h"
#include "pairway/ui/wnd.h"

class QLineEdit;

namespace pairway::ui {

class PAIRWAY_API CButton : public CWnd {
 protected:
  void OnAttached() override;
};

class PAIRWAY_API CStatic : public CWnd {};

// A single-line edit.
//
// Key strokes reach the control object before the edit processes them: OnKeyDown for every key,
// then OnChar for a key that types a character (control characters such as Backspace, 0x08, and
// Ctrl+V, 0x16, included). The base versions let the edit process the key; an override that
// does not call the base drops it. Which keys arrive is decided by OnGetDlgCode: without
// DLGC_WANTTAB the dialog takes Tab for itself, without DLGC_WANTALLKEYS it takes Return and
// Escape (its default button, Cancel). Text pasted or set by the program passes neither.
class PAIRWAY_API CEdit : public CWnd {
 public:
  // The modify flag: set by the person's edits, cleared by SetWindowText and SetModify(FALSE).
  BOOL GetModify() const;
  void SetModify(BOOL modified = TRUE);
  // Limits what the person can type or paste to `max_chars` characters (0: the platform's
  // maximum). A longer text already there or set by the program stays whole; the person can then
  // only shorten it. Pasted text is cut to the room that is left.
  void LimitText(int max_chars = 0);
  UINT GetLimitText() const;
  BOOL SetReadOnly(BOOL read_only = TRUE);
  BOOL IsReadOnly() const;
  // Selects characters start to end - 1; end -1 selects to the end; start -1 removes the
  // selection.
  void SetSel(int start, int end, BOOL no_scroll = FALSE);
  void GetSel(int& start, int& end) const;
  // Replaces the selection with `text` as if typed at once (sets the modify flag).
  void ReplaceSel(LPCSTR text);

  // ---- Overridables ----
  virtual void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  virtual void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
  // DLGC_* flags; the base answers DLGC_WANTCHARS | DLGC_WANTARROWS.
  virtual UINT OnGetDlgCode();

 protected:
  void OnAttached() override;
  // Hands the key being processed to the dialog's own keyboard handling instead of the edit:
  // Tab moves the focus, Return presses the default button, Escape cancels, other keys go to the
  // dialog's window (the platform's "parent's default window procedure").
  void PassKeyToParent();

 private:
  friend class EditKeyHook;
  enum class KeyFate { kProcess, kDrop, kToParent };
  QLineEdit* widget_as_edit() const;
  KeyFate key_fate_ = KeyFate::kProcess;
};

// A list box. With LBS_EXTENDEDSEL or LBS_MULTIPLESEL any number of items may be selected; the
// caret is the item with the focus rectangle.
class PAIRWAY_API CListBox : public CWnd {
 public:
  int GetCount() const;
  // Appends `text` (in sorted position with LBS_SORT); its index, or LB_ERR.
  int AddString(LPCSTR text);
  // Inserts at `index` (-1: at the end), never sorted; its index, or LB_ERR.
  int InsertString(int index, LPCSTR text);
  // The count left, or LB_ERR for an index out of range.
  int DeleteString(UINT index);
  void ResetContent();
  // The item's text; returns its length, or LB_ERR (buffer untouched) out of range. The buffer
  // must hold GetTextLen(index) + 1 characters.
  int GetText(int index, LPSTR buffer) const;
  int GetText(int index, std::string& text) const;
  int GetTextLen(int index) const;

  // The first item, after index `start` and wrapping round to the items up to it, whose text
  // begins with `prefix`, ignoring case; start -1 searches from the top. LB_ERR when none.
  int FindString(int start, LPCSTR prefix) const;
  // The same for the whole text, ignoring case.
  int FindStringExact(int start, LPCSTR text) const;

  // Multiple selection.
  int GetSelCount() const;
  // Fills `indexes` with at most `max_items` selected indexes in ascending order; their number.
  int GetSelItems(int max_items, int* indexes) const;
  // Selects or deselects item `index` (-1: every item). LB_ERR out of range.
  int SetSel(int index, BOOL select = TRUE);
  // > 0 when selected, 0 when not, LB_ERR out of range.
  int GetSel(int index) const;
  // Single selection: the selected item or LB_ERR; SetCurSel(-1) clears.
  int GetCurSel() const;
  int SetCurSel(int index);
  int GetCaretIndex() const;
  int SetCaretIndex(int index, BOOL scroll = TRUE);

  int SetItemData(int index, DWORD_PTR data);
  DWORD_PTR GetItemData(int index) const;  // LB_ERR out of range

 protected:
  void OnAttached() override;
};

// A combo box: CBS_DROPDOWNLIST (choose from the list only) or CBS_DROPDOWN (an edit field with
// a list).
class PAIRWAY_API CComboBox : public CWnd {
 public:
  int GetCount() const;
  // Add (at the end, or at the sorted position of CBS_SORT) or insert an item; the item's
  // position, CB_ERR for a bad index or no window, and CB_ERRSPACE when the list has no room
  // for another item (its item limit is reached): the list is then unchanged.
  int AddString(LPCSTR text);
  int InsertString(int index, LPCSTR text);
  // The most items the list holds (at least 0); the platform's list refuses an item once its
  // storage is used up, and this sets where that happens. Items beyond a lower limit are kept;
  // only adding more is refused. Without a call the list takes as many as memory allows.
  void SetItemLimit(int max_items);
  int GetItemLimit() const;
  int DeleteString(UINT index);
  void ResetContent();
  int GetLBText(int index, LPSTR buffer) const;
  int GetLBText(int index, std::string& text) const;
  int GetLBTextLen(int index) const;
  // As CListBox::FindString and FindStringExact, on the list's items.
  int FindString(int start, LPCSTR prefix) const;
  int FindStringExact(int start, LPCSTR text) const;
  // The selected item or CB_ERR. SetCurSel(-1) clears the selection and the edit field.
  int GetCurSel() const;
  int SetCurSel(int index);
  int SetItemData(int index, DWORD_PTR data);
  DWORD_PTR GetItemData(int index) const;
  // Limits what the person types into the edit field (0: no limit); TRUE. Text the program
  // sets, or an item chosen from the list, is not cut.
  BOOL LimitText(int max_chars);
  // Selects characters start to end - 1 of the edit field (end -1: to the end).
  BOOL SetEditSel(int start, int end);
  BOOL GetDroppedState() const;
  void ShowDropDown(BOOL show = TRUE);

 protected:
  void OnAttached() override;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_CONTROLS_H
