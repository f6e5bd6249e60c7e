// CWnd: attachment to widgets, window state, text and the delivery of notifications.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>
#include <QWidget>

#include "pairway/ui/dialog.h"
#include "pairway/ui/wnd.h"
#include "widgets.h"

namespace pairway::ui {
namespace {

// The widget property that names the object attached to a widget.
constexpr char kOwnerProperty[] = "pairway.cwnd";

std::pair<int, UINT> HandlerKey(int id, UINT code) {
  return {static_cast<int>(static_cast<WORD>(id)), code};
}

}  // namespace

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (link_ != nullptr) Detach();
}

DWORD CWnd::GetHelpContext() const { return 0; }

BOOL CWnd::EnableWindow(BOOL enable) {
  if (widget_ == nullptr) return FALSE;
  BOOL was_disabled = !widget_->isEnabled();
  widget_->setEnabled(enable != FALSE);
  return was_disabled;
}

BOOL CWnd::IsWindowEnabled() const { return widget_ != nullptr && widget_->isEnabled(); }

BOOL CWnd::ShowWindow(int command) {
  if (widget_ == nullptr) return FALSE;
  BOOL was_visible = !widget_->isHidden();
  widget_->setVisible(command != SW_HIDE);
  return was_visible;
}

BOOL CWnd::IsWindowVisible() const { return widget_ != nullptr && widget_->isVisible(); }

CWnd* CWnd::SetFocus() {
  CWnd* previous = GetFocus();
  if (widget_ != nullptr) widget_->setFocus(Qt::OtherFocusReason);
  return previous;
}

CWnd* CWnd::GetFocus() {
  QWidget* focused = QApplication::focusWidget();
  if (focused == nullptr) {
    // A window that is not active (no window manager, offscreen) still knows which of its
    // controls has the focus within it.
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) window = QApplication::activeWindow();
    if (window != nullptr) focused = window->focusWidget();
  }
  for (QWidget* w = focused; w != nullptr; w = w->parentWidget()) {
    if (CWnd* owner = FromWidget(w)) return owner;
  }
  return nullptr;
}

void CWnd::SetWindowText(LPCSTR text) {
  CallOnGui([this, text] {
    QWidget* w = widget_;
    if (w == nullptr) return;
    QString value = ToQt(text);
    if (auto* edit = dynamic_cast<EditWidget*>(w)) {
      // The platform clears the modify flag and reports the change even for the same text.
      bool same = edit->text() == value;
      edit->setting_text = true;
      edit->modified = false;
      edit->setText(value);
      edit->setting_text = false;
      if (same) NotifyParent(EN_CHANGE);
    } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
      line->setText(value);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      if (combo->isEditable()) combo->setEditText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      label->setText(value);
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
      box->setTitle(value);
    } else {
      w->setWindowTitle(value);
    }
  });
}

void CWnd::GetWindowText(std::string& text) const {
  text = CallOnGui([this]() -> std::string {
    QWidget* w = widget_;
    if (w == nullptr) return {};
    if (auto* line = qobject_cast<QLineEdit*>(w)) return FromQt(line->text());
    if (auto* combo = qobject_cast<QComboBox*>(w)) return FromQt(combo->currentText());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return FromQt(button->text());
    if (auto* label = qobject_cast<QLabel*>(w)) return FromQt(label->text());
    if (auto* box = qobject_cast<QGroupBox*>(w)) return FromQt(box->title());
    return FromQt(w->windowTitle());
  });
}

int CWnd::GetWindowText(LPSTR buffer, int max_count) const {
  std::string text;
  GetWindowText(text);
  return CopyText(text, buffer, max_count);
}

int CWnd::GetWindowTextLength() const {
  std::string text;
  GetWindowText(text);
  return static_cast<int>(text.size());
}

CWnd* CWnd::GetDlgItem(int id) const {
  (void)id;
  return nullptr;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  auto* dialog = dynamic_cast<CDialog*>(parent);
  if (dialog == nullptr) return FALSE;
  return dialog->AdoptControl(static_cast<int>(id), this) != nullptr;
}

void CWnd::SetHandler(int id, UINT code, Handler handler) {
  handlers_[HandlerKey(id, code)] = std::move(handler);
}

LRESULT CWnd::SendCommand(WPARAM wParam, LPARAM lParam) {
  return OnCommand(wParam, lParam) ? 1 : 0;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  auto found = handlers_.find(HandlerKey(LOWORD(wParam), HIWORD(wParam)));
  if (found == handlers_.end()) return FALSE;
  Handler handler = found->second;  // the handler may replace itself
  handler();
  return TRUE;
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  (void)wParam;
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (result != nullptr) *result = 0;
  if (header == nullptr) return FALSE;
  auto found = handlers_.find(HandlerKey(static_cast<int>(header->idFrom), header->code));
  if (found == handlers_.end()) return FALSE;
  Handler handler = found->second;
  handler();
  return TRUE;
}

LRESULT CWnd::OnCommandHelp(WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  (void)lParam;
  return FALSE;
}

LRESULT CWnd::OnHelpHitTest(WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  (void)lParam;
  return 0;
}

void CWnd::Attach(QWidget* widget, int id, CWnd* parent) {
  if (link_ != nullptr) Detach();
  widget_ = widget;
  ctrl_id_ = id;
  parent_ = parent;
  link_ = std::make_unique<QObject>();
  widget->setProperty(kOwnerProperty, QVariant::fromValue(static_cast<void*>(this)));
  OnAttached();
}

void CWnd::Detach() {
  link_.reset();
  if (widget_ != nullptr && FromWidget(widget_) == this) {
    widget_->setProperty(kOwnerProperty, QVariant());
  }
  widget_ = nullptr;
  CWnd* parent = parent_;
  parent_ = nullptr;
  if (parent != nullptr) parent->OnChildDetached(this);
}

void CWnd::set_widget(QWidget* widget) {
  if (widget_ != nullptr && FromWidget(widget_) == this) {
    widget_->setProperty(kOwnerProperty, QVariant());
  }
  widget_ = widget;
  if (widget != nullptr) {
    widget->setProperty(kOwnerProperty, QVariant::fromValue(static_cast<void*>(this)));
  }
}

CWnd* CWnd::FromWidget(const QWidget* widget) {
  if (widget == nullptr) return nullptr;
  QVariant owner = widget->property(kOwnerProperty);
  return owner.isValid() ? static_cast<CWnd*>(owner.value<void*>()) : nullptr;
}

void CWnd::OnAttached() {}

void CWnd::OnChildDetached(CWnd* child) { (void)child; }

void CWnd::NotifyParent(UINT code) {
  if (parent_ == nullptr) return;
  if (code <= 0xFFFF) {
    parent_->SendCommand(MAKEWPARAM(ctrl_id_, code), reinterpret_cast<LPARAM>(GetSafeHwnd()));
    return;
  }
  NMHDR header{GetSafeHwnd(), static_cast<UINT_PTR>(ctrl_id_), code};
  LRESULT result = 0;
  parent_->OnNotify(static_cast<WPARAM>(ctrl_id_), reinterpret_cast<LPARAM>(&header), &result);
}

}  // namespace pairway::ui
