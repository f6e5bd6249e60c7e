// The NIC driver stand-in's answers for a port served from a Linux interface; the mapping of
// every OID is in host_answer.h.
#include "devices/host_answer.h"

#include <net/if.h>
#include <ntddndis.h>
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>
#include <vector>

#include "devices/host_kernel.h"
#include "devices/ndis_answer.h"
#include "pairway/host_nic.h"

namespace pairway {
namespace {

struct CounterSource {
  DWORD oid;
  __u64 rtnl_link_stats64::*field;
};
constexpr CounterSource kCounterSources[] = {
    {OID_GEN_XMIT_OK, &rtnl_link_stats64::tx_packets},
    {OID_GEN_RCV_OK, &rtnl_link_stats64::rx_packets},
    {OID_GEN_XMIT_ERROR, &rtnl_link_stats64::tx_errors},
    {OID_GEN_RCV_ERROR, &rtnl_link_stats64::rx_errors},
    {OID_GEN_RCV_NO_BUFFER, &rtnl_link_stats64::rx_missed_errors},
    {OID_GEN_DIRECTED_BYTES_XMIT, &rtnl_link_stats64::tx_bytes},
    {OID_GEN_DIRECTED_BYTES_RCV, &rtnl_link_stats64::rx_bytes},
    {OID_GEN_RCV_CRC_ERROR, &rtnl_link_stats64::rx_crc_errors},
    {OID_802_3_RCV_ERROR_ALIGNMENT, &rtnl_link_stats64::rx_frame_errors},
    {OID_802_3_XMIT_MAX_COLLISIONS, &rtnl_link_stats64::tx_aborted_errors},
    {OID_802_3_RCV_OVERRUN, &rtnl_link_stats64::rx_over_errors},
    {OID_802_3_XMIT_UNDERRUN, &rtnl_link_stats64::tx_fifo_errors},
    {OID_802_3_XMIT_HEARTBEAT_FAILURE, &rtnl_link_stats64::tx_heartbeat_errors},
    {OID_802_3_XMIT_TIMES_CRS_LOST, &rtnl_link_stats64::tx_carrier_errors},
    {OID_802_3_XMIT_LATE_COLLISIONS, &rtnl_link_stats64::tx_window_errors},
};

// A multicast list of this many addresses or fewer fits the room most NIC filters have.
constexpr uint32_t kMulticastRoom = 32;

const CounterSource* FindCounter(DWORD oid) {
  for (const CounterSource& source : kCounterSources) {
    if (source.oid == oid) return &source;
  }
  return nullptr;
}

// "1.0" -> 0x0100; "6.1.0-18-amd64" -> 0x0601. Each part is kept to one byte.
bool ParseDriverVersion(const std::string& text, uint16_t* version) {
  unsigned major = 0, minor = 0;
  const char* end = text.data() + text.size();
  auto [after_major, major_error] = std::from_chars(text.data(), end, major);
  if (major_error != std::errc()) return false;
  if (after_major != end && *after_major == '.')
    std::from_chars(after_major + 1, end, minor);  // no minor number: 0
  *version = static_cast<uint16_t>(std::min(major, 255u) << 8 | std::min(minor, 255u));
  return true;
}

bool AllZero(const HardwareAddress& address) {
  return std::all_of(address.begin(), address.end(), [](uint8_t byte) { return byte == 0; });
}

DWORD AddressReply(std::string_view interface, bool permanent, std::vector<BYTE>* reply) {
  HardwareAddress address;
  DWORD status;
  if (permanent) {
    status = ReadPermanentAddress(interface, &address);
  } else {
    HostLink link;
    status = ReadHostLink(interface, &link);
    address = link.address;
  }
  if (status == ERROR_SUCCESS) reply->assign(address.begin(), address.end());
  return status;
}

DWORD VendorReply(std::string_view interface, std::vector<BYTE>* reply) {
  HardwareAddress address;
  DWORD status = ReadPermanentAddress(interface, &address);
  if (status == ERROR_NOT_SUPPORTED || (status == ERROR_SUCCESS && AllZero(address))) {
    HostLink link;
    status = ReadHostLink(interface, &link);
    address = link.address;
  }
  if (status != ERROR_SUCCESS) return status;
  if (address.size() < 3) return ERROR_NOT_SUPPORTED;
  *reply = {address[0], address[1], address[2], 0};
  return ERROR_SUCCESS;
}

DWORD MulticastReply(std::string_view interface, bool size_only, std::vector<BYTE>* reply) {
  std::vector<std::array<uint8_t, 6>> list;
  const DWORD status = ReadMulticastList(interface, &list);
  if (status != ERROR_SUCCESS) return status;
  reply->clear();
  if (size_only) {
    const uint32_t room = std::max<uint32_t>(kMulticastRoom, static_cast<uint32_t>(list.size()));
    for (int i = 0; i < 4; ++i) reply->push_back(static_cast<BYTE>(room >> (8 * i)));
    return ERROR_SUCCESS;
  }
  for (const auto& address : list) reply->insert(reply->end(), address.begin(), address.end());
  return ERROR_SUCCESS;
}

DWORD DriverVersionReply(std::string_view interface, std::vector<BYTE>* reply) {
  HostDriverInfo info;
  const DWORD status = ReadDriverInfo(interface, &info);
  if (status != ERROR_SUCCESS) return status;
  uint16_t version = 0;
  if (!ParseDriverVersion(info.version, &version)) return ERROR_NOT_SUPPORTED;
  *reply = {static_cast<BYTE>(version & 0xFF), static_cast<BYTE>(version >> 8)};
  return ERROR_SUCCESS;
}

DWORD MediaConnectReply(std::string_view interface, std::vector<BYTE>* reply) {
  HostLink link;
  const DWORD status = ReadHostLink(interface, &link);
  if (status != ERROR_SUCCESS) return status;
  const DWORD state =
      (link.flags & IFF_RUNNING) != 0 ? NdisMediaStateConnected : NdisMediaStateDisconnected;
  reply->clear();
  for (int i = 0; i < 4; ++i) reply->push_back(static_cast<BYTE>(state >> (8 * i)));
  return ERROR_SUCCESS;
}

// The reply to `oid` whole, or the error the query ends with.
DWORD FullReply(std::string_view interface, DWORD oid, std::vector<BYTE>* reply) {
  if (const CounterSource* source = FindCounter(oid)) {
    HostLink link;
    const DWORD status = ReadHostLink(interface, &link);
    if (status != ERROR_SUCCESS) return status;
    if (!link.has_stats) return ERROR_NOT_SUPPORTED;
    *reply = CounterReply(link.stats.*(source->field));
    return ERROR_SUCCESS;
  }
  switch (oid) {
    case OID_GEN_VENDOR_ID:
      return VendorReply(interface, reply);
    case OID_GEN_DRIVER_VERSION:
      return DriverVersionReply(interface, reply);
    case OID_GEN_MEDIA_CONNECT_STATUS:
      return MediaConnectReply(interface, reply);
    case OID_802_3_PERMANENT_ADDRESS:
    case OID_802_3_CURRENT_ADDRESS:
      return AddressReply(interface, oid == OID_802_3_PERMANENT_ADDRESS, reply);
    case OID_802_3_MULTICAST_LIST:
    case OID_802_3_MAXIMUM_LIST_SIZE:
      return MulticastReply(interface, oid == OID_802_3_MAXIMUM_LIST_SIZE, reply);
    default:
      return ERROR_NOT_SUPPORTED;
  }
}

std::string Hex(const std::vector<BYTE>& bytes, size_t from, size_t count) {
  std::string text;
  char pair[3];
  for (size_t i = from; i < from + count && i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    text += pair;
  }
  return text;
}

// One "field=value" line of ShowHostNic from the device's own answer to `oid`.
void ShowOid(std::string_view interface, const char* field, DWORD oid, std::ostringstream* out) {
  std::vector<BYTE> reply;
  *out << field << '=';
  if (FullReply(interface, oid, &reply) != ERROR_SUCCESS) {
    *out << "not-supported\n";
    return;
  }
  if (oid == OID_802_3_MULTICAST_LIST) {
    for (size_t i = 0; i + 6 <= reply.size(); i += 6)
      *out << (i == 0 ? "" : ",") << Hex(reply, i, 6);
  } else if (oid == OID_GEN_DRIVER_VERSION) {
    *out << "0x" << Hex(reply, 1, 1) << Hex(reply, 0, 1);
  } else if (oid == OID_GEN_VENDOR_ID) {
    *out << Hex(reply, 0, 3);
  } else if (oid == OID_802_3_MAXIMUM_LIST_SIZE) {
    *out << (reply[0] | reply[1] << 8 | reply[2] << 16 | static_cast<uint32_t>(reply[3]) << 24);
  } else {
    *out << Hex(reply, 0, reply.size());
  }
  *out << '\n';
}

}  // namespace

DWORD AnswerHostNdisQuery(std::string_view interface, DWORD oid, BYTE* out, DWORD size,
                          DWORD* written) {
  std::vector<BYTE> reply;
  const DWORD status = FullReply(interface, oid, &reply);
  // An interface that went away is a card taken out: its driver answers nothing.
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_GEN_FAILURE;
  if (status != ERROR_SUCCESS) return status;
  return FitNdisReply(oid, reply, out, size, written);
}

DWORD ShowHostNic(std::string_view interface, std::string* text) {
  HostLink link;
  const DWORD status = ReadHostLink(interface, &link);
  if (status != ERROR_SUCCESS) return status;
  std::ostringstream out;
  HostDriverInfo driver;
  out << "interface=" << interface << '\n';
  out << "driver="
      << (ReadDriverInfo(interface, &driver) == ERROR_SUCCESS ? driver.driver : "unknown") << '\n';
  for (const auto& [name, oid] : NicCounterNames()) {
    const CounterSource* source = FindCounter(oid);
    out << name << '=';
    if (source != nullptr && link.has_stats) {
      out << link.stats.*(source->field) << '\n';
    } else {
      out << "not-supported\n";
    }
  }
  ShowOid(interface, "permanent-address", OID_802_3_PERMANENT_ADDRESS, &out);
  ShowOid(interface, "current-address", OID_802_3_CURRENT_ADDRESS, &out);
  ShowOid(interface, "multicast", OID_802_3_MULTICAST_LIST, &out);
  ShowOid(interface, "multicast-max", OID_802_3_MAXIMUM_LIST_SIZE, &out);
  ShowOid(interface, "driver-version", OID_GEN_DRIVER_VERSION, &out);
  out << "link=" << ((link.flags & IFF_RUNNING) != 0 ? "up" : "down") << '\n';
  HostLinkSettings settings;
  const bool has_settings = ReadLinkSettings(interface, &settings) == ERROR_SUCCESS;
  out << "speed=";
  if (has_settings && settings.speed_mbps != 0xFFFFFFFF && settings.speed_mbps != 0) {
    out << settings.speed_mbps << '\n';
  } else {
    out << "unknown\n";
  }
  out << "duplex="
      << (!has_settings          ? "unknown"
          : settings.duplex == 1 ? "full"
          : settings.duplex == 0 ? "half"
                                 : "unknown")
      << '\n';
  ShowOid(interface, "vendor-id", OID_GEN_VENDOR_ID, &out);
  out << "adapter-info=none\n";
  *text = out.str();
  return ERROR_SUCCESS;
}

}  // namespace pairway
