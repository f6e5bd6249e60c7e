#include <gtest/gtest.h>

#include "pairway/ui/recording_sink.h"
#include "pairway/ui/win_app.h"
#include "winuser.h"

namespace pairway::ui {
namespace {

class TestApp : public CWinApp {
 public:
  TestApp() : CWinApp("Test Title") {}
  using CWinApp::SetHelpFileFromModule;
};

class ContextWindow : public CWnd {
 public:
  explicit ContextWindow(DWORD context) : context_(context) {}
  DWORD GetHelpContext() const override { return context_; }

 private:
  DWORD context_;
};

class WinAppTest : public ::testing::Test {
 protected:
  RecordingSink sink_;
  ScopedUiSink scope_{&sink_};
  TestApp app_;
};

TEST_F(WinAppTest, MessageBoxIsCaptionedWithTheApplicationTitleAndOwnedByTheMainWindow) {
  ContextWindow main_window(0);
  app_.m_pMainWnd = &main_window;
  sink_.Answer(IDNO);
  EXPECT_EQ(app_.DoMessageBox("Remove it?", MB_YESNO | MB_ICONQUESTION, 0), IDNO);
  auto boxes = sink_.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Test Title");
  EXPECT_EQ(boxes[0].text, "Remove it?");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(boxes[0].owner, &main_window);
}

TEST_F(WinAppTest, BareOkBoxGetsTheExclamationIcon) {
  app_.DoMessageBox("plain", MB_OK, 0);
  app_.DoMessageBox("informed", MB_OK | MB_ICONINFORMATION, 0);
  app_.DoMessageBox("asked", MB_OKCANCEL, 0);
  auto boxes = sink_.boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(boxes[2].type, static_cast<UINT>(MB_OKCANCEL));
}

TEST_F(WinAppTest, HelpShowsTheMainWindowsContextOrTheIndex) {
  ContextWindow page(1001);
  app_.m_pMainWnd = &page;
  app_.OnHelp();
  app_.m_pMainWnd = nullptr;
  app_.OnHelp();
  auto help = sink_.help();
  ASSERT_EQ(help.size(), 2u);
  EXPECT_EQ(help[0].command, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(help[0].data, 1001u);
  EXPECT_EQ(help[1].command, static_cast<UINT>(HELP_INDEX));
}

TEST_F(WinAppTest, BaseApplicationRoutesNoCommands) { EXPECT_FALSE(app_.OnCmdMsg(ID_HELP)); }

TEST_F(WinAppTest, HelpFileIsTheModulePathWithTheHlpExtension) {
  EXPECT_EQ(app_.help_file_path(), "");
  app_.SetHelpFileFromModule(reinterpret_cast<const void*>(&DefaultButton));
  std::string path = app_.help_file_path();
  EXPECT_NE(path.find("libpairway-ui.HLP"), std::string::npos) << path;
  app_.WinHelp(7, HELP_CONTEXT);
  ASSERT_EQ(sink_.help().size(), 1u);
  EXPECT_EQ(sink_.help()[0].help_file, path);
}

}  // namespace
}  // namespace pairway::ui
