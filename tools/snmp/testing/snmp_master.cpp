#include "snmp_master.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "temp_root.h"

namespace snmphost::testing {
namespace fs = std::filesystem;
namespace {

int FreeUdpPort() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) close(fd);
  return port;
}

// Starts `argv` with `env` added to the environment, stdout and stderr to `output` (or kept).
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const fs::path& output) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
  if (!output.empty()) {
    int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

int Reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool SnmpToolsInstalled() {
  return pairway::testing::RunCommand("command -v /usr/sbin/snmpd snmpwalk >/dev/null 2>&1") == 0;
}

bool WaitFor(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool RegisterAgentsByMonitor() {
  fs::path bin = pairway::testing::BuildDir() / "bin";
  fs::path out = fs::path(getenv("PAIRWAY_ROOT")) / "portwarden.out";
  pid_t monitor = Spawn({(bin / "portwarden").string()}, {}, out);
  std::string reg = (bin / "pairway-reg").string();
  int poke = 0;
  // Any write under the services key wakes the monitor for a pass.
  bool listed = WaitFor([&] {
    pairway::testing::RunCommand(reg + " add 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\Poke'" +
                                 " /v n /t REG_DWORD /d " + std::to_string(++poke) +
                                 " /f >/dev/null");
    // The pass lists the agent before it writes the agent's key: done only when the last agent's
    // "Pathname" is there, or the host may start between the two and leave the agent out.
    std::string pathname;
    pairway::testing::RunCommand(
        reg + " query 'HKLM\\SOFTWARE\\Corvane\\DmiMib\\CurrentVersion' /v Pathname 2>/dev/null",
        &pathname);
    return pathname.find("mifsnmp.dll") != std::string::npos;
  });
  kill(monitor, SIGTERM);
  Reap(monitor);
  return listed;
}

SnmpMaster::SnmpMaster() {
  std::string pattern = "/tmp/pairway-snmpd-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  folder_ = pattern;
  fs::create_directories(folder_ / "persist");
  port_ = FreeUdpPort();
  std::ofstream(folder_ / "snmpd.conf") << "master agentx\n"
                                        << "agentXSocket " << agentx_address() << "\n"
                                        << "agentXPerms 0660 0770\n"
                                        << "agentXTimeout 1\n"
                                        << "agentXRetries 1\n"
                                        << "rocommunity public 127.0.0.1\n"
                                        << "rwcommunity private 127.0.0.1\n";
  Start();
}

SnmpMaster::~SnmpMaster() {
  Stop(SIGTERM);
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

bool SnmpMaster::Start() {
  fs::path socket = folder_ / "agentx.sock";
  fs::remove(socket);
  pid_ = Spawn(
      {"/usr/sbin/snmpd", "-f", "-Lf", (folder_ / "snmpd.log").string(), "-C", "-c",
       (folder_ / "snmpd.conf").string(), "-I", "-smux", "udp:127.0.0.1:" + std::to_string(port_)},
      {"SNMP_PERSISTENT_DIR=" + (folder_ / "persist").string(), "MIBS="}, {});
  if (WaitFor([&] { return fs::exists(socket); })) return true;
  Stop(SIGKILL);
  return false;
}

void SnmpMaster::Stop(int signal) {
  if (pid_ <= 0) return;
  kill(pid_, signal);
  Reap(pid_);
  pid_ = -1;
}

std::string SnmpMaster::agentx_address() const {
  return "unix:" + (folder_ / "agentx.sock").string();
}

int SnmpMaster::Client(const std::string& tool, const std::string& args, std::string* out) const {
  std::string command = "SNMP_PERSISTENT_DIR=" + (folder_ / "persist").string() + " MIBS= " + tool +
                        " -On -t 2 -r 1 127.0.0.1:" + std::to_string(port_) + " " + args + " 2>&1";
  out->clear();
  return pairway::testing::RunCommand(command, out);
}

Host::Host(const std::string& master_address, const fs::path& log,
           const std::vector<std::string>& extra)
    : log_(log) {
  std::vector<std::string> argv = {(pairway::testing::BuildDir() / "bin" / "pairway-snmp").string(),
                                   "-f",
                                   "-x",
                                   master_address,
                                   "--ping-interval",
                                   "1"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  pid_ = Spawn(argv, {}, log_);
}

Host::~Host() { Stop(); }

bool Host::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  pid_ = -1;
  return false;
}

int Host::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = Reap(pid_);
  pid_ = -1;
  return status;
}

std::string Host::log() const {
  std::ifstream in(log_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace snmphost::testing
