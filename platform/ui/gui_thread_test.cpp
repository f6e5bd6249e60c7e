// A worker that talks to the dialog's controls and asks questions while the GUI thread waits for
// it: nothing deadlocks, and every box is shown on the GUI thread.
#include <QThread>

#include <atomic>

#include "pairway/ui/gui_thread.h"
#include "pairway/ui/tree_ctrl.h"
#include "ui_test_support.h"

namespace pairway::ui {
namespace {

using testing::RunDialog;

const DialogControl kTreeControls[] = {
    {1012, ControlKind::kTreeView, nullptr, 7, 7, 100, 120, TVS_HASLINES | TVS_LINESATROOT},
    {1013, ControlKind::kEdit, nullptr, 120, 7, 60, 12, ES_READONLY},
};
const DialogTemplate kTreeTemplate{109, "Status", 200, 140, kTreeControls};

// A sink that notes on which thread each box was answered.
class ThreadNotingSink : public RecordingSink {
 public:
  int OnMessageBox(const MessageBoxRequest& request) override {
    on_gui_thread = on_gui_thread && QThread::currentThread() == qApp->thread();
    return RecordingSink::OnMessageBox(request);
  }
  std::atomic<bool> on_gui_thread{true};
};

struct Worker {
  CTreeCtrl* tree;
  CEdit* field;
  std::atomic<int> running{1};
  std::atomic<int> cycles{0};
};

UINT PollTree(LPVOID argument) {
  auto* worker = static_cast<Worker*>(argument);
  while (worker->running == 1) {
    HTREEITEM selected = worker->tree->GetSelectedItem();
    std::string text = selected != nullptr ? worker->tree->GetItemText(selected) : "";
    worker->field->SetWindowText(text.c_str());
    if (HTREEITEM root = worker->tree->GetRootItem()) worker->tree->SetItemImage(root, 1, 1);
    if (++worker->cycles == 3) AfxMessageBox("SPREADAG.DLL Not Found!!!");
    Sleep(1);
  }
  return 0;
}

class StatusDialog : public CDialog {
 public:
  StatusDialog() : CDialog(kTreeTemplate) {}
  CTreeCtrl m_tree;
  CEdit m_field;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, 1012, m_tree);
    DDX_Control(pDX, 1013, m_field);
  }
};

TEST(GuiThread, WorkerCallsIntoControlsWhileTheGuiThreadWaitsDispatching) {
  GuiSession session;
  ThreadNotingSink sink;
  ScopedUiSink scope(&sink);
  StatusDialog dialog;
  Worker worker;
  RunDialog(dialog, [&] {
    worker.tree = &dialog.m_tree;
    worker.field = &dialog.m_field;
    HTREEITEM group = dialog.m_tree.InsertItem("Group1");
    dialog.m_tree.InsertItem("TREVAN3", 2, 2, group);
    dialog.m_tree.SelectItem(group);
    CWinThread* thread =
        AfxBeginThread(PollTree, &worker, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    thread->m_bAutoDelete = FALSE;
    EXPECT_EQ(thread->ResumeThread(), 1u);
    while (worker.cycles < 5) PumpWaitingMessages();
    worker.running = 0;
    EXPECT_EQ(WaitWhileDispatching(thread->m_hThread), static_cast<DWORD>(WAIT_OBJECT_0));
    delete thread;
    std::string shown;
    dialog.m_field.GetWindowText(shown);
    EXPECT_EQ(shown, "Group1");
    int image = 0, selected = 0;
    EXPECT_TRUE(dialog.m_tree.GetItemImage(group, image, selected));
    EXPECT_EQ(image, 1);
  });
  EXPECT_TRUE(sink.on_gui_thread);
  ASSERT_EQ(sink.boxes().size(), 1u);
  EXPECT_EQ(sink.boxes()[0].text, "SPREADAG.DLL Not Found!!!");
}

TEST(GuiThread, RunOnGuiThreadRunsAtOnceWithoutAnApplication) {
  bool ran = false;
  RunOnGuiThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_TRUE(IsGuiThread());
  EXPECT_FALSE(PumpWaitingMessages());
}

TEST(GuiThread, ThreadThatDeletesItselfNeedsNoOwner) {
  std::atomic<bool> ran{false};
  CWinThread* thread = AfxBeginThread(
      [](LPVOID flag) -> UINT {
        *static_cast<std::atomic<bool>*>(flag) = true;
        return 0;
      },
      &ran);
  ASSERT_NE(thread, nullptr);
  for (int i = 0; i < 500 && !ran; ++i) Sleep(2);
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace pairway::ui
