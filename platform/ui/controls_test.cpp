// The control classes as the dialogs use them: searches, selections, limits, flags, and which
// changes are reported to the dialog.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>

#include "ui_test_support.h"

namespace pairway::ui {
namespace {

using testing::ClickRow;
using testing::kAdd;
using testing::kChoice;
using testing::kEdit;
using testing::kList;
using testing::kTestTemplate;
using testing::kTyped;
using testing::RunDialog;
using testing::Type;

// A dialog that counts the notifications of its controls.
class CountingDialog : public CDialog {
 public:
  CountingDialog() : CDialog(kTestTemplate) {
    for (auto [id, code] : std::initializer_list<std::pair<int, UINT>>{{kList, LBN_SELCHANGE},
                                                                       {kChoice, CBN_SELCHANGE},
                                                                       {kChoice, CBN_CLOSEUP},
                                                                       {kTyped, CBN_EDITCHANGE},
                                                                       {kTyped, CBN_SELCHANGE},
                                                                       {kEdit, EN_CHANGE}}) {
      SetHandler(id, code, [this, id, code] { Record(id, code); });
    }
  }
  int count(int id, UINT code) const {
    int n = 0;
    for (auto& seen : seen_) n += seen == std::make_pair(id, code) ? 1 : 0;
    return n;
  }
  // The selection the combo box had when its list closed.
  int selection_at_closeup = -2;

  CListBox m_list;
  CComboBox m_choice, m_typed;
  CEdit m_edit;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, kList, m_list);
    DDX_Control(pDX, kChoice, m_choice);
    DDX_Control(pDX, kTyped, m_typed);
    DDX_Control(pDX, kEdit, m_edit);
  }

 private:
  void Record(int id, UINT code) {
    if (id == kChoice && code == CBN_CLOSEUP) selection_at_closeup = m_choice.GetCurSel();
    seen_.emplace_back(id, code);
  }
  std::vector<std::pair<int, UINT>> seen_;
};

class ControlsTest : public testing::UiTest {
 protected:
  CountingDialog dialog_;
};

TEST_F(ControlsTest, ListBoxPrefixSearchIgnoresCaseStartsAfterTheIndexAndWraps) {
  RunDialog(dialog_, [&] {
    CListBox& list = dialog_.m_list;
    for (const char* name : {"TREVAN1", "trevan10", "Group1", "TREVAN2"}) list.AddString(name);
    EXPECT_EQ(list.FindString(-1, "trevan"), 0);
    EXPECT_EQ(list.FindString(0, "TREVAN"), 1);   // the search starts after item 0
    EXPECT_EQ(list.FindString(3, "trevan1"), 0);  // and comes round to the top
    EXPECT_EQ(list.FindString(-1, "group"), 2);
    EXPECT_EQ(list.FindString(-1, "TREVAN3"), LB_ERR);
    EXPECT_EQ(list.FindString(-1, ""), 0);  // an empty prefix matches the first item
    EXPECT_EQ(list.FindStringExact(-1, "trevan1"), 0);
    EXPECT_EQ(list.FindStringExact(0, "TREVAN1"), 0);  // found again after wrapping
    EXPECT_EQ(list.FindStringExact(-1, "TREVAN"), LB_ERR);
    EXPECT_EQ(dialog_.m_typed.FindString(-1, "gr"), 1);  // "green" before "GREY"
    EXPECT_EQ(dialog_.m_typed.FindString(1, "gr"), 3);
    EXPECT_EQ(dialog_.m_typed.FindStringExact(-1, "blue"), 2);
  });
}

TEST_F(ControlsTest, ListBoxReportsOnlyThePersonsSelectionChanges) {
  RunDialog(dialog_, [&] {
    CListBox& list = dialog_.m_list;
    for (const char* name : {"TREVAN1", "TREVAN2", "TREVAN3", "TREVAN4"}) list.AddString(name);
    list.SetSel(1);
    list.SetSel(-1, FALSE);
    list.SetCaretIndex(2);
    EXPECT_EQ(dialog_.count(kList, LBN_SELCHANGE), 0);

    ClickRow(&list, 3);
    ClickRow(&list, 1, Qt::ControlModifier);
    EXPECT_GE(dialog_.count(kList, LBN_SELCHANGE), 2);
    EXPECT_EQ(list.GetSelCount(), 2);
    int selected[4] = {};
    ASSERT_EQ(list.GetSelItems(4, selected), 2);
    EXPECT_EQ(selected[0], 1);  // ascending, whatever the order of the clicks
    EXPECT_EQ(selected[1], 3);
    EXPECT_EQ(list.GetCaretIndex(), 1);

    int before = dialog_.count(kList, LBN_SELCHANGE);
    EXPECT_EQ(list.DeleteString(1), 3);  // deleting a selected item is no person's change
    EXPECT_EQ(dialog_.count(kList, LBN_SELCHANGE), before);
    EXPECT_EQ(list.GetSel(2), 1);  // TREVAN4 moved up and stays selected
    EXPECT_EQ(list.GetSel(7), LB_ERR);
    EXPECT_EQ(list.DeleteString(7), LB_ERR);
    std::string text;
    EXPECT_EQ(list.GetText(2, text), 7);
    EXPECT_EQ(text, "TREVAN4");
    EXPECT_EQ(list.InsertString(0, "TREVAN0"), 0);
    EXPECT_EQ(list.SetItemData(0, 77), LB_OKAY);
    EXPECT_EQ(list.GetItemData(0), 77u);
  });
}

TEST_F(ControlsTest, ComboBoxReportsTheChoiceBeforeItsListCloses) {
  RunDialog(dialog_, [&] {
    CComboBox& combo = dialog_.m_choice;
    auto* widget = qobject_cast<QComboBox*>(combo.widget());
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    combo.SetCurSel(1);
    EXPECT_EQ(dialog_.count(kChoice, CBN_SELCHANGE), 0);

    widget->showPopup();
    QTest::keyClick(widget->view(), Qt::Key_Down);
    QTest::keyClick(widget->view(), Qt::Key_Return);
    QTest::qWait(20);  // the close-up is reported once Qt has taken the choice
    EXPECT_EQ(dialog_.count(kChoice, CBN_SELCHANGE), 1);
    EXPECT_EQ(dialog_.count(kChoice, CBN_CLOSEUP), 1);
    EXPECT_EQ(dialog_.selection_at_closeup, 2);
    std::string text;
    EXPECT_EQ(combo.GetLBText(2, text), 4);
    EXPECT_EQ(text, "Blue");

    EXPECT_EQ(combo.SetCurSel(-1), CB_ERR);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(combo.AddString("Black"), 4);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);  // adding selects nothing
  });
}

TEST_F(ControlsTest, FullComboBoxRefusesAnotherItemWithErrSpaceAndStaysAsItWas) {
  RunDialog(dialog_, [&] {
    CComboBox& combo = dialog_.m_typed;
    ASSERT_EQ(combo.GetCount(), 4);
    combo.SetWindowText("typed");
    combo.SetItemLimit(5);
    EXPECT_EQ(combo.GetItemLimit(), 5);
    EXPECT_EQ(combo.AddString("Black"), 4);
    EXPECT_EQ(combo.AddString("White"), CB_ERRSPACE);
    EXPECT_EQ(combo.InsertString(0, "White"), CB_ERRSPACE);
    EXPECT_EQ(combo.GetCount(), 5);
    EXPECT_EQ(combo.FindStringExact(-1, "White"), CB_ERR);
    std::string text;
    combo.GetWindowText(text);
    EXPECT_EQ(text, "typed");  // a refused add leaves the edit field alone
    // A limit below the count keeps the items; room comes back as items go.
    combo.SetItemLimit(3);
    EXPECT_EQ(combo.GetCount(), 5);
    EXPECT_EQ(combo.AddString("White"), CB_ERRSPACE);
    combo.DeleteString(0);
    combo.DeleteString(0);
    EXPECT_EQ(combo.AddString("White"), CB_ERRSPACE);
    combo.DeleteString(0);
    EXPECT_EQ(combo.AddString("White"), 2);
  });
}

TEST_F(ControlsTest, EditableComboBoxReportsTypingButNotTheProgramsTextAndKeepsItsLimit) {
  RunDialog(dialog_, [&] {
    CComboBox& combo = dialog_.m_typed;
    combo.LimitText(5);
    combo.SetWindowText("a long name set by the program");
    EXPECT_EQ(dialog_.count(kTyped, CBN_EDITCHANGE), 0);
    std::string text;
    combo.GetWindowText(text);
    EXPECT_EQ(text, "a long name set by the program");  // the limit is for typing only

    combo.SetCurSel(-1);
    EXPECT_EQ(combo.GetWindowTextLength(), 0);
    combo.SetFocus();
    Type(&combo, "Group12");
    combo.GetWindowText(text);
    EXPECT_EQ(text, "Group");
    EXPECT_EQ(dialog_.count(kTyped, CBN_EDITCHANGE), 5);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);  // typing neither completes nor selects
  });
}

TEST_F(ControlsTest, EditModifyFlagFollowsThePersonAndChangesAreAlwaysReported) {
  RunDialog(dialog_, [&] {
    CEdit& edit = dialog_.m_edit;
    edit.SetWindowText("10");
    EXPECT_FALSE(edit.GetModify());
    EXPECT_EQ(dialog_.count(kEdit, EN_CHANGE), 1);
    edit.SetWindowText("10");  // the same text is still a change to report
    EXPECT_EQ(dialog_.count(kEdit, EN_CHANGE), 2);

    edit.SetFocus();
    QTest::keyClick(edit.widget(), Qt::Key_End);
    Type(&edit, "5");
    EXPECT_TRUE(edit.GetModify());
    EXPECT_EQ(dialog_.count(kEdit, EN_CHANGE), 3);
    edit.SetWindowText("7");
    EXPECT_FALSE(edit.GetModify());
    edit.SetModify(TRUE);
    EXPECT_TRUE(edit.GetModify());

    edit.SetReadOnly(TRUE);
    EXPECT_TRUE(edit.IsReadOnly());
    Type(&edit, "9");
    std::string text;
    edit.GetWindowText(text);
    EXPECT_EQ(text, "7");
  });
}

TEST_F(ControlsTest, EditLimitCutsTypingAndPastingButKeepsLongerTextOfTheProgram) {
  RunDialog(dialog_, [&] {
    CEdit& edit = dialog_.m_edit;
    edit.LimitText(3);
    EXPECT_EQ(edit.GetLimitText(), 3u);
    edit.SetWindowText("1000");
    edit.SetFocus();
    QTest::keyClick(edit.widget(), Qt::Key_End);
    Type(&edit, "7");  // no room: refused
    std::string text;
    edit.GetWindowText(text);
    EXPECT_EQ(text, "1000");
    QTest::keyClick(edit.widget(), Qt::Key_Backspace);  // shortening is always allowed
    edit.GetWindowText(text);
    EXPECT_EQ(text, "100");

    edit.SetWindowText("");
    QApplication::clipboard()->setText(QStringLiteral("12345"));
    QTest::keyClick(edit.widget(), Qt::Key_V, Qt::ControlModifier);
    edit.GetWindowText(text);
    EXPECT_EQ(text, "123");  // pasted text is cut to the room left
  });
}

// A CEdit that keeps letters out, as a filtering edit derived from it does.
class DigitsOnlyEdit : public CEdit {
 public:
  void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) override {
    if (nChar < 0x20 || (nChar >= '0' && nChar <= '9')) {
      CEdit::OnChar(nChar, nRepCnt, nFlags);
    } else {
      ++dropped;
    }
  }
  int dropped = 0;
};

TEST_F(ControlsTest, DerivedEditSeesTypedCharactersFirstButNotPastedText) {
  DigitsOnlyEdit digits;
  RunDialog(dialog_, [&] {
    ASSERT_TRUE(digits.SubclassDlgItem(kEdit, &dialog_));
    EXPECT_EQ(dialog_.GetDlgItem(kEdit), &digits);
    digits.SetFocus();
    Type(&digits, "1a2");
    std::string text;
    digits.GetWindowText(text);
    EXPECT_EQ(text, "12");
    EXPECT_EQ(digits.dropped, 1);
    QTest::keyClick(digits.widget(), Qt::Key_Backspace);  // control characters pass
    QApplication::clipboard()->setText(QStringLiteral("x9"));
    QTest::keyClick(digits.widget(), Qt::Key_V, Qt::ControlModifier);
    digits.GetWindowText(text);
    EXPECT_EQ(text, "1x9");
  });
  EXPECT_FALSE(digits.IsWindow());  // detached when the dialog closed
}

TEST_F(ControlsTest, ButtonClickReachesItsNamedHandler) {
  class AddDialog : public CDialog {
   public:
    AddDialog() : CDialog(kTestTemplate) {
      static const NotifyEntry<AddDialog> kHandlers[] = {{kAdd, BN_CLICKED, &AddDialog::OnAdd}};
      MapHandlers(this, kHandlers);
    }
    void OnAdd() { ++adds; }
    int adds = 0;
  } dialog;
  RunDialog(dialog, [&] {
    auto* add = dialog.GetDlgItem(kAdd);
    ASSERT_NE(add, nullptr);
    QTest::mouseClick(add->widget(), Qt::LeftButton);
    add->EnableWindow(FALSE);
    QTest::mouseClick(add->widget(), Qt::LeftButton);  // a disabled button does nothing
  });
  EXPECT_EQ(dialog.adds, 1);
}

}  // namespace
}  // namespace pairway::ui
