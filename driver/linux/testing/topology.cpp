// Three namespaces joined by a bridge, and a UDP echo across them; see topology.h.
#include "topology.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace pairway::testing {

Topology::Topology(int members) : members_(members) {
  for (const TestNamespace* netns : {&host_, &switch_ns_, &client_}) {
    if (!netns->ok()) {
      error_ = netns->error();
      return;
    }
  }
  if (!Build() && error_.empty()) error_ = "the namespaces could not be wired";
}

bool Topology::Build() {
  const std::string sw = switch_ns_.name();
  if (switch_ns_.Exec("ip link add br0 type bridge") != 0 ||
      switch_ns_.Exec("ip link set br0 up") != 0)
    return false;
  for (int i = 0; i < members_; ++i) {
    const std::string member = Member(i), port = "s" + std::to_string(i);
    if (host_.Exec("ip link add " + member + " type veth peer name " + port + " netns " + sw) !=
            0 ||
        switch_ns_.Exec("ip link set " + port + " master br0 up") != 0 ||
        host_.Exec("ip link set " + member + " up") != 0)
      return false;
  }
  return client_.Exec("ip link add c0 type veth peer name sc netns " + sw) == 0 &&
         switch_ns_.Exec("ip link set sc master br0 up") == 0 &&
         client_.Exec("ip addr add " + std::string(kClientAddress) + "/24 dev c0") == 0 &&
         client_.Exec("ip link set c0 up") == 0;
}

bool Topology::SetLink(int i, bool up) const {
  const std::string port = "s" + std::to_string(i);
  if (switch_ns_.Exec("ip link set " + port + (up ? " up" : " down")) != 0) return false;
  // The member's carrier follows at once, but the bridge takes the port into forwarding only
  // when the kernel's link-state work gets round to it, which on a busy machine can be much
  // later. A frame the host sends before then (the announcement of a fail-back) is dropped by
  // the switch, which then keeps the group's address on the other port. A real switch port
  // forwards once its link is up, so the switch here is waited for.
  const std::string wanted = up ? "state forwarding" : "state disabled";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    std::string out;
    switch_ns_.Exec("bridge link show dev " + port, &out);
    if (out.find(wanted) != std::string::npos) return true;
    usleep(5000);
  }
  return false;
}

std::string Topology::PortOf(const std::string& mac) const {
  std::string out;
  switch_ns_.Exec("bridge fdb show br br0", &out);
  // Lines: "02:00:00:00:0a:01 dev s0 master br0"
  size_t at = 0;
  while ((at = out.find(mac + " dev ", at)) != std::string::npos) {
    const size_t start = at + mac.size() + 5;
    const size_t end = out.find(' ', start);
    const std::string port = out.substr(start, end - start);
    if (port != "br0") return port;
    at = start;
  }
  return "";
}

int SocketIn(const TestNamespace& netns, int domain, int type, int protocol) {
  int fd = -1;
  if (!netns.Run([&] { fd = socket(domain, type | SOCK_CLOEXEC, protocol); })) return -1;
  return fd;
}

UdpEcho::UdpEcho(const Topology& topology, const std::string& server_address, uint16_t port) {
  server_ = SocketIn(topology.host(), AF_INET, SOCK_DGRAM, 0);
  client_ = SocketIn(topology.client(), AF_INET, SOCK_DGRAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  sockaddr_in to = at;
  if (server_ < 0 || client_ < 0 || inet_pton(AF_INET, server_address.c_str(), &to.sin_addr) != 1 ||
      bind(server_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
      connect(client_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    error_ = std::string("cannot set up the UDP echo: ") + std::strerror(errno);
    return;
  }
  echo_ = std::thread([this] { Serve(); });
}

UdpEcho::~UdpEcho() {
  stop_ = true;
  if (echo_.joinable()) echo_.join();
  if (server_ >= 0) close(server_);
  if (client_ >= 0) close(client_);
}

void UdpEcho::Serve() {
  while (!stop_) {
    pollfd ready{server_, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    uint32_t number = 0;
    sockaddr_in from{};
    socklen_t from_size = sizeof from;
    const ssize_t got = recvfrom(server_, &number, sizeof number, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &from_size);
    if (got != sizeof number) continue;
    if (number >= seen_.size()) seen_.resize(number + 1024, 0);
    if (seen_[number]++) ++duplicated_requests_;
    sendto(server_, &number, sizeof number, 0, reinterpret_cast<sockaddr*>(&from), from_size);
  }
}

UdpEcho::Result UdpEcho::Exchange(int count, std::chrono::microseconds interval,
                                  std::chrono::milliseconds linger,
                                  const std::function<void(int)>& during) {
  using Clock = std::chrono::steady_clock;
  Result result;
  result.answers.assign(count, false);
  result.answer_times.assign(count, std::chrono::microseconds(-1));
  const uint32_t first = next_number_;
  next_number_ += static_cast<uint32_t>(count);
  const int duplicated_before = duplicated_requests_;
  const Clock::time_point start = result.start = Clock::now();

  // Takes in every answer that comes until `deadline`.
  auto drain_until = [&](Clock::time_point deadline) {
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
      if (left.count() <= 0) return;
      const timespec wait{static_cast<time_t>(left.count() / 1000000000),
                          static_cast<long>(left.count() % 1000000000)};
      pollfd ready{client_, POLLIN, 0};
      if (ppoll(&ready, 1, &wait, nullptr) <= 0) continue;
      uint32_t number = 0;
      if (recv(client_, &number, sizeof number, MSG_DONTWAIT) != sizeof number) continue;
      if (number < first || number >= first + static_cast<uint32_t>(count)) continue;
      const size_t i = number - first;
      if (result.answers[i]) {
        ++result.duplicated_answers;
        continue;
      }
      result.answers[i] = true;
      result.answer_times[i] =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    }
  };

  for (int i = 0; i < count; ++i) {
    if (during) during(i);
    const uint32_t number = first + static_cast<uint32_t>(i);
    if (send(client_, &number, sizeof number, 0) == sizeof number) ++result.sent;
    drain_until(start + interval * (i + 1));
  }
  // Late answers until all are in (or `linger` is over), then a little more for duplicates.
  const Clock::time_point give_up = Clock::now() + linger;
  auto all_answered = [&] {
    return std::find(result.answers.begin(), result.answers.end(), false) == result.answers.end();
  };
  while (Clock::now() < give_up && !all_answered())
    drain_until(std::min(give_up, Clock::now() + std::chrono::milliseconds(20)));
  drain_until(Clock::now() + std::chrono::milliseconds(50));
  int run = 0;
  for (bool answered : result.answers) {
    result.answered += answered;
    run = answered ? 0 : run + 1;
    result.longest_loss = std::max(result.longest_loss, run);
  }
  result.duplicated_requests = duplicated_requests_ - duplicated_before;
  return result;
}

}  // namespace pairway::testing
