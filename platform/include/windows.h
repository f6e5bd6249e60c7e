/*
 * windows.h: the platform's master header. Code above the layer includes this (and snmp.h,
 * winioctl.h where it needs them) exactly as it would on the original platform.
 */
#ifndef PAIRWAY_WINDOWS_H
#define PAIRWAY_WINDOWS_H

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winreg.h"
#include "winsvc.h"
#include "winuser.h"

#endif /* PAIRWAY_WINDOWS_H */
