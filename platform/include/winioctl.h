/*
 * winioctl.h: how device control codes are built.
 *
 * A control code packs the device type (high word), the required access, a function number and
 * the buffer method: CTL_CODE(FILE_DEVICE_PHYSICAL_NETCARD, 0, METHOD_OUT_DIRECT, FILE_ANY_ACCESS)
 * is 0x00170002, the NDIS statistics query of ntddndis.h.
 */
#ifndef PAIRWAY_WINIOCTL_H
#define PAIRWAY_WINIOCTL_H

#include "windef.h"

#define CTL_CODE(DeviceType, Function, Method, Access)                                \
  (((DWORD)(DeviceType) << 16) | ((DWORD)(Access) << 14) | ((DWORD)(Function) << 2) | \
   (DWORD)(Method))

#define DEVICE_TYPE_FROM_CTL_CODE(ctrlCode) (((DWORD)(ctrlCode)&0xffff0000) >> 16)

#define METHOD_BUFFERED 0
#define METHOD_IN_DIRECT 1
#define METHOD_OUT_DIRECT 2
#define METHOD_NEITHER 3

#define FILE_ANY_ACCESS 0
#define FILE_READ_ACCESS 0x0001
#define FILE_WRITE_ACCESS 0x0002

#define FILE_DEVICE_NETWORK 0x00000012
#define FILE_DEVICE_PHYSICAL_NETCARD 0x00000017

#endif /* PAIRWAY_WINIOCTL_H */
