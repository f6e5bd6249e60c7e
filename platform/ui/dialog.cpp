// CDialog: the template turned into widgets, the modal loop, and data exchange.
#include <QComboBox>
#include <QLineEdit>

#include <memory>
#include <string>

#include "pairway/ui/controls.h"
#include "pairway/ui/dialog.h"
#include "pairway/ui/gui_session.h"
#include "pairway/ui/win_app.h"
#include "widgets.h"

namespace pairway::ui {
namespace {

// The platform framework's text for a string longer than its field allows.
constexpr char kTooManyCharacters[] = "Please enter no more than %1 characters.";
// The help id the platform framework gives that message box.
constexpr UINT kTooManyCharactersHelp = 0xF113;

std::string FillPlaceholder(const char* format, int value) {
  std::string text = format;
  size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(value));
  return text;
}

}  // namespace

// ---- CDataExchange ----

CDataExchange::CDataExchange(CDialog* dialog, BOOL save_and_validate)
    : m_bSaveAndValidate(save_and_validate), m_pDlgWnd(dialog) {}

void CDataExchange::PrepareCtrl(int id) {
  last_control_ = id;
  last_is_edit_ = false;
}

void CDataExchange::PrepareEditCtrl(int id) {
  last_control_ = id;
  last_is_edit_ = true;
}

void CDataExchange::Fail() {
  failed_ = true;
  if (CWnd* control = m_pDlgWnd->GetDlgItem(last_control_)) m_pDlgWnd->GotoDlgCtrl(control);
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (pDX->failed() || control.IsWindow()) return;
  control.SubclassDlgItem(static_cast<UINT>(id), pDX->m_pDlgWnd);
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
  if (pDX->failed()) return;
  pDX->PrepareEditCtrl(id);
  CWnd* control = pDX->m_pDlgWnd->GetDlgItem(id);
  if (control == nullptr) return;
  if (pDX->m_bSaveAndValidate) {
    control->GetWindowText(value);
    return;
  }
  // Only a different text is set, so that an unchanged field keeps its modify flag and reports
  // no change.
  std::string current;
  control->GetWindowText(current);
  if (current != value) control->SetWindowText(value.c_str());
}

void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int max_chars) {
  if (pDX->failed()) return;
  if (pDX->m_bSaveAndValidate && static_cast<int>(value.size()) > max_chars) {
    std::string message = FillPlaceholder(kTooManyCharacters, max_chars);
    AfxMessageBox(message.c_str(), MB_OK | MB_ICONEXCLAMATION, kTooManyCharactersHelp);
    pDX->Fail();
    return;
  }
  if (pDX->last_control_is_edit()) {
    if (auto* edit = dynamic_cast<CEdit*>(pDX->m_pDlgWnd->GetDlgItem(pDX->last_control()))) {
      edit->LimitText(max_chars);
    }
  }
}

// ---- CDialog ----

CDialog::CDialog(const DialogTemplate& dialog_template, CWnd* parent)
    : template_(dialog_template), parent_window_(parent) {}

CDialog::~CDialog() { DetachControls(); }

INT_PTR CDialog::DoModal() {
  if (RefuseWindowNobodyCanAnswer(template_.caption != nullptr ? template_.caption : "")) {
    return -1;
  }
  GuiSession session;
  QWidget* parent = parent_window_ != nullptr ? parent_window_->widget() : nullptr;
  auto window = std::make_unique<DialogWidget>(parent);
  window->setWindowTitle(ToQt(template_.caption));
  window->setFixedSize(DialogUnitsToPixelsX(template_.cx), DialogUnitsToPixelsY(template_.cy));
  window->on_cancel = [this] { SendCommand(MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); };
  window->on_help = [this] { RunHelpCommand(); };
  dialog_widget_ = window.get();
  ended_ = false;
  result_ = -1;
  set_widget(window.get());
  CreateControls(window.get());
  OnInitDialog();
  int result = ended_ ? result_ : window->exec();
  DetachControls();
  set_widget(nullptr);
  dialog_widget_ = nullptr;
  return result;
}

void CDialog::EndDialog(int result) {
  ended_ = true;
  result_ = result;
  if (dialog_widget_ != nullptr && dialog_widget_->isVisible()) dialog_widget_->done(result);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange* pDX) { (void)pDX; }

BOOL CDialog::UpdateData(BOOL save_and_validate) {
  CDataExchange exchange(this, save_and_validate);
  DoDataExchange(&exchange);
  return exchange.failed() ? FALSE : TRUE;
}

CWnd* CDialog::GetDlgItem(int id) const {
  auto found = attached_.find(id);
  return found != attached_.end() ? found->second : nullptr;
}

void CDialog::GotoDlgCtrl(CWnd* control) {
  if (control == nullptr || control->widget() == nullptr) return;
  control->SetFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(control->widget())) {
    edit->selectAll();
  } else if (auto* combo = qobject_cast<QComboBox*>(control->widget())) {
    if (combo->lineEdit() != nullptr) combo->lineEdit()->selectAll();
  }
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (CWnd::OnCommand(wParam, lParam)) return TRUE;
  if (HIWORD(wParam) != BN_CLICKED) return FALSE;
  if (LOWORD(wParam) == IDOK) {
    OnOK();
    return TRUE;
  }
  if (LOWORD(wParam) == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

void CDialog::CreateControls(QWidget* host) {
  host->setFont(DialogFont());
  for (const DialogControl& control : template_.controls) {
    QWidget* widget = BuildControl(control, host);
    // A page made after its sheet is shown has a visible host: children added to a visible
    // widget stay hidden until shown themselves.
    widget->show();
    if (control.id == IDC_STATIC || control_widgets_.count(control.id) != 0) continue;
    control_widgets_[control.id] = widget;
    std::unique_ptr<CWnd> object = MakeControlObject(control.kind);
    object->Attach(widget, control.id, this);
    attached_[control.id] = object.get();
    default_controls_.push_back(std::move(object));
  }
}

void CDialog::DetachControls() {
  std::map<int, CWnd*> attached = attached_;
  for (auto& [id, control] : attached) control->Detach();
  attached_.clear();
  default_controls_.clear();
  control_widgets_.clear();
}

void CDialog::RunHelpCommand() {
  if (OnCommandHelp(0, 0) != FALSE) return;
  if (CWinApp* app = AfxGetApp()) app->OnCmdMsg(ID_HELP);
}

void CDialog::OnChildDetached(CWnd* child) {
  for (auto it = attached_.begin(); it != attached_.end();) {
    it = it->second == child ? attached_.erase(it) : std::next(it);
  }
}

QWidget* CDialog::AdoptControl(int id, CWnd* child) {
  auto widget = control_widgets_.find(id);
  if (widget == control_widgets_.end()) return nullptr;
  CWnd* current = GetDlgItem(id);
  if (current == child) return widget->second;
  if (current != nullptr) current->Detach();
  child->Attach(widget->second, id, this);
  attached_[id] = child;
  return widget->second;
}

}  // namespace pairway::ui
