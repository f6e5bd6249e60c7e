/*
 * extagent.h: registration of the SNMP extension agents.
 *
 * The SNMP service loads the agents listed under
 * "SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents": each value there (named
 * "1", "2", ...) holds a key name below HKEY_LOCAL_MACHINE whose "Pathname" names the agent
 * library. The monitor keeps two agents listed, the failover MIB agent first and the LAN
 * adapter MIF agent second, each under "SOFTWARE\Corvane\<MIB name>\CurrentVersion".
 *
 * Registration is idempotent: an agent is listed only when no entry holds its key name
 * (compared exactly), and "Pathname" is rewritten on every pass. Without an SNMP service
 * (no ExtensionAgents key) nothing at all is written, and the next pass tries again.
 */
#ifndef PORTWARDEN_EXTAGENT_H
#define PORTWARDEN_EXTAGENT_H

#include <windows.h>

/* One step of a key path: the key to create or open Name under, filled in by the previous step
 * (the first entry holds a root key). A null Name ends the path; after a complete walk its
 * entry holds the handle of the last key. */
typedef struct _REGISTRY_ACCESS {
  HKEY RegistryKey;
  LPCSTR Name;
} REGISTRY_ACCESS;

#define SNMP_AGENT_NAME_SIZE 100 /* key names and ExtensionAgents names and data */
#define SNMP_AGENT_SCAN_LIMIT 65535

/* Registers the failover agent ("FailoverMib", standbyag.dll), then the LAN adapter MIF agent
 * ("DmiMib", mifsnmp.dll). Always 1. */
int install_SNMP_agents(void);

/* Lists the agent key of MibName (when missing) and writes its "Pathname" = AgentPath as
 * REG_SZ, unexpanded. Does nothing when the SNMP service is not installed. */
void InstallExtensionAgent(LPCSTR MibName, LPCSTR AgentPath);

/* 1 when an ExtensionAgents value holds exactly AgentString, 0 when none does, -1 when the
 * ExtensionAgents key cannot be opened (SNMP not installed). Entries whose name or data do not
 * fit in SNMP_AGENT_NAME_SIZE bytes are passed over, so they cannot hide a later match. */
int ExtensionAgentExists(LPCSTR AgentString);

/* Lists ExtensionAgent under the lowest free number ("%d", from 1). 1 added, 0 not added (key
 * missing, no number free, or the registry failed). */
int AddExtensionAgent(LPCSTR ExtensionAgent);

/* Creates or opens every key of the path RegAcc (class "GenericClass", non-volatile) and sets
 * Request in the last one with RegType and BufferSize bytes of Buffer. 1 value set, 0 failed.
 * Every handle the walk opened is closed again; the root key of entry 0 is not. */
int AddValueToRegistry(REGISTRY_ACCESS* RegAcc, const BYTE* Buffer, DWORD BufferSize, DWORD RegType,
                       LPCSTR Request);

#endif /* PORTWARDEN_EXTAGENT_H */
