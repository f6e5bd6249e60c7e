// The daemon's listing requests: one service's status with its process id (kQueryEx) and the
// services that match a type and a state mask (kEnumerate), paged to fit the frames.
#include "scm_daemon.h"

#include <algorithm>
#include <string>
#include <vector>

#include "service_db.h"

namespace pairway::scm {
namespace {

// Room for the entries of one reply: the frame less its header, error and total.
constexpr size_t kEntryRoom = kMaxFrameBody - 16;

bool ValidTypeMask(uint32_t types) {
  return types != 0 && (types & ~static_cast<uint32_t>(SERVICE_TYPE_ALL)) == 0;
}

bool ValidStateMask(uint32_t states) {
  return states != 0 && (states & ~static_cast<uint32_t>(SERVICE_STATE_ALL)) == 0;
}

bool StateMatches(uint32_t states, DWORD state) {
  return (states & (state == SERVICE_STOPPED ? SERVICE_INACTIVE : SERVICE_ACTIVE)) != 0;
}

struct Listed {
  const ServiceConfig* config;
  SERVICE_STATUS status;
  DWORD pid;
};

size_t EntrySize(const ServiceConfig& config) {
  return 4 + std::min<size_t>(config.name.size(), kMaxText) + 4 +
         std::min<size_t>(config.display_name.size(), kMaxText) + 7 * 4 + 4;
}

}  // namespace

void Daemon::DoQueryEx(uint64_t client, FrameReader* reader) {
  std::string name;
  if (!reader->Text(&name) || !reader->Finish()) return DropClient(client, "a malformed query");
  ServiceConfig config;
  SERVICE_STATUS status{};
  DWORD pid = 0;
  DWORD error = ERROR_SUCCESS;
  if (!ValidServiceName(name) || ReadServiceEntry(name, &config) != ERROR_SUCCESS)
    error = ERROR_SERVICE_DOES_NOT_EXIST;
  else
    status = StatusOf(config, &pid);
  FrameWriter reply(MessageKind::kReplyEx);
  SendReply(client, reply.U32(error).Status(status).U32(pid).Bytes());
}

void Daemon::DoEnumerate(uint64_t client, FrameReader* reader) {
  uint32_t types = 0, states = 0, first = 0;
  if (!reader->U32(&types) || !reader->U32(&states) || !reader->U32(&first) || !reader->Finish())
    return DropClient(client, "a malformed enumeration");
  FrameWriter reply(MessageKind::kEnumReply);
  if (!ValidTypeMask(types) || !ValidStateMask(states))
    return SendReply(client, reply.U32(ERROR_INVALID_PARAMETER).U32(0).Bytes());
  const std::vector<ServiceConfig> entries = ListServiceEntries();
  std::vector<Listed> matched;
  for (const ServiceConfig& config : entries) {
    if ((config.type & types) == 0) continue;
    DWORD pid = 0;
    SERVICE_STATUS status = StatusOf(config, &pid);
    if (StateMatches(states, status.dwCurrentState)) matched.push_back({&config, status, pid});
  }
  reply.U32(ERROR_SUCCESS).U32(static_cast<uint32_t>(matched.size()));
  size_t used = 0;
  for (size_t i = first; i < matched.size(); ++i) {
    const Listed& entry = matched[i];
    size_t size = EntrySize(*entry.config);
    if (i > first && used + size > kEntryRoom) break;  // the client asks for the rest
    used += size;
    reply.Text(entry.config->name).Text(entry.config->display_name).Status(entry.status);
    reply.U32(entry.pid);
  }
  SendReply(client, reply.Bytes());
}

}  // namespace pairway::scm
