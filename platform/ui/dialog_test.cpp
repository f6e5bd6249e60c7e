// Modal dialogs: how they end, and data exchange with its length check.
#include <stdlib.h>

#include "pairway/unattended.h"
#include "ui_test_support.h"

namespace pairway::ui {
namespace {

using testing::kEdit;
using testing::kTestTemplate;
using testing::RunDialog;
using testing::Type;

class NameDialog : public CDialog {
 public:
  NameDialog() : CDialog(kTestTemplate) {}
  std::string m_name = "Group1";
  std::vector<std::string> steps;
  bool end_at_start = false;

  BOOL OnInitDialog() override {
    steps.push_back("init");
    BOOL result = CDialog::OnInitDialog();
    if (end_at_start) EndDialog(IDCANCEL);
    return result;
  }
  void OnOK() override {
    steps.push_back("ok");
    CDialog::OnOK();
  }
  void OnCancel() override {
    steps.push_back("cancel");
    CDialog::OnCancel();
  }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, kEdit, m_name);
    DDV_MaxChars(pDX, m_name, 8);
  }
};

class DialogTest : public testing::UiTest {
 protected:
  NameDialog dialog_;
};

TEST_F(DialogTest, OkExchangesTheFieldsAndEndsWithIdOk) {
  INT_PTR result = RunDialog(dialog_, [&] {
    std::string shown;
    dialog_.GetDlgItem(kEdit)->GetWindowText(shown);
    EXPECT_EQ(shown, "Group1");
    EXPECT_EQ(dialog_.widget()->windowTitle().toStdString(), "Test Dialog");
    dialog_.GetDlgItem(kEdit)->SetWindowText("Fast");
    QTest::keyClick(dialog_.widget(), Qt::Key_Return);  // the default button is OK
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(dialog_.m_name, "Fast");
  EXPECT_EQ(dialog_.steps, (std::vector<std::string>{"init", "ok"}));
  EXPECT_FALSE(dialog_.IsWindow());
  EXPECT_EQ(dialog_.GetDlgItem(kEdit), nullptr);
}

TEST_F(DialogTest, EscapeAndTheCancelButtonEndWithIdCancelWithoutExchange) {
  INT_PTR result = RunDialog(dialog_, [&] {
    dialog_.GetDlgItem(kEdit)->SetWindowText("Changed");
    QTest::keyClick(dialog_.widget(), Qt::Key_Escape);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog_.m_name, "Group1");
  result = RunDialog(
      dialog_, [&] { QTest::mouseClick(dialog_.GetDlgItem(IDCANCEL)->widget(), Qt::LeftButton); });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DialogTest, DialogEndedWhileStartingNeverWaits) {
  dialog_.end_at_start = true;
  EXPECT_EQ(dialog_.DoModal(), IDCANCEL);
}

TEST_F(DialogTest, TooLongTextFailsTheExchangeWithTheLengthMessage) {
  INT_PTR result = RunDialog(dialog_, [&] {
    CWnd* edit = dialog_.GetDlgItem(kEdit);
    edit->SetWindowText("ElevenChars");  // the program's text is not cut by the limit
    QTest::mouseClick(dialog_.GetDlgItem(IDOK)->widget(), Qt::LeftButton);
    EXPECT_TRUE(dialog_.widget()->isVisible());
    EXPECT_EQ(CWnd::GetFocus(), edit);
    edit->SetWindowText("");
    Type(edit, "ElevenChars");  // typing is cut by the limit the exchange set
    QTest::mouseClick(dialog_.GetDlgItem(IDOK)->widget(), Qt::LeftButton);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(dialog_.m_name, "ElevenCh");
  auto boxes = sink_.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Please enter no more than 8 characters.");
  EXPECT_EQ(boxes[0].caption, "Test Title");
}

// Clears a variable of the environment for the life of the object and puts it back afterwards.
class UnsetVariable {
 public:
  explicit UnsetVariable(const char* name) : name_(name) {
    const char* value = getenv(name);
    if (value != nullptr) saved_ = value;
    had_ = value != nullptr;
    unsetenv(name);
  }
  ~UnsetVariable() {
    if (had_) setenv(name_, saved_.c_str(), 1);
  }
  UnsetVariable(const UnsetVariable&) = delete;
  UnsetVariable& operator=(const UnsetVariable&) = delete;

 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

// A run without a screen and without a program answering its windows: a modal window would wait
// for ever, so neither a dialog nor a sheet is shown; the notice names the commands the host gave.
TEST_F(DialogTest, WithoutAScreenAndWithTheDefaultSinkNoWindowWaits) {
  UnsetVariable display("DISPLAY");
  UnsetVariable wayland("WAYLAND_DISPLAY");
  {
    ScopedUiSink default_sink(nullptr);
    EXPECT_TRUE(NobodyToAnswer());
    pairway::SetUnattendedAlternative("use: pairwayctl group add NAME PORT...");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(dialog_.DoModal(), -1);
    CPropertySheet sheet("Sheet Title");
    CPropertyPage page(kTestTemplate);
    sheet.AddPage(&page);
    EXPECT_EQ(sheet.DoModal(), -1);
    std::string said = ::testing::internal::GetCapturedStderr();
    pairway::SetUnattendedAlternative("");
    EXPECT_TRUE(dialog_.steps.empty()) << "the dialog was initialised";
    EXPECT_NE(said.find("Test Dialog: there is no screen"), std::string::npos) << said;
    EXPECT_NE(said.find("Sheet Title: there is no screen"), std::string::npos) << said;
    EXPECT_NE(said.find("use: pairwayctl group add NAME PORT..."), std::string::npos) << said;
  }
  // A program with a sink of its own answers its windows: they are shown offscreen.
  EXPECT_FALSE(NobodyToAnswer());
  INT_PTR result = RunDialog(dialog_, [&] { QTest::keyClick(dialog_.widget(), Qt::Key_Escape); });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog_.steps, (std::vector<std::string>{"init", "cancel"}));
}

}  // namespace
}  // namespace pairway::ui
