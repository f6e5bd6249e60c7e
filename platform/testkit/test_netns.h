// test_netns.h: a network namespace made for one test and removed with it.
//
// TestNamespace runs `ip netns add pw-test-<pid>-<n>` and, in its destructor, `ip netns del`,
// so the namespace and every interface made in it go away also when the test fails. Traffic
// between interfaces in it never leaves it. Needs root; where a namespace cannot be made, ok()
// is false and error() says why, for the test to skip with.
#ifndef PAIRWAY_TESTKIT_TEST_NETNS_H
#define PAIRWAY_TESTKIT_TEST_NETNS_H

#include <functional>
#include <string>

namespace pairway::testing {

class TestNamespace {
 public:
  TestNamespace();
  ~TestNamespace();
  TestNamespace(const TestNamespace&) = delete;
  TestNamespace& operator=(const TestNamespace&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& name() const { return name_; }

  // Runs a shell command line inside the namespace (`ip netns exec`), every command of it, pipes
  // and lists included; returns its exit status and, when out is given, what it printed on
  // standard output.
  int Exec(const std::string& command, std::string* out = nullptr) const;

  // Runs `body` on a thread of this process that entered the namespace (setns) and waits for
  // it; the calling thread stays where it is. False, without running `body`, when the thread
  // could not enter.
  bool Run(const std::function<void()>& body) const;

 private:
  std::string name_;
  std::string error_;
};

}  // namespace pairway::testing

#endif  // PAIRWAY_TESTKIT_TEST_NETNS_H
