/*
 * registry_layout.h: every key path, value name and constant that the parts of the system share
 * through the registry. All paths are relative to HKEY_LOCAL_MACHINE.
 *
 * The registry is the only channel between the configuration library, the link monitor, the SNMP
 * agent, the counter setup and the driver, so a name typed twice is a name that can drift apart:
 * every deliverable takes its names from here.
 *
 * Texts are single-byte. REG_DWORD values are 4-byte little-endian. Names compare without regard
 * to case.
 */
#ifndef PAIRWAY_REGISTRY_LAYOUT_H
#define PAIRWAY_REGISTRY_LAYOUT_H

/* The driver's product name: the "ProductName" of each of its cards, the name of its service key
 * and of the maker's software key. Compared case-sensitively. */
#define TREVAN_PRODUCT_NAME "TREVAN"

/* ---- Key 1: the network card list, one subkey per card number (1, 2, ...) ------------------- */
#define NETWORK_CARDS_KEY "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards"
#define NETWORK_CARDS_KEY_SLASH NETWORK_CARDS_KEY "\\"
#define VAL_PRODUCT_NAME "ProductName"
#define VAL_SERVICE_NAME "ServiceName"
#define VAL_MANUFACTURER "Manufacturer"
#define VAL_TITLE "Title"

/* ---- Key 2: a card's bind rules, the subkey "NetRules" of its card entry --------------------- */
#define NET_RULES_SUBKEY "NetRules"
#define VAL_BINDFORM "bindform"
#define VAL_CLASS "class"
#define VAL_TYPE "type"
#define BINDFORM_SUFFIX " yes yes container" /* after the quoted "ServiceName" */
#define CLASS_SUFFIX "Adapter basic"         /* after the "ProductName" */
#define TYPE_SUFFIX "Adapter"                /* "ProductName" " " "ProductName" "Adapter" */

/* ---- Key 3: per-port driver parameters, SERVICES_KEY "\\" ServiceName "\\Parameters" ---------- */
#define SERVICES_KEY "SYSTEM\\CurrentControlSet\\Services"
#define SERVICES_KEY_SLASH SERVICES_KEY "\\"
#define PARAMETERS_SUBKEY "Parameters"
#define VAL_ADAPTER_INDEX "AdapterIndex"
#define VAL_CONNECTION_TYPE "ConnectionType"
#define VAL_PRIMARY_INDEX "PrimaryIndex"
#define VAL_LINK_CHECK_TIMEOUT "LinkCheckTimeOut"
#define VAL_GROUP_NAME "GroupName"
#define VAL_BACKUP_INDEX "BackupIndex"
#define VAL_SLOT_NUMBER "SlotNumber"
#define VAL_BUS_NUMBER "BusNumber"
#define VAL_IP_ADDRESS "IPAddress"

/* Adapter indexes 0 to 31 are unique among the driver's ports; a port added while every one of
 * them is held gets ADAPTER_INDEX_OVERFLOW. */
#define ADAPTER_INDEX_COUNT 32
#define ADAPTER_INDEX_OVERFLOW 32

/* ---- Key 4: a port's TCP/IP settings, key 3 "\\Tcpip" --------------------------------------- */
#define TCPIP_SUBKEY "Tcpip"
#define VAL_SUBNET_MASK "SubnetMask"
#define VAL_DEFAULT_GATEWAY "DefaultGateway"
#define VAL_ENABLE_DHCP "EnableDHCP"
/* The monitor names a card's TCP/IP key from the product name and the card number. */
#define TCPIP_KEY_FORMAT SERVICES_KEY_SLASH "%s%d\\" PARAMETERS_SUBKEY "\\" TCPIP_SUBKEY

/* ---- Key 5: the driver's own service key ----------------------------------------------------- */
#define DRIVER_SERVICE_KEY SERVICES_KEY_SLASH TREVAN_PRODUCT_NAME
#define DRIVER_LINKAGE_KEY DRIVER_SERVICE_KEY "\\Linkage"
#define DRIVER_PERFORMANCE_KEY DRIVER_SERVICE_KEY "\\Performance"
#define PERFORMANCE_SUBKEY "Performance"
#define VAL_DISPLAY_NAME "DisplayName"
#define VAL_IMAGE_PATH "ImagePath"
#define VAL_ROUTE "Route"
#define VAL_BIND "Bind"
#define VAL_EXPORT "Export"
#define VAL_PERF_LIBRARY "Library"
#define VAL_PERF_OPEN "Open"
#define VAL_PERF_CLOSE "Close"
#define VAL_PERF_COLLECT "Collect"
#define VAL_FIRST_COUNTER "First Counter"

/* ---- Key 6: the maker's software key --------------------------------------------------------- */
#define MAKER_SOFTWARE_KEY "SOFTWARE\\Corvane"
#define TREVAN_SOFTWARE_KEY MAKER_SOFTWARE_KEY "\\" TREVAN_PRODUCT_NAME "\\CurrentVersion"
#define TREVAN_SOFTWARE_KEY_SLASH TREVAN_SOFTWARE_KEY "\\"
#define VAL_REF_COUNT "RefCount"
#define VAL_MAJOR_VERSION "MajorVersion"
#define VAL_MINOR_VERSION "MinorVersion"

/* ---- Key 7: the link monitor's own keys ------------------------------------------------------ */
#define MONITOR_SERVICE_NAME "portwarden"
#define MONITOR_SERVICE_KEY SERVICES_KEY_SLASH MONITOR_SERVICE_NAME
#define MONITOR_PARAMETERS_KEY MONITOR_SERVICE_KEY "\\" PARAMETERS_SUBKEY
#define VAL_DEBUG_FLAG "DebugFlag"
#define VAL_ENABLE_BIND_REORDER "EnableBindReorder"

/* ---- Key 8: SNMP extension agent registration ------------------------------------------------ */
#define SNMP_SERVICE_KEY SERVICES_KEY_SLASH "SNMP"
#define SNMP_EXTENSION_AGENTS_KEY SNMP_SERVICE_KEY "\\Parameters\\ExtensionAgents"
/* An agent key is MAKER_SOFTWARE_KEY "\\" MIB name "\\CurrentVersion". */
#define VAL_PATHNAME "Pathname"
#define DMI_MIB_NAME "DmiMib"
#define FAILOVER_MIB_NAME "FailoverMib"

/* ---- Key 9: Windows 95 only ------------------------------------------------------------------ */
#define WIN95_NET_CLASS_KEY SERVICES_KEY_SLASH "Class\\Net"
#define VAL_DRIVER_DESC "DriverDesc"
#define VAL_DEVICE_VXDS "DeviceVxDs"
#define WIN95_CURRENT_VERSION_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
#define VAL_SYSTEM_ROOT "SystemRoot"

/* ---- Connection types ("ConnectionType") ----------------------------------------------------- */
#define CONNECTION_AUTODETECT 8
#define CONNECTION_10_HALF 0
#define CONNECTION_10_FULL 256
#define CONNECTION_100_HALF 128
#define CONNECTION_100_FULL 384
#define CONNECTION_THIN_COAX 3
/* Codes the connection type table knows without a label; no dialog offers them. */
#define CONNECTION_UNLABELLED_259 259
#define CONNECTION_UNLABELLED_15 15
#define CONNECTION_UNLABELLED_271 271
#define CONNECTION_UNLABELLED_2 2
#define CONNECTION_UNLABELLED_1 1

/* ---- Shared outside names -------------------------------------------------------------------- */
#define STATISTICS_LIBRARY_NAME "standbyag.dll"
#define STATISTICS_ENTRY_POINT "PairwayMibLocalInterface"

#endif /* PAIRWAY_REGISTRY_LAYOUT_H */
