// A port's figures from its device: byte counters summed over the three kinds of frames, the link
// from the media connect status.
#include "port_figures.h"

#include <ntddndis.h>

#include <cctype>

namespace standbyag {
namespace {

// Longest instance name the registry layout can carry (a 64-byte value with its zero).
constexpr size_t kMaxServiceName = 63;

constexpr NDIS_OID kBytesSentOids[] = {OID_GEN_DIRECTED_BYTES_XMIT, OID_GEN_MULTICAST_BYTES_XMIT,
                                       OID_GEN_BROADCAST_BYTES_XMIT};
constexpr NDIS_OID kBytesReceivedOids[] = {OID_GEN_DIRECTED_BYTES_RCV, OID_GEN_MULTICAST_BYTES_RCV,
                                           OID_GEN_BROADCAST_BYTES_RCV};

// Only letters and digits: the name becomes part of a device path, where a separator or a
// dot would name something else than a port.
bool IsPlainName(const std::string& name) {
  if (name.empty() || name.size() > kMaxServiceName) return false;
  for (unsigned char c : name) {
    if (!std::isalnum(c)) return false;
  }
  return true;
}

// The driver makes "\Device\TREVANn" for each port, but only an MS-DOS name reaches it from
// user mode: the first reader to need one defines it, and it stays for the others.
bool EnsureDosName(const std::string& service) {
  char target[MAX_PATH];
  if (QueryDosDeviceA(service.c_str(), target, sizeof target) != 0) return true;
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  return DefineDosDeviceA(DDD_RAW_TARGET_PATH, service.c_str(), ("\\Device\\" + service).c_str()) !=
         FALSE;
}

HANDLE OpenPortDevice(const std::string& service) {
  if (!EnsureDosName(service)) return INVALID_HANDLE_VALUE;
  return CreateFileA(("\\\\.\\" + service).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The port's device; closed on destruction.
class PortDevice {
 public:
  explicit PortDevice(const std::string& service) : handle_(OpenPortDevice(service)) {}
  ~PortDevice() {
    if (is_open()) CloseHandle(handle_);
  }
  PortDevice(const PortDevice&) = delete;
  PortDevice& operator=(const PortDevice&) = delete;

  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }

  // The reply to `oid` as a little-endian number of up to 8 bytes; ERROR_SUCCESS or the error
  // of the query.
  DWORD Query(NDIS_OID oid, uint64_t* value) const {
    BYTE reply[8] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(handle_, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid, reply,
                         sizeof reply, &returned, nullptr)) {
      return GetLastError();
    }
    uint64_t number = 0;
    for (DWORD i = returned; i > 0; --i) number = number << 8 | reply[i - 1];
    *value = number;
    return ERROR_SUCCESS;
  }

  // A driver that does not tell bytes apart by destination counts them all as directed and
  // does not answer the other two: what it does not answer adds nothing. At least one must answer.
  template <size_t N>
  bool Sum(const NDIS_OID (&oids)[N], uint64_t* total) const {
    uint64_t sum = 0;
    bool answered = false;
    for (NDIS_OID oid : oids) {
      uint64_t part = 0;
      const DWORD status = Query(oid, &part);
      if (status == ERROR_NOT_SUPPORTED) continue;
      if (status != ERROR_SUCCESS) return false;
      sum += part;
      answered = true;
    }
    if (answered) *total = sum;
    return answered;
  }

 private:
  const HANDLE handle_;
};

}  // namespace

bool ReadPortFigure(const std::string& service, PortFigure figure, uint64_t* value) {
  if (!IsPlainName(service)) return false;
  PortDevice device(service);
  if (!device.is_open()) return false;
  switch (figure) {
    case PortFigure::kBytesSent:
      return device.Sum(kBytesSentOids, value);
    case PortFigure::kBytesReceived:
      return device.Sum(kBytesReceivedOids, value);
    case PortFigure::kLinkUp: {
      uint64_t state = 0;
      if (device.Query(OID_GEN_MEDIA_CONNECT_STATUS, &state) != ERROR_SUCCESS) return false;
      *value = state == NdisMediaStateConnected ? 1 : 0;
      return true;
    }
  }
  return false;
}

}  // namespace standbyag
