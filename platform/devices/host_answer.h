// host_answer.h: how the NIC driver stand-in answers an NDIS query for a port served from a
// Linux interface (pairway-netsetup add-card --interface IF).
//
// Every answer is read from the kernel at the time of the query, in the network namespace of
// the calling thread (host_kernel.h). Where the kernel keeps nothing that means what the OID
// means, the OID fails with ERROR_NOT_SUPPORTED, as a real driver's unsupported OID does.
//
//   OID                               Linux source
//   OID_GEN_VENDOR_ID                 first three bytes of the permanent address (of the current
//                                     one when the interface has none), then 0
//   OID_GEN_DRIVER_VERSION            ETHTOOL_GDRVINFO version "MAJOR.MINOR..." as 0xMMmm; not
//                                     supported when the text does not start with a number
//   OID_GEN_MEDIA_CONNECT_STATUS      connected while IFF_RUNNING (operationally up), else
//                                     disconnected
//   OID_GEN_XMIT_OK                   IFLA_STATS64 tx_packets
//   OID_GEN_RCV_OK                    IFLA_STATS64 rx_packets
//   OID_GEN_XMIT_ERROR                IFLA_STATS64 tx_errors
//   OID_GEN_RCV_ERROR                 IFLA_STATS64 rx_errors
//   OID_GEN_RCV_NO_BUFFER             IFLA_STATS64 rx_missed_errors
//   OID_GEN_DIRECTED_BYTES_XMIT       IFLA_STATS64 tx_bytes (all bytes sent, see below)
//   OID_GEN_MULTICAST_BYTES_XMIT      not supported
//   OID_GEN_BROADCAST_BYTES_XMIT      not supported
//   OID_GEN_DIRECTED_BYTES_RCV        IFLA_STATS64 rx_bytes (all bytes received, see below)
//   OID_GEN_MULTICAST_BYTES_RCV       not supported
//   OID_GEN_BROADCAST_BYTES_RCV       not supported
//   OID_GEN_RCV_CRC_ERROR             IFLA_STATS64 rx_crc_errors
//   OID_802_3_PERMANENT_ADDRESS       ETHTOOL_GPERMADDR (all zeros for software interfaces)
//   OID_802_3_CURRENT_ADDRESS         IFLA_ADDRESS
//   OID_802_3_MULTICAST_LIST          /proc/thread-self/net/dev_mcast, the interface's rows
//   OID_802_3_MAXIMUM_LIST_SIZE       the list's length now, at least 32 (see below)
//   OID_802_3_RCV_ERROR_ALIGNMENT     IFLA_STATS64 rx_frame_errors
//   OID_802_3_XMIT_MAX_COLLISIONS     IFLA_STATS64 tx_aborted_errors
//   OID_802_3_RCV_OVERRUN             IFLA_STATS64 rx_over_errors
//   OID_802_3_XMIT_UNDERRUN           IFLA_STATS64 tx_fifo_errors
//   OID_802_3_XMIT_HEARTBEAT_FAILURE  IFLA_STATS64 tx_heartbeat_errors
//   OID_802_3_XMIT_TIMES_CRS_LOST     IFLA_STATS64 tx_carrier_errors
//   OID_802_3_XMIT_LATE_COLLISIONS    IFLA_STATS64 tx_window_errors
//   0xFF010101 (adapter information)  not supported: the record is the maker's driver's own
//   any other OID                     not supported
//
// Linux counts bytes per interface, not per kind of destination: the directed byte counters
// carry every byte and the multicast and broadcast ones are not supported, so that a sum of the
// three (as a manager adds them) is the interface's true total. The kernel keeps no limit on the
// multicast list (past the hardware filter it receives all multicast); the size answered is
// room for the whole list now, with room to spare for one that grows between two queries.
//
// The Windows 95 virtual device lists emulated ports only: a Windows 95 root is an emulation of
// that system, and a port with an interface is none of its adapters.
//
// Errors: ERROR_GEN_FAILURE when the interface is gone (a card taken out answers nothing) or
// the kernel cannot be asked; ERROR_NOT_SUPPORTED as above; ERROR_INSUFFICIENT_BUFFER as for
// an emulated port (FitNdisReply).
#ifndef PAIRWAY_DEVICES_HOST_ANSWER_H
#define PAIRWAY_DEVICES_HOST_ANSWER_H

#include <string_view>

#include "windef.h"

namespace pairway {

DWORD AnswerHostNdisQuery(std::string_view interface, DWORD oid, BYTE* out, DWORD size,
                          DWORD* written);

}  // namespace pairway

#endif  // PAIRWAY_DEVICES_HOST_ANSWER_H
