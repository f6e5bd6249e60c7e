// Modal dialogs: how they end, and data exchange with its length check.
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

}  // namespace
}  // namespace pairway::ui
