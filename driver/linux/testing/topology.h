// topology.h: a small LAN in three network namespaces, for tests of a group's data path and
// of the daemon that runs it:
//
//   host    m0 .. m<N-1>          the members (veth), where the group is made
//   switch  br0: s0 .. s<N-1>, sc a Linux bridge joining the members' far ends and the client
//   client  c0  10.77.0.2/24      the peer that talks to the group
//
// Everything lives in namespaces made for the object (unique names per process and object)
// and goes with them when it is destroyed, whatever the test did. Members start up, with no
// address. Needs root; ok() is false (error() says why) where namespaces cannot be made.
//
// UdpEcho measures what a peer sees of the group: numbered datagrams from the client to an
// echo on the host, each answer counted once, duplicates (on either side) counted apart.
#ifndef PAIRWAY_DRIVER_LINUX_TESTING_TOPOLOGY_H
#define PAIRWAY_DRIVER_LINUX_TESTING_TOPOLOGY_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test_netns.h"

namespace pairway::testing {

inline constexpr const char* kClientAddress = "10.77.0.2";

class Topology {
 public:
  explicit Topology(int members);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  const TestNamespace& host() const { return host_; }
  const TestNamespace& switch_() const { return switch_ns_; }
  const TestNamespace& client() const { return client_; }
  int members() const { return members_; }
  static std::string Member(int i) { return "m" + std::to_string(i); }

  // Takes the switch's end of member i down or up: the member loses or regains its carrier.
  // Returns once the bridge has the port forwarding (up) or disabled (down); false when it
  // could not be set or the bridge did not follow within ten seconds.
  bool SetLink(int i, bool up) const;

  // The bridge port (s0, s1, ...) where the switch has learnt `mac` ("02:00:..."), "" when it
  // has not.
  std::string PortOf(const std::string& mac) const;

 private:
  bool Build();

  TestNamespace host_;
  TestNamespace switch_ns_;
  TestNamespace client_;
  int members_;
  std::string error_;
};

// A socket made in `netns` (it stays there, whichever thread uses it); -1 on failure.
int SocketIn(const TestNamespace& netns, int domain, int type, int protocol);

class UdpEcho {
 public:
  // An echo bound to port `port` on every address of the host namespace, and a client socket
  // in the client namespace that talks to `server_address`.
  UdpEcho(const Topology& topology, const std::string& server_address, uint16_t port);
  ~UdpEcho();
  UdpEcho(const UdpEcho&) = delete;
  UdpEcho& operator=(const UdpEcho&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  struct Result {
    int sent = 0;
    int answered = 0;             // numbers answered at least once
    int duplicated_answers = 0;   // answers the client had already had
    int duplicated_requests = 0;  // datagrams the echo had already had
    int longest_loss = 0;         // most numbers in a row without an answer
    std::vector<bool> answers;    // by number
    // When each answer came, from `start` (-1 for numbers not answered).
    std::vector<std::chrono::microseconds> answer_times;
    std::chrono::steady_clock::time_point start;  // when the first datagram was sent
  };

  // Sends `count` datagrams `interval` apart, each numbered after the last exchange's, then
  // waits up to `linger` for late answers (and 50 ms more, for duplicates). Calls `during(i)`
  // before sending number i of this exchange (to take a link down in the middle, for one).
  Result Exchange(int count, std::chrono::microseconds interval,
                  std::chrono::milliseconds linger = std::chrono::milliseconds(300),
                  const std::function<void(int)>& during = {});

 private:
  void Serve();

  int server_ = -1;
  int client_ = -1;
  uint32_t next_number_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> duplicated_requests_{0};
  std::vector<uint8_t> seen_;  // by number, touched by the echo thread only
  std::thread echo_;
  std::string error_;
};

}  // namespace pairway::testing

#endif  // PAIRWAY_DRIVER_LINUX_TESTING_TOPOLOGY_H
