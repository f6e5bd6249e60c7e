// The time-out field's filter: typed characters by class, with the beep and the parent's
// command; pasted text and the dialog's keys untouched.
#include <QApplication>
#include <QClipboard>

#include "char_filter_edit.h"
#include "qt_test_environment.h"
#include "ui_test_support.h"

namespace {

using pairway::ui::CDialog;
using pairway::ui::testing::kEdit;
using pairway::ui::testing::kTestTemplate;
using pairway::ui::testing::RunDialog;
using pairway::ui::testing::Type;

[[maybe_unused]] const bool registered = pairway::ui::testing::RegisterQtOffscreenEnvironment();

// A dialog that notes the commands its controls send it.
class TimeoutDialog : public CDialog {
 public:
  TimeoutDialog() : CDialog(kTestTemplate) {}
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
    if (LOWORD(wParam) == kEdit && HIWORD(wParam) == 0) refusals.push_back(lParam);
    return CDialog::OnCommand(wParam, lParam);
  }
  std::vector<LPARAM> refusals;
  CCharFilterEdit m_timeout;
};

class CharFilterEditTest : public pairway::ui::testing::UiTest {
 protected:
  TimeoutDialog dialog_;
  std::string Text() {
    std::string text;
    dialog_.m_timeout.GetWindowText(text);
    return text;
  }
};

TEST_F(CharFilterEditTest, DigitsOnlyDropsOtherTypedCharactersWithBeepAndCommand) {
  RunDialog(dialog_, [&] {
    ASSERT_TRUE(dialog_.m_timeout.SubclassEdit(kEdit, &dialog_, kCharClassDigit));
    dialog_.m_timeout.SetFocus();
    Type(&dialog_.m_timeout, "1a-2 ");
    EXPECT_EQ(Text(), "12");
    QTest::keyClick(dialog_.m_timeout.widget(), Qt::Key_Backspace);
    EXPECT_EQ(Text(), "1");
  });
  EXPECT_EQ(sink_.beeps(), (std::vector<UINT>{MB_ICONQUESTION, MB_ICONQUESTION, MB_ICONQUESTION}));
  ASSERT_EQ(dialog_.refusals.size(), 3u);
  EXPECT_LT(dialog_.refusals[0], 0);  // the handle's low word with the top bit set
}

TEST_F(CharFilterEditTest, MaskLetsThroughEveryClassItSharesABitWith) {
  RunDialog(dialog_, [&] {
    ASSERT_TRUE(
        dialog_.m_timeout.SubclassEdit(kEdit, &dialog_, kCharClassLetter | kCharClassMinus));
    dialog_.m_timeout.SetFocus();
    Type(&dialog_.m_timeout, "a-1 b.");
    EXPECT_EQ(Text(), "a- b");  // a blank goes with letters
  });
  EXPECT_EQ(sink_.beeps().size(), 2u);
}

TEST_F(CharFilterEditTest, PastedTextIsTakenUnchanged) {
  RunDialog(dialog_, [&] {
    ASSERT_TRUE(dialog_.m_timeout.SubclassEdit(kEdit, &dialog_, kCharClassDigit));
    dialog_.m_timeout.SetFocus();
    QApplication::clipboard()->setText(QStringLiteral("x9"));
    QTest::keyClick(dialog_.m_timeout.widget(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(), "x9");
  });
  EXPECT_TRUE(sink_.beeps().empty());
}

TEST_F(CharFilterEditTest, DialogKeysGoToTheDialog) {
  INT_PTR result = RunDialog(dialog_, [&] {
    ASSERT_TRUE(dialog_.m_timeout.SubclassEdit(kEdit, &dialog_, kCharClassDigit));
    dialog_.m_timeout.SetFocus();
    QTest::keyClick(dialog_.m_timeout.widget(), Qt::Key_Tab);
    EXPECT_NE(pairway::ui::CWnd::GetFocus(), &dialog_.m_timeout);
    dialog_.m_timeout.SetFocus();
    QTest::keyClick(dialog_.m_timeout.widget(), Qt::Key_Return);  // the default button: OK
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_TRUE(sink_.beeps().empty());
  EXPECT_FALSE(dialog_.m_timeout.SubclassEdit(kEdit, &dialog_, kCharClassDigit));  // closed
}

}  // namespace
