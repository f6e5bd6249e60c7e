// The published failover state: its text form, the driver's lock, atomic replacement.
//
//   1. Text form (format and parse)
//   2. The driver lock
//   3. Reading and publishing
#include "failover_state.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "pairway/machine_root.h"

namespace pairway::driver {
namespace {

namespace fs = std::filesystem;

constexpr char kFirstLine[] = "pairway-failover-state 1";
constexpr char kEndLine[] = "end";

// ---- 1. Text form ----------------------------------------------------------------------------

std::string Escape(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view value, std::string* out) {
  out->clear();
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      out->push_back(value[i]);
      continue;
    }
    if (++i == value.size()) return false;
    switch (value[i]) {
      case '\\':
        out->push_back('\\');
        break;
      case 't':
        out->push_back('\t');
        break;
      case 'n':
        out->push_back('\n');
        break;
      case 'r':
        out->push_back('\r');
        break;
      default:
        return false;
    }
  }
  return true;
}

// One record being written: "kind\tname=value\t...".
class RecordWriter {
 public:
  explicit RecordWriter(const char* kind) : line_(kind) {}
  RecordWriter& Field(const char* name, std::string_view value) {
    line_ += '\t';
    line_ += name;
    line_ += '=';
    line_ += Escape(value);
    return *this;
  }
  template <typename T>
  RecordWriter& Number(const char* name, T value) {
    return Field(name, std::to_string(value));
  }
  std::string Line() const { return line_ + "\n"; }

 private:
  std::string line_;
};

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  return text;
}

// One record being read: its kind and fields by name (unknown fields are kept and ignored).
struct Record {
  std::string kind;
  std::map<std::string, std::string, std::less<>> fields;

  const std::string* Find(std::string_view name) const {
    auto it = fields.find(name);
    return it == fields.end() ? nullptr : &it->second;
  }
  bool Text(std::string_view name, std::string* out) const {
    const std::string* value = Find(name);
    if (value == nullptr) return false;
    *out = *value;
    return true;
  }
  template <typename Number>
  bool Whole(std::string_view name, Number* out) const {
    const std::string* value = Find(name);
    if (value == nullptr || value->empty()) return false;
    auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), *out);
    return ec == std::errc() && end == value->data() + value->size();
  }
  template <typename Enum, size_t N>
  bool Choice(std::string_view name, const std::pair<const char*, Enum> (&table)[N],
              Enum* out) const {
    const std::string* value = Find(name);
    if (value == nullptr) return false;
    for (const auto& [text, choice] : table) {
      if (*value == text) {
        *out = choice;
        return true;
      }
    }
    return false;
  }
};

bool ParseRecord(std::string_view line, Record* record) {
  size_t tab = line.find('\t');
  record->kind = std::string(line.substr(0, tab));
  record->fields.clear();
  while (tab != std::string_view::npos) {
    size_t start = tab + 1;
    tab = line.find('\t', start);
    std::string_view field = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
    size_t equals = field.find('=');
    if (equals == std::string_view::npos || equals == 0) return false;
    std::string value;
    if (!Unescape(field.substr(equals + 1), &value)) return false;
    record->fields[std::string(field.substr(0, equals))] = std::move(value);
  }
  return true;
}

constexpr std::pair<const char*, MemberRole> kRoles[] = {{"primary", MemberRole::kPrimary},
                                                         {"backup", MemberRole::kBackup}};
constexpr std::pair<const char*, MemberLink> kLinks[] = {
    {"up", MemberLink::kUp}, {"down", MemberLink::kDown}, {"missing", MemberLink::kMissing}};
constexpr std::pair<const char*, bool> kGroupStates[] = {{"up", true}, {"down", false}};

bool ParseGroup(const Record& r, GroupStatus* g) {
  std::string addresses;
  if (!r.Text("name", &g->name) || !r.Text("head", &g->head) ||
      !r.Text("interface", &g->interface) || !r.Text("backend", &g->backend) ||
      !r.Text("active", &g->active) || !r.Whole("timeout", &g->link_check_timeout_s) ||
      !r.Choice("state", kGroupStates, &g->up) || !r.Whole("failovers", &g->failovers) ||
      !r.Whole("failbacks", &g->failbacks) || !r.Whole("link_changes", &g->link_changes) ||
      !r.Text("addresses", &addresses))
    return false;
  std::stringstream list(addresses);
  for (std::string item; std::getline(list, item, ',');) g->addresses.push_back(item);
  return true;
}

bool ParseMember(const Record& r, MemberStatus* m) {
  int active = 0;
  if (!r.Text("port", &m->port) || !r.Text("interface", &m->interface) ||
      !r.Choice("role", kRoles, &m->role) || !r.Choice("link", kLinks, &m->link) ||
      !r.Whole("active", &active) || (active != 0 && active != 1))
    return false;
  m->active = active == 1;
  return true;
}

bool ParseLines(std::string_view text, FailoverState* state) {
  size_t start = 0;
  bool first = true, ended = false;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return false;  // a last line without its line feed
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (ended) return false;  // nothing follows the end line
    if (first) {
      if (line != kFirstLine) return false;
      first = false;
      continue;
    }
    if (line == kEndLine) {
      ended = true;
      continue;
    }
    Record r;
    if (!ParseRecord(line, &r)) return false;
    if (r.kind == "driver") {
      if (!r.Whole("pid", &state->pid) || !r.Whole("started", &state->started) ||
          !r.Whole("updated", &state->updated))
        return false;
    } else if (r.kind == "group") {
      if (!ParseGroup(r, &state->groups.emplace_back())) return false;
    } else if (r.kind == "member") {
      if (state->groups.empty() || !ParseMember(r, &state->groups.back().members.emplace_back()))
        return false;
    } else if (r.kind == "rejected") {
      RejectedPort& rejected = state->rejected.emplace_back();
      if (!r.Text("port", &rejected.port) || !r.Text("reason", &rejected.reason)) return false;
    }
    // Records of other kinds come from a newer driver; they are skipped.
  }
  return ended;
}

// ---- 2. The driver lock ----------------------------------------------------------------------

// True when some open file description holds a write lock on the lock file.
bool DriverLockHeld(const fs::path& lock_path) {
  int fd = open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  bool held = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  close(fd);
  return held;
}

// The pid the holder wrote into the lock file; 0 when it cannot be read.
pid_t LockHolder(const fs::path& lock_path) {
  std::ifstream in(lock_path);
  long pid = 0;
  return in >> pid && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool ReadWholeFile(const fs::path& path, std::string* text, bool* missing) {
  *missing = false;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *missing = errno == ENOENT;
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return !in.bad();
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

fs::path StateDir(const fs::path& root) { return RunDir(root) / "trevan"; }

}  // namespace

const char* MemberRoleText(MemberRole role) {
  return role == MemberRole::kPrimary ? "primary" : "backup";
}

const char* MemberLinkText(MemberLink link) {
  switch (link) {
    case MemberLink::kUp:
      return "up";
    case MemberLink::kDown:
      return "down";
    case MemberLink::kMissing:
      return "missing";
  }
  return "missing";
}

std::string FormatFailoverState(const FailoverState& state) {
  std::string text = std::string(kFirstLine) + "\n";
  text += RecordWriter("driver")
              .Number("pid", state.pid)
              .Number("started", state.started)
              .Number("updated", state.updated)
              .Line();
  for (const GroupStatus& g : state.groups) {
    text += RecordWriter("group")
                .Field("name", g.name)
                .Field("head", g.head)
                .Field("interface", g.interface)
                .Field("backend", g.backend)
                .Field("active", g.active)
                .Number("timeout", g.link_check_timeout_s)
                .Field("state", g.up ? "up" : "down")
                .Number("failovers", g.failovers)
                .Number("failbacks", g.failbacks)
                .Number("link_changes", g.link_changes)
                .Field("addresses", Join(g.addresses))
                .Line();
    for (const MemberStatus& m : g.members) {
      text += RecordWriter("member")
                  .Field("port", m.port)
                  .Field("interface", m.interface)
                  .Field("role", MemberRoleText(m.role))
                  .Field("link", MemberLinkText(m.link))
                  .Number("active", m.active ? 1 : 0)
                  .Line();
    }
  }
  for (const RejectedPort& r : state.rejected)
    text += RecordWriter("rejected").Field("port", r.port).Field("reason", r.reason).Line();
  return text + kEndLine + "\n";
}

bool ParseFailoverState(std::string_view text, FailoverState* state) {
  *state = FailoverState{};
  if (ParseLines(text, state)) return true;
  *state = FailoverState{};
  return false;
}

fs::path FailoverStatePath(const fs::path& root) { return StateDir(root) / "failover.state"; }
fs::path DriverLockPath(const fs::path& root) { return StateDir(root) / "driver.lock"; }

// ---- 3. Reading and publishing ---------------------------------------------------------------

StateRead ReadFailoverState(const fs::path& root, FailoverState* state) {
  *state = FailoverState{};
  // The file first, the lock after: a driver that stopped in between is not taken for one that
  // runs, and a file that outlived a killed driver is never shown as live.
  std::string text;
  bool missing = false;
  bool read = ReadWholeFile(FailoverStatePath(root), &text, &missing);
  fs::path lock = DriverLockPath(root);
  if (!DriverLockHeld(lock)) return StateRead::kNoDriver;
  pid_t holder = LockHolder(lock);
  if (!read) {
    if (!missing) return StateRead::kDamaged;
    state->pid = 0;  // started, nothing published yet
    return StateRead::kOk;
  }
  if (!ParseFailoverState(text, state)) return StateRead::kDamaged;
  // The file of an earlier driver read in the moment the next one took the lock.
  if (holder != 0 && state->pid != holder) *state = FailoverState{};
  return StateRead::kOk;
}

std::unique_ptr<StatePublisher> StatePublisher::Claim(const fs::path& root, std::string* error) {
  std::error_code ec;
  fs::path dir = StateDir(root);
  fs::create_directories(dir, ec);
  if (ec) {
    *error = "cannot make " + dir.string() + ": " + ec.message();
    return nullptr;
  }
  fs::path lock = DriverLockPath(root);
  int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot open " + lock.string() + ": " + strerror(errno);
    return nullptr;
  }
  struct flock claim {};
  claim.l_type = F_WRLCK;
  claim.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &claim) != 0) {
    int saved = errno;
    close(fd);
    *error = saved == EAGAIN || saved == EACCES
                 ? "another driver already serves the machine root " + root.string()
                 : "cannot lock " + lock.string() + ": " + strerror(saved);
    return nullptr;
  }
  // What an earlier driver published is not ours to show.
  fs::remove(FailoverStatePath(root), ec);
  std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) != 0 || !WriteAll(fd, pid)) {
    // Readers then cannot tell an earlier driver's file from ours; Claim removed it already.
  }
  return std::unique_ptr<StatePublisher>(new StatePublisher(root, fd));
}

StatePublisher::StatePublisher(fs::path root, int lock_fd)
    : root_(std::move(root)), lock_fd_(lock_fd) {}

StatePublisher::~StatePublisher() {
  std::error_code ec;
  fs::remove(FailoverStatePath(root_), ec);
  close(lock_fd_);
}

bool StatePublisher::Publish(const FailoverState& state, std::string* error) {
  fs::path target = FailoverStatePath(root_);
  fs::path temporary = target;
  temporary += ".new";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot write " + temporary.string() + ": " + strerror(errno);
    return false;
  }
  bool written = WriteAll(fd, FormatFailoverState(state));
  int saved = errno;
  if (close(fd) != 0 && written) {
    written = false;
    saved = errno;
  }
  if (!written || rename(temporary.c_str(), target.c_str()) != 0) {
    if (written) saved = errno;
    unlink(temporary.c_str());
    *error = "cannot publish " + target.string() + ": " + strerror(saved);
    return false;
  }
  return true;
}

}  // namespace pairway::driver
