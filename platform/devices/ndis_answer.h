// ndis_answer.h: how the NIC driver stand-in answers one NDIS object identifier for a port.
#ifndef PAIRWAY_DEVICES_NDIS_ANSWER_H
#define PAIRWAY_DEVICES_NDIS_ANSWER_H

#include <vector>

#include "pairway/nic_state.h"

namespace pairway {

// Writes the reply to `oid` into out[0..size) and its length into *written. Errors, with nothing
// written: ERROR_GEN_FAILURE (a silent port), ERROR_NOT_SUPPORTED (an OID the driver does not
// answer, or the adapter record of a driver that gives none), ERROR_INSUFFICIENT_BUFFER (the
// reply does not fit; 64-bit counters fit in 4 bytes as their low half).
DWORD AnswerNdisQuery(const NicState& state, DWORD oid, BYTE* out, DWORD size, DWORD* written);

// Copies the whole reply to `oid` into out[0..size) as the driver does for a buffer of that size
// (the sizing rules of AnswerNdisQuery); ERROR_INSUFFICIENT_BUFFER with nothing written when it
// does not fit. Shared by every back end, so that they all answer short buffers alike.
DWORD FitNdisReply(DWORD oid, const std::vector<BYTE>& reply, BYTE* out, DWORD size,
                   DWORD* written);

// A 64-bit statistic as the driver sends it: eight bytes, little-endian.
std::vector<BYTE> CounterReply(uint64_t value);

}  // namespace pairway

#endif  // PAIRWAY_DEVICES_NDIS_ANSWER_H
