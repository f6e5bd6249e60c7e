// The property sheet's steps in their order, the Apply button, pages that refuse to be left, and
// help from the sheet.
#include <QKeyEvent>
#include <QTabWidget>

#include "ui_test_support.h"

namespace pairway::ui {
namespace {

using testing::kEdit;
using testing::kTestTemplate;
using testing::RunSheet;

const DialogControl kSecondControls[] = {
    {IDC_STATIC, ControlKind::kText, "Bytes Received:", 7, 7, 60, 8},
};
const DialogTemplate kSecondTemplate{109, "Status", 220, 140, kSecondControls};

// A page that writes each step into a shared log, and can refuse to be left or to apply.
class LoggingPage : public CPropertyPage {
 public:
  LoggingPage(const DialogTemplate& page_template, std::string name, std::vector<std::string>* log)
      : CPropertyPage(page_template), name_(std::move(name)), log_(log) {}

  BOOL OnInitDialog() override { return Step("init", CPropertyPage::OnInitDialog()); }
  BOOL OnSetActive() override { return Step("set", CPropertyPage::OnSetActive()); }
  BOOL OnKillActive() override {
    if (!allow_leave) return Step("kill", FALSE);
    return Step("kill", CPropertyPage::OnKillActive());
  }
  BOOL OnApply() override {
    log_->push_back(name_ + ".apply");
    return CPropertyPage::OnApply() && allow_apply;
  }
  void OnOK() override { log_->push_back(name_ + ".ok"); }
  void OnCancel() override { log_->push_back(name_ + ".cancel"); }
  void OnReset() override {
    log_->push_back(name_ + ".reset");
    CPropertyPage::OnReset();
  }
  LRESULT OnCommandHelp(WPARAM, LPARAM) override {
    log_->push_back(name_ + ".help");
    return own_help;
  }
  DWORD GetHelpContext() const override { return 13; }

  bool allow_leave = true;
  bool allow_apply = true;
  BOOL own_help = FALSE;

 private:
  BOOL Step(const char* step, BOOL result) {
    log_->push_back(name_ + "." + step);
    return result;
  }
  std::string name_;
  std::vector<std::string>* log_;
};

class TestSheet : public CPropertySheet {
 public:
  explicit TestSheet(std::vector<std::string>* log)
      : CPropertySheet("Pairway Port Aggregation"),
        config(kTestTemplate, "config", log),
        status(kSecondTemplate, "status", log) {
    AddPage(&config);
    AddPage(&status);
  }
  LoggingPage config;
  LoggingPage status;
};

class PropertySheetTest : public testing::UiTest {
 protected:
  std::vector<std::string> log_;
  TestSheet sheet_{&log_};

  QTabWidget* tabs() const { return sheet_.widget()->findChild<QTabWidget*>(); }
  void ClickTab(int index) { tabs()->setCurrentIndex(index); }
};

using Steps = std::vector<std::string>;

TEST_F(PropertySheetTest, OkDeactivatesTheCurrentPageThenAppliesEveryShownPage) {
  INT_PTR result = RunSheet(sheet_, [&] { sheet_.PressButton(IDOK); });
  EXPECT_EQ(result, IDOK);
  // The status page was never shown: it has no window and takes no part.
  EXPECT_EQ(log_, (Steps{"config.init", "config.set", "config.kill", "config.apply", "config.ok"}));
}

TEST_F(PropertySheetTest, SwitchingTabsLeavesOnePageAndShowsTheOtherOnceInitialised) {
  INT_PTR result = RunSheet(sheet_, [&] {
    ClickTab(1);
    EXPECT_EQ(sheet_.GetActiveIndex(), 1);
    ClickTab(0);
    sheet_.PressButton(IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(log_, (Steps{"config.init", "config.set", "config.kill", "status.init", "status.set",
                         "status.kill", "config.set", "config.reset", "config.cancel",
                         "status.reset", "status.cancel"}));
}

TEST_F(PropertySheetTest, PageThatRefusesToBeLeftKeepsItsTabAndTheSheetOpen) {
  sheet_.config.allow_leave = false;
  INT_PTR result = RunSheet(sheet_, [&] {
    ClickTab(1);
    EXPECT_EQ(sheet_.GetActivePage(), &sheet_.config);
    EXPECT_EQ(tabs()->currentIndex(), 0);
    sheet_.PressButton(IDOK);
    EXPECT_TRUE(sheet_.widget()->isVisible());
    sheet_.config.allow_leave = true;
    sheet_.PressButton(IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(log_, (Steps{"config.init", "config.set", "config.kill", "config.kill", "config.kill",
                         "config.apply", "config.ok"}));
}

TEST_F(PropertySheetTest, ApplyIsEnabledWhileAPageIsModifiedAndReactivatesThePageAfterwards) {
  RunSheet(sheet_, [&] {
    CWnd* apply = sheet_.GetDlgItem(ID_APPLY_NOW);
    ASSERT_NE(apply, nullptr);
    EXPECT_FALSE(apply->IsWindowEnabled());
    EXPECT_FALSE(sheet_.PressButton(ID_APPLY_NOW));  // disabled: nothing happens
    sheet_.config.SetModified(TRUE);
    EXPECT_TRUE(apply->IsWindowEnabled());
    ClickTab(1);
    sheet_.status.SetModified(TRUE);
    sheet_.config.SetModified(FALSE);
    EXPECT_TRUE(apply->IsWindowEnabled());  // another page is still modified
    log_.clear();
    EXPECT_TRUE(sheet_.PressButton(ID_APPLY_NOW));
    EXPECT_FALSE(apply->IsWindowEnabled());
    EXPECT_FALSE(sheet_.status.IsModified());
    EXPECT_TRUE(sheet_.widget()->isVisible());
    EXPECT_EQ(log_, (Steps{"status.kill", "config.apply", "config.ok", "status.apply", "status.ok",
                           "status.set"}));
    sheet_.PressButton(IDCANCEL);
  });
}

TEST_F(PropertySheetTest, PageThatRefusesToApplyKeepsTheSheetOpen) {
  sheet_.config.allow_apply = false;
  INT_PTR result = RunSheet(sheet_, [&] {
    sheet_.PressButton(IDOK);
    EXPECT_TRUE(sheet_.widget()->isVisible());
    sheet_.config.allow_apply = true;
    sheet_.PressButton(IDOK);
  });
  EXPECT_EQ(result, IDOK);
}

TEST_F(PropertySheetTest, HelpGoesToThePageAndThenToTheApplication) {
  RunSheet(sheet_, [&] {
    app_.m_pMainWnd = &sheet_;
    sheet_.PressButton(IDHELP);  // the page declines: the application shows the sheet's context
    sheet_.config.own_help = TRUE;
    QTest::keyClick(sheet_.widget(), Qt::Key_F1);  // the page shows help itself
    app_.m_pMainWnd = nullptr;
    sheet_.PressButton(IDCANCEL);
  });
  auto help = sink_.help();
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].command, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(help[0].data, 13u);
  EXPECT_EQ(std::count(log_.begin(), log_.end(), "config.help"), 2);
}

TEST_F(PropertySheetTest, EscapeAndTheCloseBoxCancelThroughThePages) {
  INT_PTR result = RunSheet(sheet_, [&] { QTest::keyClick(sheet_.widget(), Qt::Key_Escape); });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(log_.back(), "config.cancel");
  log_.clear();
  result = RunSheet(sheet_, [&] { sheet_.widget()->close(); });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(log_, (Steps{"config.init", "config.set", "config.reset", "config.cancel"}));
}

// A page whose field must hold at most three characters.
class TimeoutPage : public CPropertyPage {
 public:
  TimeoutPage() : CPropertyPage(kTestTemplate) {}
  std::string m_strTimeout = "1000";
  CEdit m_edit;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, kEdit, m_edit);
    DDX_Text(pDX, kEdit, m_strTimeout);
    DDV_MaxChars(pDX, m_strTimeout, 3);
  }
};

TEST_F(PropertySheetTest, TooLongFieldShowsTheLengthMessageAndKeepsThePage) {
  TimeoutPage page;
  LoggingPage other(kSecondTemplate, "other", &log_);
  CPropertySheet sheet("Pairway Port Aggregation");
  sheet.AddPage(&page);
  sheet.AddPage(&other);
  INT_PTR result = RunSheet(sheet, [&] {
    std::string shown;
    page.m_edit.GetWindowText(shown);
    EXPECT_EQ(shown, "1000");  // a longer stored value is shown whole
    sheet.SetActivePage(1);
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(CWnd::GetFocus(), &page.m_edit);
    sheet.PressButton(IDOK);
    EXPECT_TRUE(sheet.widget()->isVisible());
    page.m_edit.SetWindowText("100");
    sheet.PressButton(IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(page.m_strTimeout, "100");
  auto boxes = sink_.boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Please enter no more than 3 characters.");
  EXPECT_EQ(boxes[0].caption, "Test Title");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}

}  // namespace
}  // namespace pairway::ui
