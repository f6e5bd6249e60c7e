// The status page on a sheet, offscreen, with a fake statistics entry point.
#define AGGCFG_TEST_FIXTURE
#include "status_page.h"

#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "pairway/ui/gui_session.h"
#include "qt_test_environment.h"
#include "test_hive.h"
#include "ui_test_support.h"

namespace aggcfg_test {
namespace {

[[maybe_unused]] const bool registered = pairway::ui::testing::RegisterQtOffscreenEnvironment();

using pairway::ui::CPropertySheet;
using pairway::ui::testing::RunSheet;

// The statistics library as the page sees it: counts the calls and answers from a table.
struct FakeStatistics {
  struct Call {
    DWORD code;
    std::string name;  // the group or the port asked about
  };
  std::mutex mutex;
  std::vector<Call> calls;
  std::set<std::string> ports_down;
  std::set<DWORD> failing_codes;
  DWORD figure_base = 0;  // added to the figures, to tell one answer from the next

  int Answer(DWORD code, LPCSTR group, LPCSTR port, DWORD* result, DWORD* length) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back({code, group != nullptr ? group : port != nullptr ? port : ""});
    if (*result != 0 || *length != 4) return 0;  // the contract: 0 and 4 before the call
    if (failing_codes.count(code) != 0) return 0;
    if (code == kStatPortLinkState) {
      *result = ports_down.count(port) != 0 ? 0 : 1;
    } else {
      *result = figure_base + code * 100;
    }
    return 1;
  }
  int CountOf(DWORD code, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex);
    int count = 0;
    for (const Call& call : calls) count += call.code == code && call.name == name;
    return count;
  }
  size_t CallCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls.size();
  }
};
FakeStatistics* fake = nullptr;

int WINAPI FakeEntry(DWORD code, LPCSTR group, LPCSTR port, DWORD reserved1, DWORD reserved2,
                     DWORD* result, DWORD* length) {
  EXPECT_EQ(reserved1, 0u);
  EXPECT_EQ(reserved2, 0u);
  return fake->Answer(code, group, port, result, length);
}

// Runs the dialog thread's events until `condition` holds; false after five seconds.
bool Within(const std::function<bool()>& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    QTest::qWait(10);
  }
  return condition();
}

const pairway::ui::DialogTemplate kFirstPageTemplate{107, "Configuration", 296, 173, {}};

// A sheet holding a plain first page and the status page second, as the configuration sheet does.
class StatusSheet : public CPropertySheet {
 public:
  StatusSheet() : CPropertySheet(AGGCFG_APP_TITLE) {
    AddPage(&first);
    AddPage(&status);
  }
  pairway::ui::CPropertyPage first{kFirstPageTemplate};
  CStatusPage status;
};

// Cards 1 to 4: TREVAN1 and TREVAN3 stand-alone; "Group1" of TREVAN4 (primary) and TREVAN2.
class StatusPageTest : public ConfigTest {
 protected:
  void SetUp() override {
    fake = &fake_;
    SetRefCount(4);
    for (int card = 1; card <= 4; ++card) AddCard(card);
    SetDword(ParamsKey(3), VAL_ADAPTER_INDEX, 2);
    SetDword(ParamsKey(1), VAL_ADAPTER_INDEX, 0);
    MakePrimaryPort(4, 3, 20, "Group1");
    MakeBackupPort(2, 1, 3);
    model_ = LoadModel();
    theApp.LoadConfiguration("");
    theApp.m_statisticsLibrary = reinterpret_cast<HMODULE>(&fake_);
    theApp.m_statisticsEntry = reinterpret_cast<FARPROC>(&FakeEntry);
  }
  void TearDown() override {
    theApp.m_statisticsLibrary = nullptr;
    theApp.m_statisticsEntry = nullptr;
    fake = nullptr;
  }

  // The root items' texts, and the children of each, in tree order.
  std::vector<std::string> TreeTexts() {
    std::vector<std::string> texts;
    pairway::ui::CTreeCtrl& tree = sheet_.status.m_tree;
    for (HTREEITEM item = tree.GetRootItem(); item != nullptr;
         item = tree.GetNextSiblingItem(item)) {
      texts.push_back(tree.GetItemText(item));
      for (HTREEITEM child = tree.GetChildItem(item); child != nullptr;
           child = tree.GetNextSiblingItem(child)) {
        texts.push_back("  " + tree.GetItemText(child));
      }
    }
    return texts;
  }
  HTREEITEM FindItem(const std::string& text) {
    pairway::ui::CTreeCtrl& tree = sheet_.status.m_tree;
    for (HTREEITEM item = tree.GetRootItem(); item != nullptr;
         item = tree.GetNextSiblingItem(item)) {
      if (tree.GetItemText(item) == text) return item;
      for (HTREEITEM child = tree.GetChildItem(item); child != nullptr;
           child = tree.GetNextSiblingItem(child)) {
        if (tree.GetItemText(child) == text) return child;
      }
    }
    return nullptr;
  }
  int ImageOf(const std::string& text) {
    int image = -1, selected = -1;
    sheet_.status.m_tree.GetItemImage(FindItem(text), image, selected);
    EXPECT_EQ(image, selected);
    return image;
  }
  std::string FieldText(pairway::ui::CEdit& field) {
    std::string text;
    field.GetWindowText(text);
    return text;
  }
  int BoxesSaying(const std::string& text) {
    int count = 0;
    for (const auto& box : sink_.boxes()) count += box.text == text;
    return count;
  }

  pairway::ui::GuiSession session_;
  FakeStatistics fake_;
  std::unique_ptr<CAdapterRegistry> model_;
  StatusSheet sheet_;
};

TEST_F(StatusPageTest, TreeShowsPortsThenGroupsAndEveryPortsLinkState) {
  fake_.ports_down = {"TREVAN2"};
  RunSheet(sheet_, [&] {
    ASSERT_TRUE(sheet_.SetActivePage(1));
    CStatusPage& page = sheet_.status;
    EXPECT_EQ(TreeTexts(),
              (std::vector<std::string>{"TREVAN1", "TREVAN3", "Group1", "  TREVAN2", "  TREVAN4"}));
    ASSERT_TRUE(Within([&] { return fake_.CountOf(kStatPortLinkState, "TREVAN4") >= 2; }));
    EXPECT_EQ(ImageOf("TREVAN2"), page.m_imagePortDown);
    EXPECT_EQ(ImageOf("TREVAN4"), page.m_imagePortUp);
    EXPECT_EQ(ImageOf("TREVAN1"), page.m_imagePortUp);
    EXPECT_EQ(ImageOf("Group1"), page.m_imageScreen);
    // Nothing selected: no figures asked for, both fields empty.
    EXPECT_EQ(fake_.CountOf(kStatGroupBytesSent, "Group1"), 0);
    EXPECT_EQ(FieldText(page.m_receivedField), "");
    EXPECT_EQ(FieldText(page.m_transmittedField), "");

    page.m_tree.SelectItem(FindItem("Group1"));
    ASSERT_TRUE(Within([&] { return FieldText(page.m_receivedField) == "1200"; }));
    EXPECT_EQ(FieldText(page.m_transmittedField), "1000");
    EXPECT_GE(fake_.CountOf(kStatGroupBytesReceived, "Group1"), 1);
    page.m_tree.SelectItem(FindItem("TREVAN3"));
    ASSERT_TRUE(Within([&] { return FieldText(page.m_receivedField) == "2700"; }));
    EXPECT_EQ(FieldText(page.m_transmittedField), "2500");
    sheet_.PressButton(IDOK);
  });
  EXPECT_EQ(sheet_.status.m_worker, nullptr);
  EXPECT_TRUE(sink_.boxes().empty());
}

TEST_F(StatusPageTest, AGroupNamedLikeAPortIsAskedAboutAsAPort) {
  theApp.m_groups.front()->m_name = "TREVAN9";
  RunSheet(sheet_, [&] {
    ASSERT_TRUE(sheet_.SetActivePage(1));
    sheet_.status.m_tree.SelectItem(FindItem("TREVAN9"));
    ASSERT_TRUE(Within([&] { return fake_.CountOf(kStatPortBytesReceived, "TREVAN9") >= 1; }));
    EXPECT_GE(fake_.CountOf(kStatPortBytesSent, "TREVAN9"), 1);
    EXPECT_EQ(fake_.CountOf(kStatGroupBytesSent, "TREVAN9"), 0);
    sheet_.PressButton(IDCANCEL);
  });
}

TEST_F(StatusPageTest, AFailedFigureKeepsWhatTheFieldShowed) {
  RunSheet(sheet_, [&] {
    ASSERT_TRUE(sheet_.SetActivePage(1));
    CStatusPage& page = sheet_.status;
    page.m_tree.SelectItem(FindItem("TREVAN1"));
    ASSERT_TRUE(Within([&] { return FieldText(page.m_transmittedField) == "2500"; }));
    {
      std::lock_guard<std::mutex> lock(fake_.mutex);
      fake_.failing_codes = {kStatPortBytesSent, kStatPortLinkState};
      fake_.figure_base = 7;
    }
    ASSERT_TRUE(Within([&] { return FieldText(page.m_receivedField) == "2707"; }));
    const size_t calls = fake_.CallCount();
    ASSERT_TRUE(Within([&] { return fake_.CallCount() > calls + 6; }));
    EXPECT_EQ(FieldText(page.m_transmittedField), "2500");
    EXPECT_EQ(page.m_transmittedText, "2500");
    // A failed state query counts as a port without its link.
    EXPECT_EQ(ImageOf("TREVAN1"), page.m_imagePortDown);
    sheet_.PressButton(IDCANCEL);
  });
}

TEST_F(StatusPageTest, AMissingLibraryIsReportedForEachQueryOfTheCycleAndStopsTheWorker) {
  theApp.m_statisticsLibrary = nullptr;
  RunSheet(sheet_, [&] {
    ASSERT_TRUE(sheet_.SetActivePage(1));
    // Four ports, nothing selected: four queries in the one cycle, four boxes.
    ASSERT_TRUE(Within([&] { return sheet_.status.m_running == 0; }));
    QTest::qWait(1000);
    EXPECT_EQ(BoxesSaying("SPREADAG.DLL Not Found!!!"), 4);
    // It starts again, and reports again, when the page becomes active again.
    ASSERT_TRUE(sheet_.SetActivePage(0));
    ASSERT_TRUE(sheet_.SetActivePage(1));
    ASSERT_TRUE(Within([&] { return BoxesSaying("SPREADAG.DLL Not Found!!!") == 8; }));
    sheet_.PressButton(IDCANCEL);
  });
  EXPECT_EQ(fake_.CallCount(), 0u);
  EXPECT_EQ(sink_.boxes().front().caption, AGGCFG_APP_TITLE);
}

TEST_F(StatusPageTest, SwitchingPagesStopsTheWorkerAndRebuildsTheTreeFromTheLists) {
  RunSheet(sheet_, [&] {
    CStatusPage& page = sheet_.status;
    for (int round = 0; round < 5; ++round) {
      ASSERT_TRUE(sheet_.SetActivePage(1));
      ASSERT_NE(page.m_worker, nullptr);
      page.m_tree.SelectItem(FindItem("Group1"));
      const size_t calls = fake_.CallCount();
      ASSERT_TRUE(Within([&] { return fake_.CallCount() > calls; }));
      ASSERT_TRUE(sheet_.SetActivePage(0));
      EXPECT_EQ(page.m_worker, nullptr);
      EXPECT_EQ(page.m_tree.GetCount(), 0u);
      EXPECT_TRUE(page.m_portItems.empty());
    }
    // What the configuration page changed shows the next time.
    theApp.m_groups.front()->m_name = "Renamed";
    ASSERT_TRUE(sheet_.SetActivePage(1));
    EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"TREVAN1", "TREVAN3", "Renamed", "  TREVAN2",
                                                     "  TREVAN4"}));
    sheet_.PressButton(IDCANCEL);
  });
  EXPECT_EQ(sheet_.status.m_worker, nullptr);
}

TEST_F(StatusPageTest, HelpNamesTheFocusedControl) {
  RunSheet(sheet_, [&] {
    ASSERT_TRUE(sheet_.SetActivePage(1));
    CStatusPage& page = sheet_.status;
    page.m_tree.SetFocus();
    EXPECT_EQ(page.GetHelpContext(), 14u);
    page.m_receivedField.SetFocus();
    EXPECT_EQ(page.GetHelpContext(), 15u);
    EXPECT_EQ(page.OnHelpHitTest(0, 0), 1);
    page.m_tree.SetFocus();
    page.OnCommandHelp(0, 0);
    sheet_.PressButton(IDCANCEL);
  });
  ASSERT_FALSE(sink_.help().empty());
  EXPECT_EQ(sink_.help().back().command, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(sink_.help().back().data, 14u);
}

}  // namespace
}  // namespace aggcfg_test
