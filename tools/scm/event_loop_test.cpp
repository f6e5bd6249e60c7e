// The service manager's loop: which callbacks run, in what order, and which never do.
#include "event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace pairway::scm {
namespace {

using std::chrono::milliseconds;

// A pipe whose read end is readable once Fill has written a byte.
struct Pipe {
  Pipe() {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    read_end = UniqueFd(fds[0]);
    write_end = UniqueFd(fds[1]);
  }
  void Fill() { EXPECT_EQ(write(write_end.get(), "x", 1), 1); }
  void Drain() {
    char byte;
    EXPECT_EQ(read(read_end.get(), &byte, 1), 1);
  }
  UniqueFd read_end, write_end;
};

TEST(EventLoop, ReadableDescriptorsCallTheirCallbacksUntilUnwatched) {
  EventLoop loop;
  ASSERT_TRUE(loop.Open());
  Pipe pipe;
  int calls = 0;
  ASSERT_TRUE(loop.Watch(pipe.read_end.get(), [&] {
    pipe.Drain();
    if (++calls == 2) loop.Unwatch(pipe.read_end.get());  // from inside its own callback
    pipe.Fill();
  }));
  EXPECT_FALSE(loop.Watch(pipe.read_end.get(), [] {})) << "watched twice";
  pipe.Fill();
  // Still readable after the second call: only the unwatching keeps the callback away.
  loop.SetTimer("end", milliseconds(50), [&] { loop.Stop(); });
  ASSERT_TRUE(loop.Run());
  EXPECT_EQ(calls, 2);
}

TEST(EventLoop, NothingRunsAfterUnwatchCancelOrStopInTheSamePass) {
  EventLoop loop;
  ASSERT_TRUE(loop.Open());
  Pipe first, second;
  std::vector<std::string> ran;
  // Both are readable before the loop waits, so epoll reports them in one pass; whichever runs
  // first unwatches the other.
  ASSERT_TRUE(loop.Watch(first.read_end.get(), [&] {
    ran.push_back("first");
    loop.Unwatch(first.read_end.get());
    loop.Unwatch(second.read_end.get());
  }));
  ASSERT_TRUE(loop.Watch(second.read_end.get(), [&] {
    ran.push_back("second");
    loop.Unwatch(first.read_end.get());
    loop.Unwatch(second.read_end.get());
  }));
  first.Fill();
  second.Fill();
  // Three timers due together: the earliest cancels the next and stops the loop at the third.
  loop.SetTimer("cancels", milliseconds(1), [&] {
    ran.push_back("cancels");
    loop.CancelTimer("cancelled");
  });
  loop.SetTimer("cancelled", milliseconds(2), [&] { ran.push_back("cancelled"); });
  loop.SetTimer("stops", milliseconds(3), [&] {
    ran.push_back("stops");
    loop.Stop();
  });
  loop.SetTimer("after the stop", milliseconds(4), [&] { ran.push_back("after the stop"); });
  std::this_thread::sleep_for(milliseconds(10));
  ASSERT_TRUE(loop.Run());
  ASSERT_EQ(ran.size(), 3u);
  EXPECT_TRUE(ran[0] == "first" || ran[0] == "second");
  EXPECT_EQ(ran[1], "cancels");
  EXPECT_EQ(ran[2], "stops");
  EXPECT_TRUE(loop.HasTimer("after the stop"));
  EXPECT_FALSE(loop.HasTimer("cancelled"));
}

TEST(EventLoop, AReplacedTimerFiresOnlyAtItsNewDeadline) {
  EventLoop loop;
  ASSERT_TRUE(loop.Open());
  std::vector<std::string> ran;
  // Both are due in the first pass; the first moves the second one a pass later.
  loop.SetTimer("moves", milliseconds(1), [&] {
    ran.push_back("moves");
    loop.SetTimer("moved", milliseconds(0), [&] {
      ran.push_back("moved, new deadline");
      loop.Stop();
    });
  });
  loop.SetTimer("moved", milliseconds(2), [&] { ran.push_back("moved, old deadline"); });
  std::this_thread::sleep_for(milliseconds(10));
  ASSERT_TRUE(loop.Run());
  EXPECT_EQ(ran, (std::vector<std::string>{"moves", "moved, new deadline"}));
}

TEST(EventLoop, ATimerThatSetsItselfAgainLetsDescriptorsRun) {
  EventLoop loop;
  ASSERT_TRUE(loop.Open());
  Pipe pipe;
  int spins = 0;
  std::function<void()> spin = [&] {
    if (++spins == 1) pipe.Fill();
    loop.SetTimer("spin", milliseconds(0), spin);
  };
  loop.SetTimer("spin", milliseconds(0), spin);
  ASSERT_TRUE(loop.Watch(pipe.read_end.get(), [&] { loop.Stop(); }));
  ASSERT_TRUE(loop.Run());  // a loop that kept firing "spin" in one pass would never get here
  EXPECT_EQ(spins, 1);

  EventLoop stopped;
  ASSERT_TRUE(stopped.Open());
  stopped.SetTimer("never", milliseconds(0), [] { ADD_FAILURE() << "ran after Stop"; });
  stopped.Stop();
  EXPECT_TRUE(stopped.Run());
}

}  // namespace
}  // namespace pairway::scm
