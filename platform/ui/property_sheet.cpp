// CPropertySheet and CPropertyPage: the tabs, the four buttons and the order of the page steps.
#include <QBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>

#include "pairway/ui/controls.h"
#include "pairway/ui/gui_session.h"
#include "pairway/ui/property_sheet.h"
#include "widgets.h"

namespace pairway::ui {
namespace {

// The platform's sheet buttons are 50 x 14 dialog units.
QPushButton* MakeButton(const char* text, QWidget* parent) {
  auto* button = new QPushButton(ToQt(text), parent);
  button->setFixedSize(DialogUnitsToPixelsX(50), DialogUnitsToPixelsY(14));
  return button;
}

}  // namespace

// ---- CPropertyPage ----

CPropertyPage::CPropertyPage(const DialogTemplate& dialog_template) : CDialog(dialog_template) {}

CPropertyPage::~CPropertyPage() = default;

BOOL CPropertyPage::OnSetActive() {
  // OnInitDialog has just exchanged the data of a page shown for the first time.
  if (first_set_active_) {
    first_set_active_ = false;
  } else {
    UpdateData(FALSE);
  }
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }

BOOL CPropertyPage::OnApply() {
  OnOK();
  return TRUE;
}

void CPropertyPage::OnReset() { OnCancel(); }

BOOL CPropertyPage::OnQueryCancel() { return TRUE; }

void CPropertyPage::OnOK() {}

void CPropertyPage::OnCancel() {}

void CPropertyPage::SetModified(BOOL changed) {
  modified_ = changed != FALSE;
  if (sheet_ != nullptr) sheet_->UpdateApplyButton();
}

INT_PTR CPropertyPage::DoModal() { return -1; }

// ---- CPropertySheet ----

// The sheet's own buttons, attached to their widgets while the sheet is shown.
class CPropertySheet::Buttons {
 public:
  CButton ok, cancel, apply, help;
};

CPropertySheet::CPropertySheet(LPCSTR caption, CWnd* parent, UINT select_page)
    : caption_(caption != nullptr ? caption : ""),
      parent_window_(parent),
      start_page_(static_cast<int>(select_page)),
      buttons_(std::make_unique<Buttons>()) {
  SetHandler(IDOK, BN_CLICKED, [this] { Ok(); });
  SetHandler(IDCANCEL, BN_CLICKED, [this] { Cancel(); });
  SetHandler(ID_APPLY_NOW, BN_CLICKED, [this] {
    // After Apply the current page is activated again, as the platform's sheet does.
    if (Apply() && active_ >= 0) pages_[static_cast<size_t>(active_)]->OnSetActive();
  });
  SetHandler(IDHELP, BN_CLICKED, [this] { Help(); });
}

CPropertySheet::~CPropertySheet() = default;

void CPropertySheet::AddPage(CPropertyPage* page) {
  page->sheet_ = this;
  page->set_parent(this);
  pages_.push_back(page);
  shown_.push_back(false);
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
  return index >= 0 && index < GetPageCount() ? pages_[static_cast<size_t>(index)] : nullptr;
}

int CPropertySheet::GetPageIndex(const CPropertyPage* page) const {
  for (int i = 0; i < GetPageCount(); ++i) {
    if (pages_[static_cast<size_t>(i)] == page) return i;
  }
  return -1;
}

CPropertyPage* CPropertySheet::GetActivePage() const {
  return GetPage(active_ >= 0 ? active_ : start_page_);
}

int CPropertySheet::GetActiveIndex() const { return active_ >= 0 ? active_ : start_page_; }

BOOL CPropertySheet::SetActivePage(int index) {
  if (GetPage(index) == nullptr) return FALSE;
  if (tabs_ == nullptr) {
    start_page_ = index;
    return TRUE;
  }
  return ChangePage(index) ? TRUE : FALSE;
}

BOOL CPropertySheet::SetActivePage(CPropertyPage* page) {
  return SetActivePage(GetPageIndex(page));
}

INT_PTR CPropertySheet::DoModal() {
  if (pages_.empty()) return -1;
  if (RefuseWindowNobodyCanAnswer(caption_)) return -1;
  GuiSession session;
  QWidget* parent = parent_window_ != nullptr ? parent_window_->widget() : nullptr;
  auto window = std::make_unique<DialogWidget>(parent);
  window->setWindowTitle(ToQt(caption_));
  window->on_cancel = [this] { SendCommand(MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); };
  window->on_help = [this] { Help(); };
  dialog_widget_ = window.get();
  set_widget(window.get());
  ended_ = false;
  result_ = IDCANCEL;

  auto* layout = new QVBoxLayout(window.get());
  layout->setSizeConstraint(QLayout::SetFixedSize);
  tabs_ = new QTabWidget(window.get());
  for (CPropertyPage* page : pages_) {
    auto* host = new QWidget;
    const DialogTemplate& page_template = page->dialog_template();
    host->setFixedSize(DialogUnitsToPixelsX(page_template.cx),
                       DialogUnitsToPixelsY(page_template.cy));
    tabs_->addTab(host, ToQt(page_template.caption));
  }
  layout->addWidget(tabs_);
  auto* row = new QHBoxLayout;
  row->addStretch();
  struct {
    CButton* object;
    int id;
    const char* text;
  } buttons[] = {{&buttons_->ok, IDOK, "OK"},
                 {&buttons_->cancel, IDCANCEL, "Cancel"},
                 {&buttons_->apply, ID_APPLY_NOW, "&Apply"},
                 {&buttons_->help, IDHELP, "Help"}};
  for (auto& button : buttons) {
    QPushButton* widget = MakeButton(button.text, window.get());
    row->addWidget(widget);
    button.object->Attach(widget, button.id, this);
  }
  static_cast<QPushButton*>(buttons_->ok.widget())->setDefault(true);
  layout->addLayout(row);
  UpdateApplyButton();

  int first = GetPage(start_page_) != nullptr ? start_page_ : 0;
  ShowPage(first);
  QObject::connect(tabs_, &QTabWidget::currentChanged, window.get(), [this](int index) {
    // Qt has switched already; go back and switch the platform's way, asking the page first.
    if (index == active_) return;
    {
      QSignalBlocker quiet(tabs_);
      tabs_->setCurrentIndex(active_);
    }
    ChangePage(index);
  });

  int result = ended_ ? result_ : window->exec();

  for (size_t i = 0; i < pages_.size(); ++i) {
    if (!shown_[i]) continue;
    pages_[i]->DetachControls();
    pages_[i]->set_widget(nullptr);
    shown_[i] = false;
  }
  for (CButton* button : {&buttons_->ok, &buttons_->cancel, &buttons_->apply, &buttons_->help}) {
    button->Detach();
  }
  active_ = -1;
  tabs_ = nullptr;
  set_widget(nullptr);
  dialog_widget_ = nullptr;
  return result;
}

void CPropertySheet::EndDialog(int result) {
  ended_ = true;
  result_ = result;
  if (dialog_widget_ != nullptr && dialog_widget_->isVisible()) dialog_widget_->done(result);
}

BOOL CPropertySheet::PressButton(int id) {
  CWnd* button = GetDlgItem(id);
  if (button == nullptr || !button->IsWindowEnabled()) return FALSE;
  static_cast<QPushButton*>(button->widget())->click();
  return TRUE;
}

CWnd* CPropertySheet::GetDlgItem(int id) const {
  for (CButton* button : {&buttons_->ok, &buttons_->cancel, &buttons_->apply, &buttons_->help}) {
    if (button->IsWindow() && button->GetDlgCtrlID() == id) return button;
  }
  return nullptr;
}

DWORD CPropertySheet::GetHelpContext() const {
  CPropertyPage* page = GetActivePage();
  return page != nullptr ? page->GetHelpContext() : 0;
}

void CPropertySheet::UpdateApplyButton() {
  bool modified = false;
  for (CPropertyPage* page : pages_) modified = modified || page->IsModified();
  buttons_->apply.EnableWindow(modified ? TRUE : FALSE);
}

bool CPropertySheet::ChangePage(int index) {
  if (index == active_) return true;
  if (active_ >= 0 && !pages_[static_cast<size_t>(active_)]->OnKillActive()) return false;
  ShowPage(index);
  return true;
}

void CPropertySheet::ShowPage(int index) {
  active_ = index;
  {
    QSignalBlocker quiet(tabs_);
    tabs_->setCurrentIndex(index);
  }
  CPropertyPage* page = pages_[static_cast<size_t>(index)];
  if (!shown_[static_cast<size_t>(index)]) {
    // A page's widgets exist from the first time it is shown, as the platform creates a page's
    // window then.
    shown_[static_cast<size_t>(index)] = true;
    QWidget* host = tabs_->widget(index);
    page->set_widget(host);
    page->first_set_active_ = true;
    page->CreateControls(host);
    page->OnInitDialog();
  }
  page->OnSetActive();
}

void CPropertySheet::Ok() {
  if (!Apply()) return;
  EndDialog(IDOK);
}

bool CPropertySheet::Apply() {
  if (active_ >= 0 && !pages_[static_cast<size_t>(active_)]->OnKillActive()) return false;
  for (size_t i = 0; i < pages_.size(); ++i) {
    if (shown_[i] && !pages_[i]->OnApply()) return false;  // the sheet stays as it is
  }
  for (CPropertyPage* page : pages_) page->modified_ = false;
  UpdateApplyButton();
  return true;
}

void CPropertySheet::Cancel() {
  if (active_ >= 0 && !pages_[static_cast<size_t>(active_)]->OnQueryCancel()) return;
  for (size_t i = 0; i < pages_.size(); ++i) {
    if (shown_[i]) pages_[i]->OnReset();
  }
  EndDialog(IDCANCEL);
}

void CPropertySheet::Help() {
  if (CPropertyPage* page = GetActivePage()) page->RunHelpCommand();
}

}  // namespace pairway::ui
