/*
 * ntddndis.h: the NDIS statistics query that user programs send to a network card's device, and
 * the object identifiers (OIDs) a NIC port of the driver stand-in answers.
 *
 * DeviceIoControl(port, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, 4, reply, size, &returned, NULL).
 * Reply sizes: the 64-bit statistics answer 8 bytes, or their low 4 bytes when the buffer holds
 * only 4; addresses 6 bytes; the multicast list 6 bytes per address; the vendor identifier
 * 3 bytes of organisation code and one of card number (3 when only 3 are offered); the driver
 * version 2 bytes (major in the high byte); the list size 4 bytes; the media connect status 4 bytes
 * (an NDIS_MEDIA_STATE).
 */
#ifndef PAIRWAY_NTDDNDIS_H
#define PAIRWAY_NTDDNDIS_H

#include "winioctl.h"

#define IOCTL_NDIS_QUERY_GLOBAL_STATS \
  CTL_CODE(FILE_DEVICE_PHYSICAL_NETCARD, 0, METHOD_OUT_DIRECT, FILE_ANY_ACCESS)

typedef ULONG NDIS_OID, *PNDIS_OID;

/* General objects. */
#define OID_GEN_VENDOR_ID 0x0001010C
#define OID_GEN_DRIVER_VERSION 0x00010110
#define OID_GEN_MEDIA_CONNECT_STATUS 0x00010114

/* The reply to OID_GEN_MEDIA_CONNECT_STATUS: whether the port has a link. */
typedef enum _NDIS_MEDIA_STATE {
  NdisMediaStateConnected = 0,
  NdisMediaStateDisconnected = 1
} NDIS_MEDIA_STATE,
    *PNDIS_MEDIA_STATE;

/* General statistics. */
#define OID_GEN_XMIT_OK 0x00020101
#define OID_GEN_RCV_OK 0x00020102
#define OID_GEN_XMIT_ERROR 0x00020103
#define OID_GEN_RCV_ERROR 0x00020104
#define OID_GEN_RCV_NO_BUFFER 0x00020105
#define OID_GEN_DIRECTED_BYTES_XMIT 0x00020201
#define OID_GEN_MULTICAST_BYTES_XMIT 0x00020203
#define OID_GEN_BROADCAST_BYTES_XMIT 0x00020205
#define OID_GEN_DIRECTED_BYTES_RCV 0x00020207
#define OID_GEN_MULTICAST_BYTES_RCV 0x00020209
#define OID_GEN_BROADCAST_BYTES_RCV 0x0002020B
#define OID_GEN_RCV_CRC_ERROR 0x0002020D

/* Ethernet objects and statistics. */
#define OID_802_3_PERMANENT_ADDRESS 0x01010101
#define OID_802_3_CURRENT_ADDRESS 0x01010102
#define OID_802_3_MULTICAST_LIST 0x01010103
#define OID_802_3_MAXIMUM_LIST_SIZE 0x01010104
#define OID_802_3_RCV_ERROR_ALIGNMENT 0x01020101
#define OID_802_3_XMIT_ONE_COLLISION 0x01020102
#define OID_802_3_XMIT_MORE_COLLISIONS 0x01020103
#define OID_802_3_XMIT_DEFERRED 0x01020201
#define OID_802_3_XMIT_MAX_COLLISIONS 0x01020202
#define OID_802_3_RCV_OVERRUN 0x01020203
#define OID_802_3_XMIT_UNDERRUN 0x01020204
#define OID_802_3_XMIT_HEARTBEAT_FAILURE 0x01020205
#define OID_802_3_XMIT_TIMES_CRS_LOST 0x01020206
#define OID_802_3_XMIT_LATE_COLLISIONS 0x01020207

#define ETH_LENGTH_OF_ADDRESS 6

#endif /* PAIRWAY_NTDDNDIS_H */
