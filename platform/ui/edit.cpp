// CEdit: the modify flag, the text limit, and key strokes offered to the control object first.
#include <QKeyEvent>

#include "pairway/ui/controls.h"
#include "widgets.h"

namespace pairway::ui {
namespace {

// What an edit holds at most when nothing else was asked for, and what LimitText(0) allows.
constexpr UINT kDefaultLimit = 32767;
constexpr UINT kLargestLimit = 0x7FFFFFFE;

UINT VirtualKeyOf(const QKeyEvent* event) {
  int key = event->key();
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    return static_cast<UINT>(key);
  }
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Delete:
      return VK_DELETE;
    case Qt::Key_Space:
      return ' ';
    default:
      return 0;
  }
}

EditWidget* EditOf(const CWnd* window) { return dynamic_cast<EditWidget*>(window->widget()); }

}  // namespace

// Offers one key stroke to the attached CEdit, as the platform sends WM_KEYDOWN and then WM_CHAR
// to the control's window procedure, and says what becomes of it.
class EditKeyHook {
 public:
  static CEdit::KeyFate Filter(CEdit* owner, QKeyEvent* event) {
    UINT key = VirtualKeyOf(event);
    UINT code = owner->OnGetDlgCode();
    if (key == VK_TAB && (code & DLGC_WANTTAB) == 0) return CEdit::KeyFate::kToParent;
    if ((key == VK_RETURN || key == VK_ESCAPE) && (code & DLGC_WANTALLKEYS) == 0) {
      return CEdit::KeyFate::kToParent;
    }
    UINT repeat = event->isAutoRepeat() ? 2 : 1;
    owner->key_fate_ = CEdit::KeyFate::kDrop;
    owner->OnKeyDown(key, repeat, 0);
    if (owner->key_fate_ != CEdit::KeyFate::kProcess) return owner->key_fate_;
    // With Ctrl a letter types its control character (Ctrl+V is 0x16), whatever text the
    // platform's key event carries.
    bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    const QString text =
        control && key >= 'A' && key <= 'Z' ? QString(QChar(key - 'A' + 1)) : event->text();
    for (QChar character : text) {
      owner->key_fate_ = CEdit::KeyFate::kDrop;
      owner->OnChar(character.unicode(), repeat, 0);
      if (owner->key_fate_ != CEdit::KeyFate::kProcess) return owner->key_fate_;
    }
    return CEdit::KeyFate::kProcess;
  }

  static void Dispatch(EditWidget* edit, QKeyEvent* event) {
    auto* owner = dynamic_cast<CEdit*>(CWnd::FromWidget(edit));
    CEdit::KeyFate fate = owner != nullptr ? Filter(owner, event) : CEdit::KeyFate::kProcess;
    switch (fate) {
      case CEdit::KeyFate::kProcess:
        edit->ProcessKey(event);
        return;
      case CEdit::KeyFate::kDrop:
        event->accept();
        return;
      case CEdit::KeyFate::kToParent:
        if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
          edit->MoveFocus(event->key() == Qt::Key_Tab &&
                          (event->modifiers() & Qt::ShiftModifier) == 0);
          event->accept();
        } else {
          event->ignore();  // Qt hands an ignored key to the parent widgets, up to the dialog
        }
        return;
    }
  }
};

EditWidget::EditWidget(QWidget* parent) : QLineEdit(parent) {
  // Made before any object attaches, so the flag is set before EN_CHANGE reaches the dialog.
  connect(this, &QLineEdit::textChanged, this, [this] {
    if (!setting_text) modified = true;
  });
}

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::Drop:
    case QEvent::ContextMenu:
    case QEvent::MouseButtonRelease:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool EditWidget::event(QEvent* event) {
  bool user = IsUserInput(event->type());
  if (user) ++user_input_depth_;
  bool handled = HandleEvent(event);
  if (user) --user_input_depth_;
  return handled;
}

bool EditWidget::HandleEvent(QEvent* event) {
  // Qt moves the focus on Tab before the widget sees the key; an edit that wants Tab gets it.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    auto* owner = dynamic_cast<CEdit*>(CWnd::FromWidget(this));
    bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (tab && owner != nullptr && (owner->OnGetDlgCode() & DLGC_WANTTAB) != 0) {
      keyPressEvent(key);
      return true;
    }
  }
  return QLineEdit::event(event);
}

void EditWidget::keyPressEvent(QKeyEvent* event) { EditKeyHook::Dispatch(this, event); }

void CEdit::OnAttached() {
  QObject::connect(widget_as_edit(), &QLineEdit::textChanged, link(),
                   [this] { NotifyParent(EN_CHANGE); });
}

QLineEdit* CEdit::widget_as_edit() const { return qobject_cast<QLineEdit*>(widget()); }

BOOL CEdit::GetModify() const {
  return CallOnGui([this] {
    EditWidget* edit = EditOf(this);
    return edit != nullptr && edit->modified ? TRUE : FALSE;
  });
}

void CEdit::SetModify(BOOL modified) {
  CallOnGui([this, modified] {
    if (EditWidget* edit = EditOf(this)) edit->modified = modified != FALSE;
  });
}

void CEdit::LimitText(int max_chars) {
  QLineEdit* edit = widget_as_edit();
  if (edit == nullptr) return;
  int limit = max_chars > 0 ? max_chars : static_cast<int>(kLargestLimit);
  SetLengthLimit(edit, limit);
}

UINT CEdit::GetLimitText() const {
  QLineEdit* edit = widget_as_edit();
  if (edit == nullptr) return 0;
  auto* current = dynamic_cast<const LengthLimit*>(edit->validator());
  return current != nullptr ? static_cast<UINT>(current->limit()) : kDefaultLimit;
}

BOOL CEdit::SetReadOnly(BOOL read_only) {
  QLineEdit* edit = widget_as_edit();
  if (edit == nullptr) return FALSE;
  edit->setReadOnly(read_only != FALSE);
  return TRUE;
}

BOOL CEdit::IsReadOnly() const {
  QLineEdit* edit = widget_as_edit();
  return edit != nullptr && edit->isReadOnly() ? TRUE : FALSE;
}

void CEdit::SetSel(int start, int end, BOOL no_scroll) {
  (void)no_scroll;
  QLineEdit* edit = widget_as_edit();
  if (edit == nullptr) return;
  if (start < 0) {
    edit->deselect();
    return;
  }
  int length = static_cast<int>(edit->text().size());
  int last = (end < 0 || end > length) ? length : end;
  edit->setSelection(std::min(start, length), last - std::min(start, length));
}

void CEdit::GetSel(int& start, int& end) const {
  QLineEdit* edit = widget_as_edit();
  start = end = 0;
  if (edit == nullptr) return;
  if (edit->hasSelectedText()) {
    start = edit->selectionStart();
    end = start + static_cast<int>(edit->selectedText().size());
  } else {
    start = end = edit->cursorPosition();
  }
}

void CEdit::ReplaceSel(LPCSTR text) {
  if (QLineEdit* edit = widget_as_edit()) edit->insert(ToQt(text));
}

void CEdit::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  (void)nChar;
  (void)nRepCnt;
  (void)nFlags;
  key_fate_ = KeyFate::kProcess;
}

void CEdit::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) {
  (void)nChar;
  (void)nRepCnt;
  (void)nFlags;
  key_fate_ = KeyFate::kProcess;
}

UINT CEdit::OnGetDlgCode() { return DLGC_WANTCHARS | DLGC_WANTARROWS; }

void CEdit::PassKeyToParent() { key_fate_ = KeyFate::kToParent; }

}  // namespace pairway::ui
