// service_db.h: the service database, kept in the registry as the platform keeps it.
//
// Each service is the key SYSTEM\CurrentControlSet\Services\NAME of HKEY_LOCAL_MACHINE with
//   Type          REG_DWORD      SERVICE_WIN32_OWN_PROCESS (drivers' keys carry their own types)
//   Start         REG_DWORD      SERVICE_AUTO_START, SERVICE_DEMAND_START or SERVICE_DISABLED
//   ErrorControl  REG_DWORD      SERVICE_ERROR_*
//   ImagePath     REG_EXPAND_SZ  the NT path of the program, optionally followed by arguments
//   DisplayName   REG_SZ
//   ObjectName    REG_SZ         "LocalSystem"
//
// The registry is the only copy: the daemon reads a service's configuration from it on every
// request, so nothing the daemon does in memory can lose or stale the database, and keys seeded
// with pairway-reg are services at once. Each write (a create, a delete) is one registry
// transaction, so no reader ever sees part of an entry.
#ifndef PAIRWAY_TOOLS_SCM_SERVICE_DB_H
#define PAIRWAY_TOOLS_SCM_SERVICE_DB_H

#include <windows.h>

#include <string>
#include <vector>

namespace pairway::scm {

struct ServiceConfig {
  std::string name;  // as stored (the key's own spelling)
  std::string display_name;
  DWORD type = SERVICE_WIN32_OWN_PROCESS;
  DWORD start = SERVICE_DEMAND_START;
  DWORD error_control = SERVICE_ERROR_NORMAL;
  std::string image_path;
};

// Writes a new service's key and values. ERROR_SERVICE_EXISTS when the key exists;
// ERROR_ACCESS_DENIED when the hive is read-only; otherwise the registry's error. A failed
// create leaves no key behind.
DWORD CreateServiceEntry(const ServiceConfig& config);

// Reads a service's configuration. ERROR_SERVICE_DOES_NOT_EXIST when there is no such key;
// missing values keep the defaults of ServiceConfig (ImagePath empty).
DWORD ReadServiceEntry(const std::string& name, ServiceConfig* config);

// Removes the service's key with everything below it. ERROR_SERVICE_DOES_NOT_EXIST when absent.
DWORD DeleteServiceEntry(const std::string& name);

// Names of the services to start with the daemon: own-process services with Start = auto.
std::vector<std::string> AutoStartServices();

// Names of the drivers to start before those: Type SERVICE_KERNEL_DRIVER, Start SYSTEM_START.
std::vector<std::string> SystemStartDrivers();

// Every service of the database, in the order of their names without regard to case: the
// subkeys of the Services key that carry a REG_DWORD "Type" (other subkeys, such as a program's
// own settings, are no services).
std::vector<ServiceConfig> ListServiceEntries();

// A name the database can hold: 1 to 256 characters, no '/' or '\'.
bool ValidServiceName(const std::string& name);

}  // namespace pairway::scm

#endif  // PAIRWAY_TOOLS_SCM_SERVICE_DB_H
