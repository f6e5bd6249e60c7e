// The configuration sheet driven as a person drives it: rows clicked, buttons pressed, lists
// opened and closed, time-outs typed; the registry checked afterwards.
#define AGGCFG_TEST_FIXTURE
#include "groups_config_page.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>

#include "groups_config_sheet.h"
#include "qt_test_environment.h"
#include "test_hive.h"
#include "ui_test_support.h"

namespace aggcfg_test {
namespace {

[[maybe_unused]] const bool offscreen = pairway::ui::testing::RegisterQtOffscreenEnvironment();

using Names = std::vector<std::string>;
using pairway::ui::CWnd;
using pairway::ui::ID_APPLY_NOW;

class GroupsPageTest : public ConfigTest {
 protected:
  // Cards 1, 2, 3, 9 and 10, stand-alone with indexes card - 1 and autodetect.
  void MakeCards() {
    SetRefCount(5);
    for (int card : {1, 2, 3, 9, 10}) {
      AddCard(card);
      SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 1);
      SetDword(ParamsKey(card), VAL_CONNECTION_TYPE, 8);
    }
  }
  // Loads the configuration as the entry point does and shows the sheet with `script` run in
  // its modal loop. Returns how the sheet ended.
  INT_PTR Show(const std::string& current, const std::function<void()>& script) {
    model_ = LoadModel();
    theApp.LoadConfiguration(current);
    CGroupsConfigSheet sheet(AGGCFG_APP_TITLE);
    sheet_ = &sheet;
    theApp.m_pMainWnd = &sheet;
    // The sheet is the active window, as it is for a person, so the keyboard focus is its own.
    INT_PTR ended = pairway::ui::testing::RunSheet(sheet, [&] {
      Activate();
      script();
    });
    theApp.m_pMainWnd = nullptr;
    sheet_ = nullptr;
    return ended;
  }

  // Makes the sheet the active window, as it is for a person (and again once a list popped up
  // over it), so that the keyboard focus is its own.
  void Activate() {
    sheet_->widget()->activateWindow();
    QApplication::setActiveWindow(sheet_->widget());  // offscreen windows take no clicks
    EXPECT_TRUE(QTest::qWaitForWindowActive(sheet_->widget()));
  }
  CGroupsConfigPage& page() { return sheet_->groups_page(); }
  CWnd* Control(int id) { return page().GetDlgItem(id); }
  template <typename Widget>
  Widget* As(int id) {
    return qobject_cast<Widget*>(Control(id)->widget());
  }
  Names Items(int list_id) {
    auto* list = As<QListWidget>(list_id);
    Names names;
    for (int i = 0; i < list->count(); ++i) names.push_back(list->item(i)->text().toStdString());
    return names;
  }
  // Clicks the rows of `names`, the first plainly, the others with Ctrl held.
  void SelectRows(int list_id, const Names& names) {
    Names items = Items(list_id);
    for (size_t i = 0; i < names.size(); ++i) {
      auto row = std::find(items.begin(), items.end(), names[i]);
      ASSERT_NE(row, items.end()) << names[i];
      pairway::ui::testing::ClickRow(Control(list_id), static_cast<int>(row - items.begin()),
                                     i == 0 ? Qt::NoModifier : Qt::ControlModifier);
    }
  }
  void Press(int button_id) { QTest::mouseClick(Control(button_id)->widget(), Qt::LeftButton); }
  // Opens a drop-down list, moves to the item that begins with `text` and takes it with Return.
  void Choose(int combo_id, const std::string& text) {
    auto* combo = As<QComboBox>(combo_id);
    int row = combo->findText(QString::fromStdString(text), Qt::MatchStartsWith);
    ASSERT_GE(row, 0) << text;
    combo->showPopup();
    combo->view()->setCurrentIndex(combo->model()->index(row, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    // The close-up is reported once Qt has taken the choice and the list is gone.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !combo->view()->window()->isVisible(); }));
    QTest::qWait(20);
    Activate();
  }
  // Replaces the text of an edit (or a combo's edit field) key by key, as a person types.
  void Retype(int id, const std::string& text) {
    QWidget* widget = Control(id)->widget();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) widget = combo->lineEdit();
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_End);
    for (int i = 0; i < 24; ++i) QTest::keyClick(widget, Qt::Key_Backspace);
    QTest::keyClicks(widget, QString::fromStdString(text));
  }
  std::string FieldText(int id) {
    std::string text;
    Control(id)->GetWindowText(text);
    return text;
  }
  bool ApplyEnabled() { return sheet_->GetDlgItem(ID_APPLY_NOW)->IsWindowEnabled() != FALSE; }
  Names BoxTexts() const {
    Names texts;
    for (const auto& box : sink_.boxes()) texts.push_back(box.text);
    return texts;
  }

  pairway::ui::GuiSession session_;
  std::unique_ptr<CAdapterRegistry> model_;
  CGroupsConfigSheet* sheet_ = nullptr;
};

// The same change made on the page and by pairwayctl on a copy of the hive leaves the same hive.
class PageAndPairwayctlTest : public GroupsPageTest {
 protected:
  std::string Tool(const char* name) {
    return (pairway::testing::BuildDir() / "bin" / name).string();
  }
  std::string Export(const std::string& root) {
    std::string file = root + "/export.reg";
    EXPECT_EQ(pairway::testing::RunCommand("PAIRWAY_ROOT='" + root + "' " + Tool("pairway-reg") +
                                           " export HKLM '" + file + "' /y >/dev/null"),
              0);
    std::string text;
    pairway::testing::RunCommand("cat '" + file + "'", &text);
    return text;
  }
  // Copies the hive into a second root, makes the change there with pairwayctl `arguments` and
  // on the page with `script` followed by OK, and compares the two hives.
  void ExpectSameChange(const std::string& arguments, const std::function<void()>& script) {
    std::string page_root = root_.path().string();
    std::string copy = page_root + "/copy";
    std::string seed = Export(page_root);
    ASSERT_EQ(pairway::testing::RunCommand("mkdir -p '" + copy + "' && PAIRWAY_ROOT='" + copy +
                                           "' " + Tool("pairway-reg") + " import '" + page_root +
                                           "/export.reg' >/dev/null"),
              0);
    ASSERT_EQ(Export(copy), seed);
    std::string out;
    ASSERT_EQ(pairway::testing::RunCommand(
                  Tool("pairwayctl") + " --root '" + copy + "' --yes " + arguments + " 2>&1", &out),
              0)
        << out;
    EXPECT_EQ(Show("",
                   [&] {
                     script();
                     sheet_->PressButton(IDOK);
                   }),
              IDOK);
    std::string by_page = Export(page_root);
    EXPECT_NE(by_page, seed) << "the page changed nothing";
    EXPECT_EQ(Export(copy), by_page) << arguments;
  }
  void MakeGroup() {
    MakeCards();
    MakePrimaryPort(10, 9, 15, "Group1");
    MakeBackupPort(3, 2, 9);
  }
};

TEST_F(PageAndPairwayctlTest, CreateAgrees) {
  MakeCards();
  ExpectSameChange("group create - 1 2 --timeout 10", [&] {
    Choose(IDC_GROUP_NAMES, "<Create New Group>");
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN1", "TREVAN2"});
    Press(IDC_ADD_PORTS);
  });
}

TEST_F(PageAndPairwayctlTest, AddAgrees) {
  MakeGroup();
  ExpectSameChange("group add Group1 9", [&] {
    Choose(IDC_GROUP_NAMES, "Group1");
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN9"});
    Press(IDC_ADD_PORTS);
  });
}

TEST_F(PageAndPairwayctlTest, RemovingThePrimaryAgrees) {
  MakeGroup();
  ExpectSameChange("group remove 10", [&] {
    Choose(IDC_GROUP_NAMES, "Group1");
    SelectRows(IDC_GROUP_PORTS, {"TREVAN10"});
    Press(IDC_REMOVE_PORTS);
  });
}

TEST_F(PageAndPairwayctlTest, RenameAgrees) {
  MakeGroup();
  ExpectSameChange("group rename Group1 Fast", [&] {
    Choose(IDC_GROUP_NAMES, "Group1");
    Retype(IDC_GROUP_NAMES, "Fast");
  });
}

TEST_F(PageAndPairwayctlTest, TimeoutAgrees) {
  MakeGroup();
  ExpectSameChange("group timeout Group1 25", [&] {
    Choose(IDC_GROUP_NAMES, "Group1");
    Retype(IDC_LINK_CHECK_TIMEOUT, "25");
  });
}

TEST_F(GroupsPageTest, AddingToANewGroupThenOkWritesTheGroupWithItsHighestPortAsPrimary) {
  MakeCards();
  MakePrimaryPort(3, 2, 15, "Group1");
  INT_PTR ended = Show("", [&] {
    EXPECT_TRUE(Items(IDC_GROUP_PORTS).empty());
    EXPECT_TRUE(As<QLineEdit>(IDC_LINK_CHECK_TIMEOUT)->isReadOnly());
    EXPECT_FALSE(ApplyEnabled());
    Choose(IDC_GROUP_NAMES, "<Create New Group>");
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN9", "TREVAN10"});
    Press(IDC_ADD_PORTS);
    EXPECT_EQ(Items(IDC_GROUP_PORTS), (Names{"TREVAN9", "TREVAN10"}));
    EXPECT_EQ(Items(IDC_AVAILABLE_PORTS), (Names{"TREVAN1", "TREVAN2"}));
    EXPECT_EQ(FieldText(IDC_GROUP_NAMES), "Group2");
    EXPECT_EQ(CWnd::GetFocus(), Control(IDC_GROUP_NAMES));
    EXPECT_TRUE(ApplyEnabled());
    Retype(IDC_LINK_CHECK_TIMEOUT, "4x5");  // the letter is filtered out
    EXPECT_EQ(FieldText(IDC_LINK_CHECK_TIMEOUT), "45");
    sheet_->PressButton(IDOK);
  });
  EXPECT_EQ(ended, IDOK);
  EXPECT_TRUE(BoxTexts().empty());
  ExpectPrimary(10, 45, "Group2");
  ExpectBackup(9, 9);
  ExpectPrimary(3, 15, "Group1");
  ExpectStandalone(1);
  EXPECT_EQ(Text(CardKey(9), VAL_TITLE), "[9] Corvane Port <Group2>");
  EXPECT_EQ(theApp.m_appliedChanges, 1);
}

TEST_F(GroupsPageTest, AddressesGoAtOnceWhenConfirmedAndStayGoneAfterCancel) {
  MakeCards();
  GiveIpSettings(1);
  GiveIpSettings(2);
  INT_PTR ended = Show("", [&] {
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN1", "TREVAN2", "TREVAN3"});
    sink_.Answer(IDCANCEL);
    Press(IDC_ADD_PORTS);
    EXPECT_TRUE(Has(TcpipKey(1), VAL_IP_ADDRESS));
    EXPECT_TRUE(Items(IDC_GROUP_PORTS).empty());
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN1", "TREVAN2", "TREVAN3"});
    sink_.Answer(IDOK);
    Press(IDC_ADD_PORTS);
    EXPECT_FALSE(Has(TcpipKey(1), VAL_IP_ADDRESS));
    EXPECT_FALSE(Has(TcpipKey(2), VAL_DEFAULT_GATEWAY));
    sheet_->PressButton(IDCANCEL);
  });
  EXPECT_EQ(ended, IDCANCEL);
  const char* question =
      "This action will remove IP Address for following Port(s)\nTREVAN1\nTREVAN2\n";
  EXPECT_EQ(BoxTexts(), (Names{question, question}));
  EXPECT_FALSE(Has(TcpipKey(1), VAL_IP_ADDRESS));
  EXPECT_FALSE(Has(TcpipKey(2), VAL_SUBNET_MASK));
  EXPECT_FALSE(Has(ParamsKey(1), VAL_PRIMARY_INDEX)) << "the group itself was never applied";
  EXPECT_EQ(theApp.m_appliedChanges, 2);
}

TEST_F(GroupsPageTest, EmptyTimeoutIsReportedAndOkStillCloses) {
  MakeCards();
  MakePrimaryPort(2, 1, 30, "Pair");
  MakeBackupPort(1, 0, 1);
  INT_PTR ended = Show("TREVAN2", [&] {
    EXPECT_EQ(Items(IDC_GROUP_PORTS), (Names{"TREVAN1", "TREVAN2"}));
    EXPECT_EQ(FieldText(IDC_LINK_CHECK_TIMEOUT), "30");
    Retype(IDC_LINK_CHECK_TIMEOUT, "");
    sheet_->PressButton(IDOK);
  });
  EXPECT_EQ(ended, IDOK);
  EXPECT_EQ(BoxTexts(), (Names{"Error ** Link Check Time Out Can Not Be Empty!! **"}));
  EXPECT_EQ(Dword(ParamsKey(2), VAL_LINK_CHECK_TIMEOUT), 30u);
  EXPECT_EQ(theApp.m_appliedChanges, 0);
}

TEST_F(GroupsPageTest, StoredFourDigitTimeoutKeepsThePageUntilItIsCut) {
  MakeCards();
  MakePrimaryPort(2, 1, 1000, "Slow");
  INT_PTR ended = Show("TREVAN2", [&] {
    EXPECT_EQ(FieldText(IDC_LINK_CHECK_TIMEOUT), "1000");
    EXPECT_FALSE(sheet_->PressButton(IDOK) && !sheet_->widget()->isVisible());
    EXPECT_TRUE(sheet_->widget()->isVisible());
    EXPECT_EQ(CWnd::GetFocus(), Control(IDC_LINK_CHECK_TIMEOUT));
    QTest::keyClick(Control(IDC_LINK_CHECK_TIMEOUT)->widget(), Qt::Key_End);
    QTest::keyClick(Control(IDC_LINK_CHECK_TIMEOUT)->widget(), Qt::Key_Backspace);
    sheet_->PressButton(IDOK);
  });
  EXPECT_EQ(ended, IDOK);
  EXPECT_EQ(BoxTexts(), (Names{"Please enter no more than 3 characters."}));
  EXPECT_EQ(Dword(ParamsKey(2), VAL_LINK_CHECK_TIMEOUT), 100u);
}

TEST_F(GroupsPageTest, TypedPrefixOfAGroupNameFormsNoGroup) {
  MakeCards();
  MakePrimaryPort(2, 1, 30, "Group1");
  INT_PTR ended = Show("TREVAN2", [&] {
    Retype(IDC_GROUP_NAMES, "group");
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN3"});
    Press(IDC_ADD_PORTS);
    EXPECT_EQ(Items(IDC_GROUP_PORTS), (Names{"TREVAN2"}));
    EXPECT_EQ(theApp.m_groups.size(), 1u);
    sheet_->PressButton(IDOK);
  });
  EXPECT_EQ(ended, IDOK);
  ExpectStandalone(3);
  ExpectPrimary(2, 30, "Group1");  // a prefix renames nothing either
}

// A group name list with no room for another name: Add forms no group and says so, while the
// addresses it was allowed to delete are gone already.
TEST_F(GroupsPageTest, FullGroupNameListRefusesTheNewGroupAndSaysSo) {
  MakeCards();
  MakePrimaryPort(2, 1, 30, "Group1");
  GiveIpSettings(9);
  INT_PTR ended = Show("", [&] {
    auto* combo = dynamic_cast<pairway::ui::CComboBox*>(Control(IDC_GROUP_NAMES));
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->GetCount(), 2);
    combo->SetItemLimit(2);
    Choose(IDC_GROUP_NAMES, "<Create New Group>");
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN9"});
    sink_.Answer(IDOK);
    Press(IDC_ADD_PORTS);
    EXPECT_TRUE(Items(IDC_GROUP_PORTS).empty());
    EXPECT_EQ(Items(IDC_AVAILABLE_PORTS), (Names{"TREVAN1", "TREVAN3", "TREVAN9", "TREVAN10"}));
    EXPECT_EQ(combo->GetCount(), 2);
    EXPECT_EQ(theApp.m_groups.size(), 1u);
    sheet_->PressButton(IDOK);
  });
  EXPECT_EQ(ended, IDOK);
  ASSERT_EQ(BoxTexts().size(), 2u);
  EXPECT_EQ(BoxTexts()[1], "New Group Name Not Added");
  EXPECT_EQ(sink_.boxes()[1].caption, AGGCFG_APP_TITLE);
  EXPECT_EQ(sink_.boxes()[1].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_FALSE(Has(TcpipKey(9), VAL_IP_ADDRESS));
  ExpectStandalone(9);
  ExpectPrimary(2, 30, "Group1");
}

TEST_F(GroupsPageTest, RemovingTheLastPortsDropsTheGroupAndCleansTitles) {
  MakeCards();
  MakePrimaryPort(2, 1, 30, "Pair");
  MakeBackupPort(1, 0, 1);
  SetText(CardKey(1), VAL_TITLE, "Adapter 1 <Pair>");
  INT_PTR ended = Show("TREVAN1", [&] {
    SelectRows(IDC_GROUP_PORTS, {"TREVAN1", "TREVAN2"});
    Press(IDC_REMOVE_PORTS);
    EXPECT_TRUE(Items(IDC_GROUP_PORTS).empty());
    auto* combo = As<QComboBox>(IDC_GROUP_NAMES);
    EXPECT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->currentText().toStdString(), "");
    EXPECT_EQ(Items(IDC_AVAILABLE_PORTS),
              (Names{"TREVAN1", "TREVAN2", "TREVAN3", "TREVAN9", "TREVAN10"}));
    sheet_->PressButton(ID_APPLY_NOW);
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_TRUE(As<QLineEdit>(IDC_LINK_CHECK_TIMEOUT)->isReadOnly());
    sheet_->PressButton(IDCANCEL);
  });
  EXPECT_EQ(ended, IDCANCEL);
  ExpectStandalone(1);
  ExpectStandalone(2);
  EXPECT_EQ(Text(CardKey(1), VAL_TITLE), "Adapter 1");
  EXPECT_EQ(theApp.m_appliedChanges, 1);
}

TEST_F(GroupsPageTest, ChosenConnectionTypeReachesTheSelectedPorts) {
  MakeCards();
  SetDword(ParamsKey(3), VAL_CONNECTION_TYPE, 259);
  Show("", [&] {
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN3"});
    EXPECT_EQ(As<QComboBox>(IDC_CONNECTION_TYPES)->currentIndex(), -1);
    SelectRows(IDC_AVAILABLE_PORTS, {"TREVAN1", "TREVAN2"});
    Choose(IDC_CONNECTION_TYPES, "100 Mbps/Full");
    EXPECT_TRUE(ApplyEnabled());
    sheet_->PressButton(IDOK);
  });
  EXPECT_EQ(Dword(ParamsKey(1), VAL_CONNECTION_TYPE), 384u);
  EXPECT_EQ(Dword(ParamsKey(2), VAL_CONNECTION_TYPE), 384u);
  EXPECT_EQ(Dword(ParamsKey(3), VAL_CONNECTION_TYPE), 259u);
}

TEST_F(GroupsPageTest, HelpNamesTheTopicOfTheFocusedControl) {
  MakeCards();
  Show("", [&] {
    Control(IDC_AVAILABLE_PORTS)->SetFocus();
    QTest::keyClick(Control(IDC_AVAILABLE_PORTS)->widget(), Qt::Key_F1);
    Control(IDC_LINK_CHECK_TIMEOUT)->SetFocus();
    sheet_->PressButton(IDHELP);  // pressed by the program: the focus stays in the time-out
    sheet_->PressButton(IDCANCEL);
  });
  auto help = sink_.help();
  ASSERT_EQ(help.size(), 2u);
  EXPECT_EQ(help[0].command, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(help[0].data, 9u);
  EXPECT_EQ(help[1].data, 13u);
}

}  // namespace
}  // namespace aggcfg_test
