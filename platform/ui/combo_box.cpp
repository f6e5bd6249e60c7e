// CComboBox on a QComboBox. Qt reports the program's own changes too; only the person's are
// notifications here, so each call that changes the box blocks its signals.
#include <QAbstractItemView>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>

#include "pairway/ui/controls.h"
#include "widgets.h"

namespace pairway::ui {
namespace {

ComboWidget* ComboOf(const CWnd* window) { return dynamic_cast<ComboWidget*>(window->widget()); }

bool InRange(const QComboBox* combo, int index) { return index >= 0 && index < combo->count(); }

int SortedPosition(const QComboBox* combo, const QString& text) {
  int position = 0;
  while (position < combo->count() &&
         combo->itemText(position).compare(text, Qt::CaseInsensitive) <= 0) {
    ++position;
  }
  return position;
}

// Inserting into a Qt combo box that had no selection selects the new item; the platform's
// combo box keeps having none. False, and nothing changed, when the list is full.
bool InsertKeepingSelection(ComboWidget* combo, int position, const QString& text) {
  if (combo->count() >= combo->item_limit) return false;
  QSignalBlocker quiet(combo);
  int selected = combo->currentIndex();
  QString edit_text = combo->isEditable() ? combo->currentText() : QString();
  int before = combo->count();
  combo->insertItem(position, text);
  if (combo->count() == before) return false;  // Qt's own limit (maxCount) refused it
  if (selected < 0) {
    combo->setCurrentIndex(-1);
    if (combo->isEditable()) combo->setEditText(edit_text);
  }
  return true;
}

}  // namespace

void CComboBox::OnAttached() {
  ComboWidget* combo = ComboOf(this);
  QObject::connect(combo, &QComboBox::activated, link(), [this] { NotifyParent(CBN_SELCHANGE); });
  if (QLineEdit* edit = combo->lineEdit()) {
    QObject::connect(edit, &QLineEdit::textEdited, link(),
                     [this] { NotifyParent(CBN_EDITCHANGE); });
  }
  combo->SetCloseupHandler(link(), [this] { NotifyParent(CBN_CLOSEUP); });
}

int CComboBox::GetCount() const {
  ComboWidget* combo = ComboOf(this);
  return combo != nullptr ? combo->count() : CB_ERR;
}

int CComboBox::AddString(LPCSTR text) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return CB_ERR;
  QString value = ToQt(text);
  int position = combo->sorted ? SortedPosition(combo, value) : combo->count();
  return InsertKeepingSelection(combo, position, value) ? position : CB_ERRSPACE;
}

int CComboBox::InsertString(int index, LPCSTR text) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr || index > combo->count()) return CB_ERR;
  int position = index < 0 ? combo->count() : index;
  return InsertKeepingSelection(combo, position, ToQt(text)) ? position : CB_ERRSPACE;
}

void CComboBox::SetItemLimit(int max_items) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return;
  combo->item_limit = std::max(max_items, 0);
}

int CComboBox::GetItemLimit() const {
  ComboWidget* combo = ComboOf(this);
  return combo != nullptr ? combo->item_limit : CB_ERR;
}

int CComboBox::DeleteString(UINT index) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr || !InRange(combo, static_cast<int>(index))) return CB_ERR;
  QSignalBlocker quiet(combo);
  combo->removeItem(static_cast<int>(index));
  return combo->count();
}

void CComboBox::ResetContent() {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return;
  QSignalBlocker quiet(combo);
  combo->clear();
  if (combo->isEditable()) combo->setEditText(QString());
}

int CComboBox::GetLBText(int index, std::string& text) const {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr || !InRange(combo, index)) return CB_ERR;
  text = FromQt(combo->itemText(index));
  return static_cast<int>(text.size());
}

int CComboBox::GetLBText(int index, LPSTR buffer) const {
  std::string text;
  int length = GetLBText(index, text);
  if (length == CB_ERR) return CB_ERR;
  return CopyText(text, buffer, length + 1);
}

int CComboBox::GetLBTextLen(int index) const {
  std::string text;
  return GetLBText(index, text);
}

int CComboBox::FindString(int start, LPCSTR prefix) const {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return CB_ERR;
  return FindInStrings(
      combo->count(), [combo](int i) { return combo->itemText(i); }, start, prefix, false);
}

int CComboBox::FindStringExact(int start, LPCSTR text) const {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return CB_ERR;
  return FindInStrings(
      combo->count(), [combo](int i) { return combo->itemText(i); }, start, text, true);
}

int CComboBox::GetCurSel() const {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return CB_ERR;
  return combo->currentIndex() >= 0 ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int index) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return CB_ERR;
  QSignalBlocker quiet(combo);
  if (!InRange(combo, index)) {
    // Out of range clears the selection and the edit field; the answer is CB_ERR.
    combo->setCurrentIndex(-1);
    if (combo->isEditable()) combo->setEditText(QString());
    return CB_ERR;
  }
  combo->setCurrentIndex(index);
  return index;
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr || !InRange(combo, index)) return CB_ERR;
  combo->setItemData(index, QVariant::fromValue<qulonglong>(data));
  return CB_OKAY;
}

DWORD_PTR CComboBox::GetItemData(int index) const {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr || !InRange(combo, index)) return static_cast<DWORD_PTR>(CB_ERR);
  return static_cast<DWORD_PTR>(combo->itemData(index).toULongLong());
}

BOOL CComboBox::LimitText(int max_chars) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return FALSE;
  QLineEdit* edit = combo->lineEdit();
  if (edit == nullptr) return FALSE;  // a drop-down list has no edit field to limit
  int limit = max_chars > 0 ? max_chars : 0;
  SetLengthLimit(edit, limit);
  return TRUE;
}

BOOL CComboBox::SetEditSel(int start, int end) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr || combo->lineEdit() == nullptr) return CB_ERR;
  QLineEdit* edit = combo->lineEdit();
  if (start < 0) {
    edit->deselect();
    return TRUE;
  }
  int length = static_cast<int>(edit->text().size());
  int first = std::min(start, length);
  int last = (end < 0 || end > length) ? length : end;
  edit->setSelection(first, std::max(0, last - first));
  return TRUE;
}

BOOL CComboBox::GetDroppedState() const {
  ComboWidget* combo = ComboOf(this);
  return combo != nullptr && combo->view()->isVisible() ? TRUE : FALSE;
}

void CComboBox::ShowDropDown(BOOL show) {
  ComboWidget* combo = ComboOf(this);
  if (combo == nullptr) return;
  if (show != FALSE) {
    combo->showPopup();
  } else {
    combo->hidePopup();
  }
}

}  // namespace pairway::ui
