#include <QApplication>
#include <QThread>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <thread>

#include "pairway/ui/gui_session.h"
#include "pairway/ui/recording_sink.h"
#include "pairway/ui/ui_sink.h"
#include "pairway/ui/win_app.h"
#include "qt_test_environment.h"
#include "winuser.h"

namespace pairway::ui {
namespace {

[[maybe_unused]] const bool registered = testing::RegisterQtOffscreenEnvironment();

TEST(DefaultButton, FollowsDefButtonAmongTheTypesButtons) {
  EXPECT_EQ(DefaultButton(MB_OK), IDOK);
  EXPECT_EQ(DefaultButton(MB_OKCANCEL), IDOK);
  EXPECT_EQ(DefaultButton(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(DefaultButton(MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(DefaultButton(MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(DefaultButton(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
  EXPECT_EQ(DefaultButton(MB_ABORTRETRYIGNORE | MB_DEFBUTTON2), IDRETRY);
  EXPECT_EQ(DefaultButton(MB_RETRYCANCEL), IDRETRY);
}

TEST(DefaultButton, OutOfRangeDefaultFallsBackToTheFirstButton) {
  EXPECT_EQ(DefaultButton(MB_OK | MB_DEFBUTTON3), IDOK);
  EXPECT_EQ(DefaultButton(MB_YESNO | MB_DEFBUTTON3), IDYES);
}

TEST(DefaultSink, HeadlessPrintsCaptionAndTextAndAnswersTheDefault) {
  ASSERT_TRUE(IsHeadless());
  MessageBoxRequest request;
  request.caption = "Title";
  request.text = "Something failed";
  request.type = MB_YESNO | MB_DEFBUTTON2;
  ::testing::internal::CaptureStderr();
  int answer = RouteMessageBox(request);
  std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDNO);
  EXPECT_NE(printed.find("Title"), std::string::npos);
  EXPECT_NE(printed.find("Something failed"), std::string::npos);
}

TEST(RecordingSink, AnswersFromTheScriptThenWithDefaults) {
  RecordingSink sink;
  ScopedUiSink scope(&sink);
  sink.Answer(IDNO);
  MessageBoxRequest request;
  request.type = MB_YESNO;
  EXPECT_EQ(RouteMessageBox(request), IDNO);
  EXPECT_EQ(RouteMessageBox(request), IDYES);
  EXPECT_EQ(sink.boxes().size(), 2u);
}

TEST(ScopedUiSink, PutsThePreviousSinkBack) {
  RecordingSink outer, inner;
  ScopedUiSink outer_scope(&outer);
  {
    ScopedUiSink inner_scope(&inner);
    RouteMessageBox(MessageBoxRequest{});
  }
  RouteMessageBox(MessageBoxRequest{});
  EXPECT_EQ(inner.boxes().size(), 1u);
  EXPECT_EQ(outer.boxes().size(), 1u);
}

// A box asked for on a worker is answered on the GUI thread while the worker waits, so a sink (or
// a real box) never runs on a thread that owns no widgets.
TEST(RouteMessageBox, WorkerRequestIsAnsweredOnTheGuiThread) {
  GuiSession session;
  class ThreadSink : public RecordingSink {
   public:
    int OnMessageBox(const MessageBoxRequest& request) override {
      on_gui_thread = QThread::currentThread() == QCoreApplication::instance()->thread();
      return RecordingSink::OnMessageBox(request);
    }
    std::atomic<bool> on_gui_thread{false};
  } sink;
  ScopedUiSink scope(&sink);
  std::atomic<int> answer{0};
  std::thread worker([&] {
    MessageBoxRequest request;
    request.type = MB_OKCANCEL | MB_DEFBUTTON2;
    answer = RouteMessageBox(request);
  });
  while (answer == 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_TRUE(sink.on_gui_thread);
}

TEST(GuiSession, MakesAnApplicationOnlyWhenThereIsNoneAndRemovesIt) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  {
    GuiSession outer;
    EXPECT_TRUE(outer.owns_application());
    EXPECT_EQ(QGuiApplication::platformName(), QLatin1String("offscreen"));
    GuiSession inner;
    EXPECT_FALSE(inner.owns_application());
  }
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

}  // namespace
}  // namespace pairway::ui
