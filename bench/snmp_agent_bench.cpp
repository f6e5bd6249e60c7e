// snmp_agent_bench: the cost of the hop to an agent in a process of its own, next to the same
// agent loaded into the host, without snmpd.
//
// Workload: a fresh machine root (pairway-netsetup init --snmp, add-card per port) with 64
// emulated TREVAN ports and the LAN adapter agent mifsnmp.dll, once loaded into this process
// (ExtensionAgent, as `pairway-snmp --in-process`) and once started as an agent process
// (AgentProcess, as `pairway-snmp` by default; the child is build/bin/pairway-snmp).
//   get/in_process, get/process    GET of port 1's frames sent (4.1.6.1)
//   walk/in_process, walk/process  the whole MIB by GETNEXT; objects per second in "objects/s"
// Wall time (UseRealTime): the agent process's share of the work is not this process's CPU.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "agent_process.h"
#include "extension_agent.h"

namespace {

namespace fs = std::filesystem;
using snmphost::Answer;
using snmphost::Oid;

constexpr int kPorts = 64;
const char kAgentPath[] = "C:\\WINNT\\System32\\mifsnmp.dll";
const Oid kView = {1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 1};

fs::path BinDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

// The root, made once for every benchmark and removed at exit.
class Root {
 public:
  Root() {
    std::string pattern = (fs::temp_directory_path() / "pairway-agentbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    setenv("PAIRWAY_ROOT", pattern.c_str(), 1);
    std::string netsetup = (BinDir() / "pairway-netsetup").string();
    bool made = system((netsetup + " init --snmp >/dev/null").c_str()) == 0;
    for (int port = 0; made && port < kPorts; ++port) {
      made = system((netsetup + " add-card >/dev/null").c_str()) == 0;
    }
    setenv("SystemRoot", "C:\\WINNT", 1);
    ready_ = made;
  }
  ~Root() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  bool ready() const { return ready_; }

 private:
  fs::path path_;
  bool ready_ = false;
};

Root& TheRoot() {
  static Root root;
  return root;
}

std::unique_ptr<snmphost::Agent> MakeAgent(bool in_process, std::string* why) {
  if (!TheRoot().ready()) {
    *why = "the machine root could not be made";
    return nullptr;
  }
  if (in_process) {
    snmphost::LoadResult result;
    auto agent = snmphost::ExtensionAgent::Load(kAgentPath, &result);
    if (agent == nullptr) *why = snmphost::LoadResultText(result);
    return agent;
  }
  snmphost::ProcessSettings settings;
  settings.program = (BinDir() / "pairway-snmp").string();
  return snmphost::AgentProcess::Start(kAgentPath, settings, why);
}

void Get(benchmark::State& state, bool in_process) {
  std::string why;
  std::unique_ptr<snmphost::Agent> agent = MakeAgent(in_process, &why);
  if (agent == nullptr) {
    state.SkipWithError(why.c_str());
    return;
  }
  Oid name = kView;
  name.insert(name.end(), {4, 1, 6, 1});
  for (auto _ : state) {
    if (agent->Get(name).kind != Answer::Kind::kValue) state.SkipWithError("no value");
  }
}

void Walk(benchmark::State& state, bool in_process) {
  std::string why;
  std::unique_ptr<snmphost::Agent> agent = MakeAgent(in_process, &why);
  if (agent == nullptr) {
    state.SkipWithError(why.c_str());
    return;
  }
  int64_t objects = 0;
  for (auto _ : state) {
    Oid name = kView;
    for (Answer next = agent->GetNext(name); next.kind == Answer::Kind::kValue;
         next = agent->GetNext(name)) {
      name = next.name;
      ++objects;
    }
  }
  state.counters["objects/s"] =
      benchmark::Counter(static_cast<double>(objects), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(Get, in_process, true)->UseRealTime();
BENCHMARK_CAPTURE(Get, process, false)->UseRealTime();
BENCHMARK_CAPTURE(Walk, in_process, true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Walk, process, false)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
