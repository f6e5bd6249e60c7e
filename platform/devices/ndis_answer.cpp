// The NIC driver stand-in's answers to NDIS queries, from a port's emulated state.
#include "devices/ndis_answer.h"

#include <ntddndis.h>
#include <windows.h>

#include <cstring>
#include <vector>

namespace pairway {
namespace {

void PutLittleEndian32(BYTE* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(value >> (8 * i));
}

bool IsCounter(DWORD oid) {
  for (const auto& [name, counter_oid] : NicCounterNames()) {
    if (counter_oid == oid) return true;
  }
  return false;
}

// The adapter record as the driver lays it out on the wire.
std::vector<BYTE> AdapterRecord(const NicAdapterInfo& info) {
  std::vector<BYTE> record(kAdapterInfoSize, 0);
  PutLittleEndian32(&record[0], info.pair1);
  PutLittleEndian32(&record[4], info.pair2);
  PutLittleEndian32(&record[12], info.mode);
  std::memcpy(&record[16], info.text.data(), std::min<size_t>(info.text.size(), 59));
  PutLittleEndian32(&record[76], info.value_a);
  PutLittleEndian32(&record[80], info.value_b);
  PutLittleEndian32(&record[84], info.value_c);
  return record;
}

// The reply to `oid` whole; false for an OID the driver does not answer.
bool FullReply(const NicState& state, DWORD oid, std::vector<BYTE>* reply) {
  switch (oid) {
    case OID_GEN_VENDOR_ID:
      // The organisation code, then the card's own number (0: the first card).
      *reply = {state.vendor_id[0], state.vendor_id[1], state.vendor_id[2], 0};
      return true;
    case OID_GEN_DRIVER_VERSION:
      *reply = {static_cast<BYTE>(state.driver_version & 0xFF),
                static_cast<BYTE>(state.driver_version >> 8)};
      return true;
    case OID_GEN_MEDIA_CONNECT_STATUS:
      reply->assign(4, 0);
      PutLittleEndian32(reply->data(),
                        state.link_up ? NdisMediaStateConnected : NdisMediaStateDisconnected);
      return true;
    case OID_802_3_PERMANENT_ADDRESS:
      reply->assign(state.permanent_address.begin(), state.permanent_address.end());
      return true;
    case OID_802_3_CURRENT_ADDRESS:
      reply->assign(state.current_address.begin(), state.current_address.end());
      return true;
    case OID_802_3_MULTICAST_LIST:
      reply->clear();
      for (const MacAddress& address : state.multicast)
        reply->insert(reply->end(), address.begin(), address.end());
      return true;
    case OID_802_3_MAXIMUM_LIST_SIZE:
      reply->assign(4, 0);
      PutLittleEndian32(reply->data(), state.multicast_max);
      return true;
    case kOidAdapterInformation:
      if (!state.adapter_info) return false;
      *reply = AdapterRecord(*state.adapter_info);
      return true;
    default:
      break;
  }
  if (!IsCounter(oid)) return false;
  *reply = CounterReply(NicCounter(state, oid));
  return true;
}

}  // namespace

std::vector<BYTE> CounterReply(uint64_t value) {
  std::vector<BYTE> reply(8, 0);
  PutLittleEndian32(reply.data(), static_cast<uint32_t>(value));
  PutLittleEndian32(reply.data() + 4, static_cast<uint32_t>(value >> 32));
  return reply;
}

DWORD AnswerNdisQuery(const NicState& state, DWORD oid, BYTE* out, DWORD size, DWORD* written) {
  if (state.silent) return ERROR_GEN_FAILURE;
  std::vector<BYTE> reply;
  if (!FullReply(state, oid, &reply)) return ERROR_NOT_SUPPORTED;
  return FitNdisReply(oid, reply, out, size, written);
}

DWORD FitNdisReply(DWORD oid, const std::vector<BYTE>& reply, BYTE* out, DWORD size,
                   DWORD* written) {
  size_t length = reply.size();
  // Statistics answer their low half to a 4-byte buffer; the vendor identifier its
  // organisation code alone to a 3-byte one.
  if (IsCounter(oid) && size >= 4 && size < 8) length = 4;
  if (oid == OID_GEN_VENDOR_ID && size == 3) length = 3;
  if (size < length) return ERROR_INSUFFICIENT_BUFFER;
  if (length > 0) std::memcpy(out, reply.data(), length);
  *written = static_cast<DWORD>(length);
  return ERROR_SUCCESS;
}

}  // namespace pairway
