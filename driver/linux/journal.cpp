// The journal's text form and its atomic replacement; see journal.h.
#include "journal.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pairway::driver {
namespace {

constexpr const char* kHeader = "pairway-journal 1";
constexpr const char* kSuffix = ".journal";

std::string FormatMac(const std::vector<uint8_t>& mac) {
  std::string text;
  char byte[4];
  for (size_t i = 0; i < mac.size(); ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ":%02x", mac[i]);
    text += byte;
  }
  return text.empty() ? "-" : text;
}

bool ParseMac(const std::string& text, std::vector<uint8_t>* mac) {
  mac->clear();
  if (text == "-") return true;
  for (size_t at = 0; at < text.size(); at += 3) {
    uint8_t value = 0;
    const char* begin = text.data() + at;
    if (at + 2 > text.size() || std::from_chars(begin, begin + 2, value, 16).ptr != begin + 2)
      return false;
    if (at + 2 < text.size() && text[at + 2] != ':') return false;
    mac->push_back(value);
  }
  return !mac->empty();
}

std::string FormatAddress(const std::string& ifname, const netlink::Address& address) {
  std::string line = "address " + ifname + " " + address.ToString();
  if (address.has_broadcast) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, address.broadcast.data(), text, sizeof text);
    line += std::string(" brd=") + text;
  }
  return line + " scope=" + std::to_string(address.scope) +
         " flags=" + std::to_string(address.flags);
}

// "10.0.0.5/24" or "2001:db8::5/64".
bool ParsePrefix(const std::string& text, netlink::Address* address) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return false;
  const std::string ip = text.substr(0, slash);
  address->family = ip.find(':') != std::string::npos ? AF_INET6 : AF_INET;
  if (inet_pton(address->family, ip.c_str(), address->bytes.data()) != 1) return false;
  const char* begin = text.data() + slash + 1;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(begin, end, address->prefix_length);
  return parsed.ptr == end && parsed.ec == std::errc() &&
         address->prefix_length <= (address->family == AF_INET6 ? 128u : 32u);
}

bool ParseAddressLine(std::istringstream& fields, netlink::Address* address) {
  std::string prefix, option;
  if (!(fields >> prefix) || !ParsePrefix(prefix, address)) return false;
  while (fields >> option) {
    const size_t equals = option.find('=');
    if (equals == std::string::npos) return false;
    const std::string name = option.substr(0, equals), value = option.substr(equals + 1);
    if (name == "brd") {
      address->has_broadcast = inet_pton(AF_INET, value.c_str(), address->broadcast.data()) == 1;
      if (!address->has_broadcast) return false;
    } else if (name == "scope") {
      unsigned scope = 0;
      if (std::from_chars(value.data(), value.data() + value.size(), scope).ec != std::errc() ||
          scope > 255)
        return false;
      address->scope = static_cast<uint8_t>(scope);
    } else if (name == "flags") {
      if (std::from_chars(value.data(), value.data() + value.size(), address->flags).ec !=
          std::errc())
        return false;
    } else {
      return false;
    }
  }
  return true;
}

// "up=1" and the like; false unless `field` is `name`=0 or 1 (or -1 where allowed).
bool ParseFlag(const std::string& field, const std::string& name, int* value, bool may_be_unset) {
  if (field.rfind(name + "=", 0) != 0) return false;
  const std::string text = field.substr(name.size() + 1);
  if (text == "0" || text == "1") {
    *value = text == "1";
    return true;
  }
  if (may_be_unset && text == "-1") {
    *value = -1;
    return true;
  }
  return false;
}

bool ParseMemberLine(std::istringstream& fields, MemberRecord* member) {
  std::string mac, up, allmulti, ipv6;
  int up_value = 0, allmulti_value = 0;
  if (!(fields >> member->ifname >> mac >> up >> allmulti >> ipv6)) return false;
  if (!ParseMac(mac, &member->mac) || !ParseFlag(up, "up", &up_value, false) ||
      !ParseFlag(allmulti, "allmulti", &allmulti_value, false) ||
      !ParseFlag(ipv6, "ipv6", &member->ipv6, true))
    return false;
  member->up = up_value == 1;
  member->allmulti = allmulti_value == 1;
  return true;
}

std::string Format(const JournalEntry& entry) {
  std::string text =
      std::string(kHeader) + "\nkind " + entry.kind + "\ngroup " + entry.group + "\n";
  for (const MadeInterface& made : entry.made)
    text += "made " + made.ifname + " " + made.kind + "\n";
  for (const MemberRecord& member : entry.members) {
    text += "member " + member.ifname + " " + FormatMac(member.mac) +
            " up=" + std::to_string(member.up) + " allmulti=" + std::to_string(member.allmulti) +
            " ipv6=" + std::to_string(member.ipv6) + "\n";
    for (const netlink::Address& address : member.addresses)
      text += FormatAddress(member.ifname, address) + "\n";
  }
  for (const std::string& ifname : entry.clsact) text += "clsact " + ifname + "\n";
  return text;
}

// Reads the lines after the header; false at the first line that is not understood.
bool ParseBody(std::istream& in, JournalEntry* entry) {
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string verb;
    if (!(fields >> verb)) continue;
    if (verb == "kind") {
      if (!(fields >> entry->kind)) return false;
    } else if (verb == "group") {
      if (!(fields >> entry->group)) return false;
    } else if (verb == "made") {
      MadeInterface made;
      if (!(fields >> made.ifname >> made.kind)) return false;
      entry->made.push_back(made);
    } else if (verb == "member") {
      MemberRecord member;
      if (!ParseMemberLine(fields, &member)) return false;
      entry->members.push_back(member);
    } else if (verb == "address") {
      std::string ifname;
      netlink::Address address;
      if (!(fields >> ifname) || entry->members.empty() || entry->members.back().ifname != ifname ||
          !ParseAddressLine(fields, &address))
        return false;
      entry->members.back().addresses.push_back(address);
    } else if (verb == "clsact") {
      std::string ifname;
      if (!(fields >> ifname)) return false;
      entry->clsact.push_back(ifname);
    } else {
      return false;
    }
  }
  return !entry->kind.empty() && !entry->group.empty();
}

bool WriteWhole(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

void SyncFolder(const std::filesystem::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool WriteJournal(const std::filesystem::path& folder, const JournalEntry& entry,
                  std::string* error) {
  const std::filesystem::path file = folder / (entry.group + kSuffix);
  const std::filesystem::path temporary = folder / (entry.group + kSuffix + ".new");
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot write the journal " + temporary.string() + ": " + std::strerror(errno);
    return false;
  }
  const bool written = WriteWhole(fd, Format(entry)) && fsync(fd) == 0;
  const int saved = errno;
  close(fd);
  if (!written || rename(temporary.c_str(), file.c_str()) != 0) {
    *error =
        "cannot write the journal " + file.string() + ": " + std::strerror(written ? errno : saved);
    unlink(temporary.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

bool ReadJournal(const std::filesystem::path& file, JournalEntry* entry, std::string* error) {
  std::ifstream in(file);
  if (!in) {
    *error = "cannot read the journal " + file.string() + ": " + std::strerror(errno);
    return false;
  }
  std::string header;
  JournalEntry parsed;
  if (!std::getline(in, header) || header != kHeader || !ParseBody(in, &parsed)) {
    *error = "the journal " + file.string() + " is not one this driver can read";
    return false;
  }
  *entry = std::move(parsed);
  return true;
}

void RemoveJournal(const std::filesystem::path& folder, const std::string& group) {
  std::error_code ignored;
  std::filesystem::remove(folder / (group + kSuffix), ignored);
  SyncFolder(folder);
}

std::vector<std::filesystem::path> JournalFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
    if (item.path().extension() == kSuffix) files.push_back(item.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace pairway::driver
