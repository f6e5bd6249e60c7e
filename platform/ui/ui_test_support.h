// ui_test_support.h: what the framework's tests share: a Qt application and a recording sink per
// test, a small dialog template, and modal loops driven by a script instead of a person.
#ifndef PAIRWAY_UI_UI_TEST_SUPPORT_H
#define PAIRWAY_UI_UI_TEST_SUPPORT_H

#include <QListWidget>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pairway/ui/controls.h"
#include "pairway/ui/dialog.h"
#include "pairway/ui/gui_session.h"
#include "pairway/ui/property_sheet.h"
#include "pairway/ui/recording_sink.h"
#include "pairway/ui/win_app.h"

namespace pairway::ui::testing {

// An application that routes the help command as a library's application does.
class TestApp : public CWinApp {
 public:
  TestApp() : CWinApp("Test Title") {}
  BOOL OnCmdMsg(UINT id) override {
    if (id != ID_HELP) return FALSE;
    OnHelp();
    return TRUE;
  }
};

class UiTest : public ::testing::Test {
 protected:
  GuiSession session_;
  RecordingSink sink_;
  ScopedUiSink scope_{&sink_};
  TestApp app_;
};

inline const char* const kColours[] = {"Red", "green", "Blue", "GREY", nullptr};

// Ids of the test dialog's controls.
enum : int { kList = 100, kChoice = 101, kTyped = 102, kEdit = 103, kAdd = 104 };

inline const DialogControl kTestControls[] = {
    {IDC_STATIC, ControlKind::kText, "Ports:", 7, 7, 60, 8},
    {kList, ControlKind::kListBox, nullptr, 7, 18, 80, 60, LBS_EXTENDEDSEL | WS_VSCROLL},
    {kChoice, ControlKind::kComboBox, nullptr, 100, 18, 80, 60, CBS_DROPDOWNLIST, 0, kColours},
    {kTyped, ControlKind::kComboBox, nullptr, 100, 36, 80, 60, CBS_DROPDOWN, 0, kColours},
    {kEdit, ControlKind::kEdit, "", 100, 54, 40, 12},
    {kAdd, ControlKind::kPushButton, "Add", 100, 70, 50, 14},
    {IDOK, ControlKind::kPushButton, "OK", 160, 100, 50, 14, BS_DEFPUSHBUTTON},
    {IDCANCEL, ControlKind::kPushButton, "Cancel", 160, 118, 50, 14},
};
inline const DialogTemplate kTestTemplate{200, "Test Dialog", 220, 140, kTestControls};

// Runs `run_modal` (a DoModal call) with `script` called inside the modal loop once it runs.
// Should the script stop early (a failed ASSERT), `end` closes the window so the test goes on.
inline INT_PTR RunScripted(const std::function<INT_PTR()>& run_modal,
                           const std::function<void()>& script, const std::function<void()>& end) {
  QTimer::singleShot(0, [script, end] {
    script();
    end();
  });
  return run_modal();
}

inline INT_PTR RunDialog(CDialog& dialog, const std::function<void()>& script) {
  return RunScripted([&] { return dialog.DoModal(); }, script,
                     [&] {
                       if (dialog.IsWindow() && dialog.widget()->isVisible()) dialog.EndDialog(-2);
                     });
}

inline INT_PTR RunSheet(CPropertySheet& sheet, const std::function<void()>& script) {
  return RunScripted([&] { return sheet.DoModal(); }, script,
                     [&] {
                       if (sheet.IsWindow() && sheet.widget()->isVisible()) sheet.EndDialog(-2);
                     });
}

// Clicks row `row` of a list box as a person would, with `modifiers` (Ctrl, Shift).
inline void ClickRow(CWnd* list_box, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  auto* list = qobject_cast<QListWidget*>(list_box->widget());
  QRect rect = list->visualItemRect(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
}

// Types `text` into the window's widget key by key.
inline void Type(CWnd* window, const char* text) { QTest::keyClicks(window->widget(), text); }

}  // namespace pairway::ui::testing

#endif  // PAIRWAY_UI_UI_TEST_SUPPORT_H
