// CListBox on a QListWidget. The program's own changes never report a selection change, so
// every call that touches the list blocks the widget's signals while it works.
#include <QListWidget>
#include <QSignalBlocker>

#include <algorithm>
#include <vector>

#include "pairway/ui/controls.h"
#include "widgets.h"

namespace pairway::ui {
namespace {

QListWidget* ListOf(const CWnd* window) { return qobject_cast<QListWidget*>(window->widget()); }

bool InRange(const QListWidget* list, int index) { return index >= 0 && index < list->count(); }

// Where a sorted list box puts `text`: after every item that sorts before or equal to it,
// ignoring case, as the platform's sorted lists do.
int SortedPosition(const QListWidget* list, const QString& text) {
  int position = 0;
  while (position < list->count() &&
         list->item(position)->text().compare(text, Qt::CaseInsensitive) <= 0) {
    ++position;
  }
  return position;
}

}  // namespace

void CListBox::OnAttached() {
  QObject::connect(ListOf(this), &QListWidget::itemSelectionChanged, link(),
                   [this] { NotifyParent(LBN_SELCHANGE); });
  QObject::connect(ListOf(this), &QListWidget::itemDoubleClicked, link(),
                   [this] { NotifyParent(LBN_DBLCLK); });
}

int CListBox::GetCount() const {
  QListWidget* list = ListOf(this);
  return list != nullptr ? list->count() : LB_ERR;
}

int CListBox::AddString(LPCSTR text) {
  QListWidget* list = ListOf(this);
  if (list == nullptr) return LB_ERR;
  QString value = ToQt(text);
  int index =
      list->property("pairway.sorted").toBool() ? SortedPosition(list, value) : list->count();
  QSignalBlocker quiet(list);
  list->insertItem(index, value);
  return index;
}

int CListBox::InsertString(int index, LPCSTR text) {
  QListWidget* list = ListOf(this);
  if (list == nullptr || index > list->count()) return LB_ERR;
  int position = index < 0 ? list->count() : index;
  QSignalBlocker quiet(list);
  list->insertItem(position, ToQt(text));
  return position;
}

int CListBox::DeleteString(UINT index) {
  QListWidget* list = ListOf(this);
  if (list == nullptr || !InRange(list, static_cast<int>(index))) return LB_ERR;
  QSignalBlocker quiet(list);
  delete list->takeItem(static_cast<int>(index));
  return list->count();
}

void CListBox::ResetContent() {
  QListWidget* list = ListOf(this);
  if (list == nullptr) return;
  QSignalBlocker quiet(list);
  list->clear();
}

int CListBox::GetText(int index, std::string& text) const {
  QListWidget* list = ListOf(this);
  if (list == nullptr || !InRange(list, index)) return LB_ERR;
  text = FromQt(list->item(index)->text());
  return static_cast<int>(text.size());
}

int CListBox::GetText(int index, LPSTR buffer) const {
  std::string text;
  int length = GetText(index, text);
  if (length == LB_ERR) return LB_ERR;
  return CopyText(text, buffer, length + 1);
}

int CListBox::GetTextLen(int index) const {
  std::string text;
  return GetText(index, text);
}

int CListBox::FindString(int start, LPCSTR prefix) const {
  QListWidget* list = ListOf(this);
  if (list == nullptr) return LB_ERR;
  return FindInStrings(
      list->count(), [list](int i) { return list->item(i)->text(); }, start, prefix, false);
}

int CListBox::FindStringExact(int start, LPCSTR text) const {
  QListWidget* list = ListOf(this);
  if (list == nullptr) return LB_ERR;
  return FindInStrings(
      list->count(), [list](int i) { return list->item(i)->text(); }, start, text, true);
}

int CListBox::GetSelCount() const {
  QListWidget* list = ListOf(this);
  return list != nullptr ? static_cast<int>(list->selectedItems().size()) : LB_ERR;
}

int CListBox::GetSelItems(int max_items, int* indexes) const {
  QListWidget* list = ListOf(this);
  if (list == nullptr || indexes == nullptr) return LB_ERR;
  int stored = 0;
  for (int i = 0; i < list->count() && stored < max_items; ++i) {
    if (list->item(i)->isSelected()) indexes[stored++] = i;
  }
  return stored;
}

int CListBox::SetSel(int index, BOOL select) {
  QListWidget* list = ListOf(this);
  if (list == nullptr || (index != -1 && !InRange(list, index))) return LB_ERR;
  QSignalBlocker quiet(list);
  if (index == -1) {
    for (int i = 0; i < list->count(); ++i) list->item(i)->setSelected(select != FALSE);
  } else {
    list->item(index)->setSelected(select != FALSE);
  }
  return LB_OKAY;
}

int CListBox::GetSel(int index) const {
  QListWidget* list = ListOf(this);
  if (list == nullptr || !InRange(list, index)) return LB_ERR;
  return list->item(index)->isSelected() ? 1 : 0;
}

int CListBox::GetCurSel() const {
  QListWidget* list = ListOf(this);
  if (list == nullptr) return LB_ERR;
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->isSelected()) return i;
  }
  return LB_ERR;
}

int CListBox::SetCurSel(int index) {
  QListWidget* list = ListOf(this);
  if (list == nullptr || (index != -1 && !InRange(list, index))) return LB_ERR;
  QSignalBlocker quiet(list);
  list->clearSelection();
  if (index == -1) return LB_ERR;  // the platform answers LB_ERR when it clears the selection
  list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  return index;
}

int CListBox::GetCaretIndex() const {
  QListWidget* list = ListOf(this);
  if (list == nullptr) return LB_ERR;
  return std::max(0, list->currentRow());
}

int CListBox::SetCaretIndex(int index, BOOL scroll) {
  QListWidget* list = ListOf(this);
  if (list == nullptr || !InRange(list, index)) return LB_ERR;
  QSignalBlocker quiet(list);
  list->setCurrentRow(index, QItemSelectionModel::NoUpdate);
  if (scroll != FALSE) list->scrollToItem(list->item(index));
  return LB_OKAY;
}

int CListBox::SetItemData(int index, DWORD_PTR data) {
  QListWidget* list = ListOf(this);
  if (list == nullptr || !InRange(list, index)) return LB_ERR;
  list->item(index)->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(data));
  return LB_OKAY;
}

DWORD_PTR CListBox::GetItemData(int index) const {
  QListWidget* list = ListOf(this);
  if (list == nullptr || !InRange(list, index)) return static_cast<DWORD_PTR>(LB_ERR);
  return static_cast<DWORD_PTR>(list->item(index)->data(Qt::UserRole).toULongLong());
}

}  // namespace pairway::ui
