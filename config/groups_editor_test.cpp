#define AGGCFG_TEST_FIXTURE
#include "groups_editor.h"

#include <gtest/gtest.h>

#include "test_hive.h"

namespace aggcfg_test {
namespace {

using Names = std::vector<std::string>;

// Cards 1 to 4 and 9 and 10 of the driver, stand-alone with indexes card - 1, titles
// "[n] Corvane Port", and the rules of the page on a freshly loaded configuration.
class GroupsEditorTest : public ConfigTest {
 protected:
  void MakeCards(std::initializer_list<int> cards = {1, 2, 3, 4, 9, 10}) {
    SetRefCount(static_cast<DWORD>(cards.size()));
    for (int card : cards) {
      AddCard(card);
      SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 1);
      SetDword(ParamsKey(card), VAL_CONNECTION_TYPE, 8);
    }
  }
  void Open(const std::string& current = "") {
    model_ = LoadModel();
    theApp.LoadConfiguration(current);
    editor_.OnInitDialog();
  }
  GroupsPageControls& c() { return editor_.controls(); }
  void SelectAvailable(const Names& names) {
    c().available_selection.clear();
    for (const auto& name : names) c().available_selection.push_back(Position(c().available, name));
    editor_.OnAvailableSelectionChanged();
  }
  void SelectGroupPorts(const Names& names) {
    c().group_port_selection.clear();
    for (const auto& name : names) {
      c().group_port_selection.push_back(Position(c().group_ports, name));
    }
    editor_.OnGroupPortSelectionChanged();
  }
  void ChooseGroup(const std::string& name) {
    c().group_choice = Position(c().group_names, name);
    editor_.OnGroupListClosed();
  }
  void TypeGroupName(const std::string& name) {
    c().group_text = name;
    editor_.OnGroupTextEdited();
  }
  void TypeTimeout(const std::string& text) {
    c().timeout_text = text;
    c().timeout_modified = true;
    editor_.OnTimeoutChanged();
  }
  // What the sheet does for Apply: leave the page (the data exchange), then apply.
  void Apply() {
    editor_.OnKillActive();
    editor_.m_strTimeout = c().timeout_text;
    editor_.m_strGroupName = c().group_text;
    editor_.OnApply();
  }
  static int Position(const Names& items, const std::string& name) {
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i] == name) return static_cast<int>(i);
    }
    ADD_FAILURE() << name << " is not listed";
    return -1;
  }
  Names BoxTexts() const {
    Names texts;
    for (const auto& box : sink_.boxes()) texts.push_back(box.text);
    return texts;
  }

  std::unique_ptr<CAdapterRegistry> model_;
  CGroupsEditor editor_{&theApp};
};

TEST_F(GroupsEditorTest, AddWithNoGroupShownFormsTheSmallestFreeDefaultGroup) {
  MakeCards();
  MakePrimaryPort(3, 2, 5, "Group1");
  MakePrimaryPort(4, 3, 5, "Group3");
  Open();
  ASSERT_EQ(c().group_names, (Names{"<Create New Group>", "Group1", "Group3"}));
  EXPECT_TRUE(c().timeout_read_only);
  SelectAvailable({"TREVAN2", "TREVAN9"});
  EXPECT_EQ(editor_.OnAdd(), GroupNameField::kSelectAndFocus);
  EXPECT_EQ(c().group_text, "Group2");
  EXPECT_EQ(c().group_names.back(), "Group2");
  EXPECT_EQ(c().group_ports, (Names{"TREVAN2", "TREVAN9"}));
  EXPECT_EQ(c().available, (Names{"TREVAN1", "TREVAN10"}));
  EXPECT_FALSE(c().timeout_read_only);
  EXPECT_TRUE(editor_.page_modified());
  EXPECT_TRUE(BoxTexts().empty());
  ASSERT_EQ(theApp.m_groups.size(), 3u);
  EXPECT_EQ(theApp.m_groups[2]->m_ports, (Names{"TREVAN2", "TREVAN9"}));
  EXPECT_EQ(theApp.m_groups[2]->m_timeout, "10");
  EXPECT_FALSE(Has(ParamsKey(2), VAL_PRIMARY_INDEX)) << "nothing is written before Apply";
}

TEST_F(GroupsEditorTest, DefaultNameSkipsNumbersTakenOrBeginningAListedName) {
  MakeCards();
  // "Group" alone counts as number 0; "Group123" as 12; Group1 begins Group10.
  MakePrimaryPort(1, 0, 5, "Group");
  MakePrimaryPort(2, 1, 5, "Group10");
  MakePrimaryPort(3, 2, 5, "Group123");
  MakePrimaryPort(4, 3, 5, "Group2");
  Open();
  EXPECT_EQ(editor_.NextDefaultGroupNumber(), 3);
  SelectAvailable({"TREVAN9"});
  editor_.OnAdd();
  EXPECT_EQ(theApp.m_groups.back()->m_name, "Group3");
  EXPECT_EQ(theApp.m_groups.back()->m_ports, (Names{"TREVAN9"}));
}

TEST_F(GroupsEditorTest, TypedPrefixOfAGroupNameFormsNoGroupButRemovesAddresses) {
  MakeCards();
  MakePrimaryPort(2, 1, 5, "Group1");
  GiveIpSettings(2);
  GiveIpSettings(3);
  Open("TREVAN2");
  ASSERT_EQ(c().group_ports, (Names{"TREVAN2"}));
  TypeGroupName("group");
  SelectAvailable({"TREVAN3"});
  sink_.Answer(IDOK);
  editor_.OnAdd();
  ASSERT_EQ(BoxTexts(),
            (Names{"This action will remove IP Address for following Port(s)\nTREVAN3\n"}));
  EXPECT_EQ(sink_.boxes()[0].type, static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION));
  EXPECT_EQ(theApp.m_groups.size(), 1u);
  EXPECT_EQ(theApp.m_groups[0]->m_ports, (Names{"TREVAN2"}));
  EXPECT_EQ(c().available, (Names{"TREVAN1", "TREVAN3", "TREVAN4", "TREVAN9", "TREVAN10"}));
  // The selected port's settings count as a change; the shown group's are cleared as well.
  EXPECT_FALSE(Has(TcpipKey(3), VAL_IP_ADDRESS));
  EXPECT_FALSE(Has(TcpipKey(3), VAL_SUBNET_MASK));
  EXPECT_FALSE(Has(TcpipKey(2), VAL_IP_ADDRESS));
  EXPECT_EQ(theApp.m_appliedChanges, 1);
}

TEST_F(GroupsEditorTest, CancelledAddressQuestionChangesNothing) {
  MakeCards();
  GiveIpSettings(1);
  Open();
  SelectAvailable({"TREVAN1", "TREVAN2"});
  sink_.Answer(IDCANCEL);
  EXPECT_EQ(editor_.OnAdd(), GroupNameField::kLeave);
  EXPECT_TRUE(Has(TcpipKey(1), VAL_IP_ADDRESS));
  EXPECT_TRUE(theApp.m_groups.empty());
  EXPECT_EQ(c().available.size(), 6u);
  EXPECT_FALSE(editor_.page_modified());
  EXPECT_EQ(theApp.m_appliedChanges, 0);
}

TEST_F(GroupsEditorTest, AddOrRemoveWithoutSelectionSaysSo) {
  MakeCards();
  Open();
  EXPECT_EQ(editor_.OnAdd(), GroupNameField::kLeave);
  EXPECT_EQ(editor_.OnRemove(), GroupNameField::kSelectText);
  EXPECT_EQ(BoxTexts(), (Names{" Port Not Selected!!! ", " Port Not Selected!!! "}));
  EXPECT_EQ(sink_.boxes()[0].caption, AGGCFG_APP_TITLE);
  EXPECT_FALSE(editor_.page_modified());
}

TEST_F(GroupsEditorTest, RemovingTheLastPortsDropsExactlyThatGroupName) {
  MakeCards();
  MakePrimaryPort(2, 1, 5, "Group10");
  MakePrimaryPort(4, 3, 5, "Group1");
  MakeBackupPort(3, 2, 3);
  Open("TREVAN4");
  ASSERT_EQ(c().group_ports, (Names{"TREVAN3", "TREVAN4"}));
  SelectGroupPorts({"TREVAN3", "TREVAN4"});
  editor_.OnRemove();
  EXPECT_EQ(c().group_names, (Names{"<Create New Group>", "Group10"}));
  EXPECT_EQ(c().group_choice, -1);
  EXPECT_EQ(c().group_text, "");
  EXPECT_EQ(c().available, (Names{"TREVAN1", "TREVAN3", "TREVAN4", "TREVAN9", "TREVAN10"}));
  ASSERT_EQ(theApp.m_groups.size(), 1u);
  EXPECT_EQ(theApp.m_groups[0]->m_name, "Group10");
  Apply();
  ExpectStandalone(4);
  ExpectStandalone(3);
  ExpectPrimary(2, 5, "Group10");
}

TEST_F(GroupsEditorTest, RemoveFromAnUnsortedListTakesTheSelectedPort) {
  MakeCards();
  // Loaded in record order: the backup TREVAN10 first, the primary TREVAN1 last.
  MakePrimaryPort(1, 0, 5, "Pair");
  MakeBackupPort(10, 9, 0);
  Open("TREVAN1");
  ASSERT_EQ(c().group_ports, (Names{"TREVAN10", "TREVAN1"}));
  SelectGroupPorts({"TREVAN1"});
  editor_.OnRemove();
  EXPECT_EQ(c().group_ports, (Names{"TREVAN10"}));
  EXPECT_EQ(theApp.m_groups[0]->m_ports, (Names{"TREVAN10"}));
}

TEST_F(GroupsEditorTest, ApplyMakesTheHighestPortPrimaryAndAnnotatesTitles) {
  MakeCards();
  MakePrimaryPort(9, 8, 30, "Group1");
  MakeBackupPort(10, 9, 8);
  MakeBackupPort(2, 1, 8);
  SetText(CardKey(9), VAL_TITLE, "Adapter 9 <Group1>");
  SetText(CardKey(3), VAL_TITLE, "Adapter 3  <Old>");
  Open("TREVAN9");
  TypeGroupName("Fast");
  TypeTimeout("45");
  Apply();
  ExpectPrimary(10, 45, "Fast");
  ExpectBackup(9, 9);
  ExpectBackup(2, 9);
  ExpectStandalone(3);
  EXPECT_EQ(Text(CardKey(9), VAL_TITLE), "Adapter 9 <Fast>");
  EXPECT_EQ(Text(CardKey(10), VAL_TITLE), "[10] Corvane Port <Fast>");
  EXPECT_EQ(Text(CardKey(3), VAL_TITLE), "Adapter 3");
  EXPECT_EQ(c().group_names, (Names{"<Create New Group>", "Fast"}));
  EXPECT_EQ(theApp.m_appliedChanges, 1);
  EXPECT_FALSE(editor_.page_modified());
}

TEST_F(GroupsEditorTest, RenamingAnUnnamedGroupKeepsTheNewGroupItem) {
  MakeCards();
  SetDword(ParamsKey(2), VAL_ADAPTER_INDEX, 1);
  SetDword(ParamsKey(2), VAL_LINK_CHECK_TIMEOUT, 7);
  Open("TREVAN2");
  ASSERT_EQ(c().group_names, (Names{"<Create New Group>", ""}));
  TypeGroupName("Named");
  Apply();
  EXPECT_EQ(c().group_names, (Names{"<Create New Group>", "Named"}));
  EXPECT_EQ(Text(ParamsKey(2), VAL_GROUP_NAME), "Named");
}

TEST_F(GroupsEditorTest, EmptyTimeoutWritesNothingAndSaysSo) {
  MakeCards();
  Open();
  SelectAvailable({"TREVAN1"});
  editor_.OnAdd();
  TypeTimeout("");
  Apply();
  EXPECT_EQ(BoxTexts(), (Names{"Error ** Link Check Time Out Can Not Be Empty!! **"}));
  EXPECT_FALSE(Has(ParamsKey(1), VAL_LINK_CHECK_TIMEOUT));
  EXPECT_EQ(theApp.m_appliedChanges, 0);
  EXPECT_EQ(theApp.m_pageDirty, 1);
}

TEST_F(GroupsEditorTest, TimeoutTextsAreWrittenByTheirLeadingNumber) {
  MakeCards({1, 2, 3});
  // A stored value above the page's range is written back as it was.
  MakePrimaryPort(1, 0, 4000000000u, "Big");
  Open();
  SelectAvailable({"TREVAN2"});
  editor_.OnAdd();
  TypeTimeout("07x");
  Apply();
  EXPECT_EQ(Dword(ParamsKey(1), VAL_LINK_CHECK_TIMEOUT), 4000000000u);
  EXPECT_EQ(Dword(ParamsKey(2), VAL_LINK_CHECK_TIMEOUT), 7u);
  SelectAvailable({"TREVAN3"});
  editor_.OnAdd();
  TypeTimeout("abc");
  Apply();
  EXPECT_EQ(Dword(ParamsKey(3), VAL_LINK_CHECK_TIMEOUT), 0u);
}

TEST_F(GroupsEditorTest, ConnectionTypesFollowTheSelectionAndTheClosedList) {
  MakeCards({1, 2, 3});
  SetDword(ParamsKey(2), VAL_CONNECTION_TYPE, 259);
  // An unreadable type is shown as none and never written back.
  SetText(ParamsKey(3), VAL_CONNECTION_TYPE, std::string(70, 'x'));
  Open();
  SelectAvailable({"TREVAN2"});
  EXPECT_EQ(c().connection_type, -1);
  SelectAvailable({"TREVAN1", "TREVAN2"});
  EXPECT_EQ(c().connection_type, 0);
  c().connection_type = -1;
  editor_.OnConnectionTypeListClosed();
  c().connection_type = 4;
  editor_.OnConnectionTypeChanged();
  EXPECT_TRUE(editor_.page_modified());
  SelectAvailable({"TREVAN3"});
  EXPECT_EQ(c().connection_type, -1);
  Apply();
  EXPECT_EQ(Dword(ParamsKey(1), VAL_CONNECTION_TYPE), 0u) << "closed with nothing chosen";
  EXPECT_EQ(Dword(ParamsKey(2), VAL_CONNECTION_TYPE), 0u);
  EXPECT_EQ(Text(ParamsKey(3), VAL_CONNECTION_TYPE), std::string(70, 'x'));
}

TEST_F(GroupsEditorTest, UnreadableTitleIsLeftAlone) {
  MakeCards({1});
  std::string long_title(70, 'T');
  SetText(CardKey(1), VAL_TITLE, long_title);
  Open();
  SelectAvailable({"TREVAN1"});
  editor_.OnAdd();
  Apply();
  EXPECT_EQ(Text(CardKey(1), VAL_TITLE), long_title);
  EXPECT_TRUE(Has(ParamsKey(1), VAL_LINK_CHECK_TIMEOUT));
}

TEST_F(GroupsEditorTest, ChoosingAGroupShowsItAndCreateNewClearsTheField) {
  MakeCards();
  MakePrimaryPort(3, 2, 25, "Pair");
  MakeBackupPort(1, 0, 2);
  Open();
  EXPECT_TRUE(c().group_ports.empty());
  ChooseGroup("Pair");
  EXPECT_EQ(c().group_ports, (Names{"TREVAN1", "TREVAN3"}));
  EXPECT_EQ(c().timeout_text, "25");
  EXPECT_FALSE(c().timeout_read_only);
  EXPECT_EQ(editor_.m_strGroupName, "Pair");
  TypeTimeout("40");
  EXPECT_EQ(theApp.m_groups[0]->m_timeout, "40");
  ChooseGroup("<Create New Group>");
  EXPECT_TRUE(c().group_ports.empty());
  EXPECT_EQ(c().group_choice, -1);
  EXPECT_EQ(c().group_text, "");
  EXPECT_EQ(c().timeout_text, "10");
  EXPECT_TRUE(c().timeout_modified);
  EXPECT_TRUE(c().timeout_read_only);
}

}  // namespace
}  // namespace aggcfg_test
