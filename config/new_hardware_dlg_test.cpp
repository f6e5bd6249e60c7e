// The new-hardware dialog driven as a person would, offscreen, checked through the hive; and the
// connection type entry point of the built library with its result texts.
#define AGGCFG_TEST_FIXTURE
#include "new_hardware_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "entry_points.h"
#include "pairway/ui/gui_session.h"
#include "qt_test_environment.h"
#include "test_hive.h"
#include "ui_test_support.h"

namespace aggcfg_test {
namespace {

[[maybe_unused]] const bool registered = pairway::ui::testing::RegisterQtOffscreenEnvironment();

using pairway::ui::testing::ClickRow;
using pairway::ui::testing::RunDialog;

// Chooses item `position` of a drop-down list as a person does: open it, move, press Return.
void ChooseItem(pairway::ui::CComboBox& combo, int position) {
  auto* widget = qobject_cast<QComboBox*>(combo.widget());
  widget->showPopup();
  const int steps = position - combo.GetCurSel();
  for (int i = 0; i < std::abs(steps); ++i)
    QTest::keyClick(widget->view(), steps > 0 ? Qt::Key_Down : Qt::Key_Up);
  QTest::keyClick(widget->view(), Qt::Key_Return);
  QTest::qWait(20);  // the close-up is reported once Qt has taken the choice
}

void Click(pairway::ui::CWnd* button) { QTest::mouseClick(button->widget(), Qt::LeftButton); }

std::string Row(pairway::ui::CListBox& list, int row) {
  std::string text;
  list.GetText(row, text);
  return text;
}

// The label column of a row, without its padding.
std::string LabelOf(const std::string& row) {
  std::string label = row.substr(kRowNameWidth, kRowTypeWidth);
  label.erase(label.find_last_not_of(' ') + 1);
  return label;
}

class NewHardwareDlgTest : public ConfigTest {
 protected:
  // Cards 1 to `count`, new: no "ConnectionType", no "AdapterIndex".
  void AddNewPorts(int count) {
    SetRefCount(static_cast<DWORD>(count));
    for (int card = 1; card <= count; ++card) {
      AddCard(card);
      SetDword(ParamsKey(card), VAL_BUS_NUMBER, 0);
      SetDword(ParamsKey(card), VAL_SLOT_NUMBER, static_cast<DWORD>(card + 3));
    }
  }
  INT_PTR Run(const std::function<void()>& script) {
    return RunDialog(dialog_, [&] {
      script();
      if (dialog_.IsWindow()) Click(dialog_.GetDlgItem(IDCANCEL));
    });
  }

  pairway::ui::GuiSession session_;
  std::unique_ptr<CAdapterRegistry> model_;
  CNewHardwareDlg dialog_;
};

TEST_F(NewHardwareDlgTest, TwoOfThreeRowsTakeTheChosenTypeAndOkSavesEveryPort) {
  AddNewPorts(3);
  model_ = LoadModel();
  theApp.LoadUntypedPorts();
  const INT_PTR result = RunDialog(dialog_, [&] {
    pairway::ui::CListBox& list = dialog_.m_portList;
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetSel(0), 1);  // the first row starts selected
    EXPECT_EQ(dialog_.m_connectionTypes.GetCurSel(), 0);
    EXPECT_EQ(Row(list, 0).substr(0, kRowNameWidth), "TREVAN1      ");
    EXPECT_EQ(LabelOf(Row(list, 0)), "Autodetect Default Connection");
    EXPECT_EQ(Row(list, 1).substr(kRowNameWidth + kRowTypeWidth), "0" + std::string(19, ' ') + "5");

    ClickRow(&list, 2, Qt::ControlModifier);
    ChooseItem(dialog_.m_connectionTypes, 4);
    EXPECT_EQ(LabelOf(Row(list, 0)), "100 Mbps/Full Duplex");
    EXPECT_EQ(LabelOf(Row(list, 1)), "Autodetect Default Connection");
    EXPECT_EQ(LabelOf(Row(list, 2)), "100 Mbps/Full Duplex");
    EXPECT_FALSE(Has(ParamsKey(1), VAL_CONNECTION_TYPE));  // nothing written before saving
    Click(dialog_.GetDlgItem(IDOK));
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(Dword(ParamsKey(1), VAL_CONNECTION_TYPE), 384u);
  EXPECT_EQ(Dword(ParamsKey(2), VAL_CONNECTION_TYPE), 8u);
  EXPECT_EQ(Dword(ParamsKey(3), VAL_CONNECTION_TYPE), 384u);
  for (int card = 1; card <= 3; ++card) {
    EXPECT_EQ(Dword(ParamsKey(card), VAL_ADAPTER_INDEX), static_cast<DWORD>(card - 1));
    EXPECT_EQ(Text(NetRulesKey(card), VAL_CLASS), "TREVANAdapter basic");
  }
  EXPECT_TRUE(sink_.boxes().empty());
}

TEST_F(NewHardwareDlgTest, ApplyWaitsForBothChoicesAndItsSavesOutliveCancel) {
  AddNewPorts(2);
  model_ = LoadModel();
  theApp.LoadUntypedPorts();
  const INT_PTR result = Run([&] {
    pairway::ui::CWnd* apply = dialog_.GetDlgItem(IDC_NEW_HW_APPLY);
    EXPECT_FALSE(apply->IsWindowEnabled());
    ChooseItem(dialog_.m_connectionTypes, 5);
    EXPECT_FALSE(apply->IsWindowEnabled());  // only the type changed
    ClickRow(&dialog_.m_portList, 1);
    EXPECT_TRUE(apply->IsWindowEnabled());
    Click(apply);
    EXPECT_FALSE(apply->IsWindowEnabled());
    EXPECT_EQ(theApp.m_appliedChanges, 1);
    EXPECT_EQ(Dword(ParamsKey(1), VAL_CONNECTION_TYPE), 3u);
    // The other order: the rows first, then the type.
    ClickRow(&dialog_.m_portList, 0);
    EXPECT_FALSE(apply->IsWindowEnabled());
    ChooseItem(dialog_.m_connectionTypes, 1);
    EXPECT_TRUE(apply->IsWindowEnabled());
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(Dword(ParamsKey(1), VAL_CONNECTION_TYPE), 3u);  // Apply's save stays
  EXPECT_EQ(Dword(ParamsKey(2), VAL_CONNECTION_TYPE), 8u);
  EXPECT_EQ(theApp.m_appliedChanges, 1);
}

TEST_F(NewHardwareDlgTest, WithoutPortsOkReportsNothingToSaveAndStillCloses) {
  AddNewPorts(1);
  SetDword(ParamsKey(1), VAL_CONNECTION_TYPE, 8);
  model_ = LoadModel();
  theApp.LoadUntypedPorts();
  const INT_PTR result = RunDialog(dialog_, [&] {
    EXPECT_EQ(dialog_.m_portList.GetCount(), 0);
    Click(dialog_.GetDlgItem(IDOK));
  });
  EXPECT_EQ(result, IDOK);
  ASSERT_EQ(sink_.boxes().size(), 1u);
  EXPECT_EQ(sink_.boxes()[0].text, "No Stand Alone Ports To Save!!!");
  EXPECT_FALSE(Has(ParamsKey(1), VAL_ADAPTER_INDEX));
}

TEST_F(NewHardwareDlgTest, ATypeWithoutALabelShowsNoneAndIsSavedUnchanged) {
  AddNewPorts(2);
  SetDword(ParamsKey(2), VAL_CONNECTION_TYPE, 259);
  SetDword(ParamsKey(2), VAL_ADAPTER_INDEX, 6);
  model_ = LoadModel();
  theApp.LoadTypedPort("TREVAN2");
  const INT_PTR result = RunDialog(dialog_, [&] {
    ASSERT_EQ(dialog_.m_portList.GetCount(), 1);
    EXPECT_EQ(LabelOf(Row(dialog_.m_portList, 0)), "");
    Click(dialog_.GetDlgItem(IDOK));
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(Dword(ParamsKey(2), VAL_CONNECTION_TYPE), 259u);
  EXPECT_EQ(Dword(ParamsKey(2), VAL_ADAPTER_INDEX), 6u);  // kept
  EXPECT_FALSE(Has(NetRulesKey(2), VAL_BINDFORM));        // its bind rules untouched
  EXPECT_FALSE(Has(ParamsKey(1), VAL_CONNECTION_TYPE));   // not listed, not written
}

// The entry point as the setup host calls it, on the built library; the person is played by a
// script that finds the dialog among the windows and presses its buttons.
class ConnTypeEntryTest : public ConfigTest {
 protected:
  void SetUp() override {
    pairway::testing::InstallInSystemDir(root_, "aggcfg.dll",
                                         pairway::testing::BuildDir() / "lib" / "aggcfg.so");
    library_ = LoadLibraryA("aggcfg.dll");
    ASSERT_NE(library_, nullptr) << GetLastError();
    entry_ = reinterpret_cast<SETUP_PROCEDURE>(
        reinterpret_cast<void*>(GetProcAddress(library_, "TrevanGetConnType")));
    ASSERT_NE(entry_, nullptr);
    SetRefCount(3);
    for (int card = 1; card <= 3; ++card) AddCard(card);
  }
  void TearDown() override {
    if (library_ != nullptr) FreeLibrary(library_);
  }

  // Calls the entry point with `card`; `buttons` are pressed in order once the dialog shows.
  // Returns the result text; `rows` gets the number of rows the dialog listed.
  std::string Call(const char* card, std::vector<const char*> buttons, int* rows = nullptr) {
    QTimer::singleShot(0, [&] {
      QWidget* dialog = nullptr;
      for (int i = 0; i < 500 && dialog == nullptr; ++i) {
        for (QWidget* window : QApplication::topLevelWidgets()) {
          if (window->isVisible() && window->windowTitle() == "Corvane New Hardware Found")
            dialog = window;
        }
        if (dialog == nullptr) QTest::qWait(10);
      }
      ASSERT_NE(dialog, nullptr);
      if (rows != nullptr) *rows = dialog->findChild<QListWidget*>()->count();
      for (const char* text : buttons) {
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
          if (button->text() == text) QTest::mouseClick(button, Qt::LeftButton);
        }
      }
    });
    LPSTR argv[] = {const_cast<LPSTR>(card)};
    LPSTR result = nullptr;
    EXPECT_TRUE(entry_(1, argv, &result));
    return result != nullptr ? result : "(none)";
  }

  pairway::ui::GuiSession session_;
  HMODULE library_ = nullptr;
  SETUP_PROCEDURE entry_ = nullptr;
};

TEST_F(ConnTypeEntryTest, ResultTellsWhetherAnythingWasSaved) {
  int rows = -1;
  EXPECT_EQ(Call("0", {"Cancel"}, &rows), "99");
  EXPECT_EQ(rows, 3);
  EXPECT_FALSE(Has(ParamsKey(1), VAL_CONNECTION_TYPE));
  EXPECT_EQ(Call("0", {"OK"}), "0");
  EXPECT_EQ(Dword(ParamsKey(3), VAL_CONNECTION_TYPE), 8u);
  // Every port has a connection type now: nothing to list, nothing to save, still "0".
  EXPECT_EQ(Call("0", {"OK"}, &rows), "0");
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(sink_.boxes().back().text, "No Stand Alone Ports To Save!!!");
}

TEST_F(ConnTypeEntryTest, OnePortIsListedOnlyWhenItHasAConnectionType) {
  int rows = -1;
  EXPECT_EQ(Call("3", {"Cancel"}, &rows), "99");
  EXPECT_EQ(rows, 0);
  SetDword(ParamsKey(3), VAL_CONNECTION_TYPE, 128);
  EXPECT_EQ(Call("3", {"Cancel"}, &rows), "99");
  EXPECT_EQ(rows, 1);
}

}  // namespace
}  // namespace aggcfg_test
