// four_port_root.h: the machine pairwayctl's tests start from: a fresh root with four emulated
// ports, all typed "auto" as the new-hardware dialog would save them.
#ifndef PAIRWAYCTL_FOUR_PORT_ROOT_H
#define PAIRWAYCTL_FOUR_PORT_ROOT_H

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "temp_root.h"

namespace pairwayctl_test {

class FourPortRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Tool("pairway-netsetup", "init"), 0);
    for (int card = 1; card <= 4; ++card) {
      ASSERT_EQ(Tool("pairway-netsetup", "add-card --title 'Adapter " + std::to_string(card) + "'"),
                0);
    }
    std::string out;
    ASSERT_EQ(Ctl("port type 1 2 3 4 auto", &out), 0) << out;
  }

  // Runs a tool of the build with no input; `out` gets its standard output, and its standard
  // error too unless `errors` is false (then they are dropped).
  int Tool(const std::string& tool, const std::string& arguments, std::string* out = nullptr,
           bool errors = true) {
    return pairway::testing::RunCommand((pairway::testing::BuildDir() / "bin" / tool).string() +
                                            " " + arguments + (errors ? " 2>&1" : " 2>/dev/null") +
                                            " </dev/null",
                                        out);
  }
  int Ctl(const std::string& arguments, std::string* out = nullptr) {
    return Tool("pairwayctl", arguments, out);
  }
  // The whole machine key as the registry tool exports it.
  std::string Export() {
    std::string file = (root_.path() / "export.reg").string();
    Tool("pairway-reg", "export HKLM '" + file + "' /y");
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  pairway::testing::TempRoot root_;
};

}  // namespace pairwayctl_test

#endif  // PAIRWAYCTL_FOUR_PORT_ROOT_H
