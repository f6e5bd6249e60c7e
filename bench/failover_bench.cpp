// failover_bench: how long a group's traffic stops when its active member loses its carrier,
// and how many frames a stream loses meanwhile, through a real data path kept by
// pairway-datapath-run on a host/switch/client namespace LAN.
//
//   build/bin/failover_bench [--kind tc|tap] [--runs 20]
//
// Failover time: a UDP stream from the client to an echo on the group (one datagram every
// 100 us; every 500 us with a time-out), the head's carrier cut on the switch side at a known
// moment, then the time to the first answer to a datagram sent after the cut. That answer went
// both ways through the backup; the figure includes one round trip (about 0.05 ms here) and up
// to one interval. Frames lost: the same at 1,000 datagrams per second with time-out 0, counted
// as datagrams never answered. After each run the head's link comes back and the group is
// waited for until it is back on the head.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "child_process.h"
#include "netlink/link.h"
#include "temp_root.h"
#include "topology.h"

namespace {

using pairway::testing::ChildProcess;
using pairway::testing::Topology;
using pairway::testing::UdpEcho;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Lan {
  explicit Lan(const std::string& kind, unsigned timeout_s) : topology(2) {
    if (!topology.ok()) return;
    runner = std::make_unique<ChildProcess>(std::vector<std::string>{
        "ip", "netns", "exec", topology.host().name(),
        pairway::testing::BesideThisTest("tests/pairway-datapath-run"), "--kind", kind, "--timeout",
        std::to_string(timeout_s), "--journal", root.path().string(), "--group", "g0", "--address",
        "10.77.0.1/24", "m0", "m1"});
    if (runner->WaitForLine("active 0 ", 20s).empty()) return;
    topology.switch_().Run([&] {
      if (switch_side.Open().ok()) s0 = pairway::netlink::IndexOf(switch_side, "s0");
    });
    echo = std::make_unique<UdpEcho>(topology, "10.77.0.1", 7010);
  }
  bool ok() const { return s0 != 0 && echo && echo->ok(); }

  // Cuts the head's carrier; the moment just before the kernel was asked.
  Clock::time_point Cut() {
    const Clock::time_point at = Clock::now();
    (void)pairway::netlink::SetLinkUp(switch_side, s0, false);
    return at;
  }
  // Gives the head its link back and waits until the group is on it again and answering.
  bool Heal(unsigned timeout_s) {
    (void)pairway::netlink::SetLinkUp(switch_side, s0, true);
    if (runner->WaitForLine("active 0 ", std::chrono::seconds(timeout_s + 10)).empty())
      return false;
    echo->Exchange(20, 1ms, 2s);
    return true;
  }

  pairway::testing::TempRoot root;
  Topology topology;
  std::unique_ptr<ChildProcess> runner;
  pairway::netlink::Socket switch_side;
  int s0 = 0;
  std::unique_ptr<UdpEcho> echo;
};

struct Run {
  double failover_ms = -1;  // -1: nothing came through the backup
  int lost = 0;
};

Run OneFailover(Lan& lan, int count, std::chrono::microseconds interval, int cut_at) {
  Clock::time_point cut;
  const UdpEcho::Result result = lan.echo->Exchange(count, interval, 2s, [&](int i) {
    if (i == cut_at) cut = lan.Cut();
  });
  Run run;
  run.lost = result.sent - result.answered;
  for (int i = cut_at; i < count; ++i) {
    if (!result.answers[i]) continue;
    run.failover_ms =
        std::chrono::duration<double, std::milli>(result.start + result.answer_times[i] - cut)
            .count();
    break;
  }
  return run;
}

void Report(const char* what, std::vector<double> values, const char* unit) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return;
  std::printf("%-40s median %8.2f %s   worst %8.2f %s   (n=%zu)\n", what, values[values.size() / 2],
              unit, values.back(), unit, values.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::string kind = "tc";
  int runs = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--kind") == 0) kind = argv[i + 1];
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::stoi(argv[i + 1]);
  }
  for (unsigned timeout_s : {0u, 1u}) {
    Lan lan(kind, timeout_s);
    if (!lan.ok()) {
      std::fprintf(stderr, "failover_bench: the LAN or the group could not be made\n");
      return 1;
    }
    lan.echo->Exchange(50, 1ms, 2s);  // the client learns the group's MAC
    std::vector<double> times;
    const auto interval = timeout_s == 0 ? 100us : 500us;
    const int count = timeout_s == 0 ? 3000 : 3000 + 2000 * static_cast<int>(timeout_s);
    for (int r = 0; r < runs; ++r) {
      const Run run = OneFailover(lan, count, interval, 500);
      if (run.failover_ms >= 0) times.push_back(run.failover_ms);
      if (!lan.Heal(timeout_s)) return 1;
    }
    const std::string label = kind + ", time-out " + std::to_string(timeout_s) + " s: failover";
    Report(label.c_str(), times, "ms");
    if (static_cast<int>(times.size()) < runs)
      std::printf("  %d runs never came through the backup\n",
                  runs - static_cast<int>(times.size()));
    if (timeout_s == 0) {
      std::vector<double> lost;
      for (int r = 0; r < runs; ++r) {
        lost.push_back(OneFailover(lan, 1000, 1ms, 300).lost);
        if (!lan.Heal(timeout_s)) return 1;
      }
      Report((kind + ", 1,000/s, time-out 0: frames lost").c_str(), lost, "  ");
    }
  }
  return 0;
}
