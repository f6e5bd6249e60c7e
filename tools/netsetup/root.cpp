// pairway-netsetup init: prepares a machine root.
//
// The hive gets what exists on a machine where the network setup and the TREVAN driver's
// installation have run but no port is installed yet; the system directory gets the installed
// deliverables and stand-ins under their NT names, as links to the files of the build this
// tool belongs to (found from the tool's own path), so a sanitizer build's root loads
// sanitizer libraries only.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "hive.h"
#include "netsetup.h"
#include "pairway/machine_root.h"
#include "pairway/registry_batch.h"
#include "registry_layout.h"

namespace netsetup {
namespace {

namespace fs = std::filesystem;

const char kVerb[] = "init";

// NT name in the system directory -> the file, relative to the folder above this tool's own:
// the build directory, or the installation prefix after `cmake --install` (which keeps the
// system's own files in lib/pairway/). Files that exist in neither place are skipped: a root
// works with whatever parts were built.
struct InstalledFile {
  const char* nt_name;
  const char* build_file;
  const char* installed_file;
};
const InstalledFile kInstalledFiles[] = {
    {"portwarden.exe", "bin/portwarden", "lib/pairway/portwarden"},
    {"aggcfg.dll", "lib/aggcfg.so", "lib/pairway/aggcfg.so"},
    {"ctrsetup.dll", "lib/ctrsetup.so", "lib/pairway/ctrsetup.so"},
    {"mifsnmp.dll", "lib/mifsnmp.so", "lib/pairway/mifsnmp.so"},
    {"standbyag.dll", "lib/standbyag.so", "lib/pairway/standbyag.so"},
    {"lodctr.exe", "bin/pairway-lodctr", "bin/pairway-lodctr"},
    {"unlodctr.exe", "bin/pairway-unlodctr", "bin/pairway-unlodctr"},
    {"perfctr.ini", "lib/perfctr.ini", "lib/pairway/perfctr.ini"},
};

// The driver file the driver's service key names; mifsnmp reports its size.
const char kDriverImagePath[] = "\\SystemRoot\\System32\\drivers\\trevan.sys";
const char kDriverFileNt[] = "drivers\\trevan.sys";
const char kDriverDisplayName[] = "Corvane TREVAN Multi-Port Adapter Driver";
const DWORD kMajorVersion = 1;
const DWORD kMinorVersion = 0;

// The driver's service key: a kernel driver the service manager starts at its own start, before
// the services. Its file is the failover engine's program where the build has it (the device
// half needs no file: the platform layer answers the ports' queries).
const DWORD kKernelDriver = 1;
const DWORD kSystemStart = 1;
const DWORD kErrorNormal = 1;
const InstalledFile kDriverProgram = {kDriverFileNt, "bin/pairway-trevan",
                                      "lib/pairway/pairway-trevan"};

fs::path BuildDir() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path().parent_path();
}

int WriteHive(bool snmp) {
  Key cards;
  LONG status = cards.Create(NETWORK_CARDS_KEY);
  if (status != ERROR_SUCCESS) {
    return Fail(kVerb, kExitRegistry,
                "cannot create the card list (error " + std::to_string(status) + ")");
  }
  Key driver;
  status = driver.Create(DRIVER_SERVICE_KEY);
  if (status == ERROR_SUCCESS)
    status = SetString(driver.get(), VAL_DISPLAY_NAME, kDriverDisplayName);
  if (status == ERROR_SUCCESS) {
    status = SetString(driver.get(), VAL_IMAGE_PATH, kDriverImagePath, REG_EXPAND_SZ);
  }
  if (status == ERROR_SUCCESS) status = SetDword(driver.get(), "Type", kKernelDriver);
  if (status == ERROR_SUCCESS) status = SetDword(driver.get(), "Start", kSystemStart);
  if (status == ERROR_SUCCESS) status = SetDword(driver.get(), "ErrorControl", kErrorNormal);
  Key linkage;
  if (status == ERROR_SUCCESS) status = linkage.Create(DRIVER_LINKAGE_KEY);
  // Lists already there belong to installed ports: a second init keeps them.
  for (const char* list : {VAL_ROUTE, VAL_BIND, VAL_EXPORT}) {
    if (status == ERROR_SUCCESS && !HasValue(linkage.get(), list)) {
      status = SetMultiSz(linkage.get(), list, {});
    }
  }
  if (status != ERROR_SUCCESS) {
    return Fail(kVerb, kExitRegistry,
                "cannot write the driver's service key (error " + std::to_string(status) + ")");
  }
  Key software;
  status = software.Create(TREVAN_SOFTWARE_KEY);
  if (status == ERROR_SUCCESS && !HasValue(software.get(), VAL_REF_COUNT)) {
    status = SetDword(software.get(), VAL_REF_COUNT, 0);
  }
  if (status == ERROR_SUCCESS) status = SetDword(software.get(), VAL_MAJOR_VERSION, kMajorVersion);
  if (status == ERROR_SUCCESS) status = SetDword(software.get(), VAL_MINOR_VERSION, kMinorVersion);
  if (status != ERROR_SUCCESS) {
    return Fail(kVerb, kExitRegistry,
                "cannot write the maker's software key (error " + std::to_string(status) + ")");
  }
  if (snmp) {
    Key agents;
    status = agents.Create(SNMP_EXTENSION_AGENTS_KEY);
    if (status != ERROR_SUCCESS) {
      return Fail(kVerb, kExitRegistry,
                  "cannot create the SNMP service key (error " + std::to_string(status) + ")");
    }
  }
  return kExitOk;
}

// The hive's part of init in one transaction, so that a tool started meanwhile meets either no
// driver or all of its keys.
int PrepareHive(bool snmp) {
  LONG status;
  {
    pairway::RegistryBatch batch;
    int result = WriteHive(snmp);
    if (result != kExitOk) return result;
    status = batch.Commit();
  }
  if (status != ERROR_SUCCESS) {
    return Fail(kVerb, kExitRegistry,
                "cannot write the hive (error " + std::to_string(status) + ")");
  }
  return kExitOk;
}

int PrepareSystemDirectory(const fs::path& root) {
  fs::path system_dir;
  std::string system_nt = pairway::SystemDirectoryNt(pairway::RootOsFlavor(root));
  if (pairway::MapNtPath(system_nt, &system_dir) != ERROR_SUCCESS) {
    return Fail(kVerb, kExitFiles, "cannot map the system directory " + system_nt);
  }
  std::error_code error;
  fs::create_directories(system_dir / "drivers", error);
  if (error) return Fail(kVerb, kExitFiles, system_dir.string() + ": " + error.message());

  fs::path build = BuildDir();
  // 1 linked, 0 not in this build, -1 failed (reported).
  auto link_file = [&](const InstalledFile& file) {
    fs::path target = build / file.build_file;
    if (!fs::exists(target)) target = build / file.installed_file;
    if (build.empty() || !fs::exists(target)) return 0;
    std::string relative = file.nt_name;  // "drivers\\trevan.sys" is a file in a folder
    std::replace(relative.begin(), relative.end(), '\\', '/');
    fs::path link = system_dir / relative;
    fs::remove(link, error);
    fs::create_symlink(target, link, error);
    if (error) {
      Fail(kVerb, kExitFiles, link.string() + ": " + error.message());
      return -1;
    }
    printf("%s -> %s\n", file.nt_name, target.c_str());
    return 1;
  };
  for (const InstalledFile& file : kInstalledFiles) {
    if (link_file(file) < 0) return kExitFiles;
  }
  const int driver_linked = link_file(kDriverProgram);
  if (driver_linked < 0) return kExitFiles;
  fs::path driver_file;
  if (driver_linked == 0 &&
      pairway::MapNtPath(system_nt + "\\" + kDriverFileNt, &driver_file) == ERROR_SUCCESS &&
      !fs::exists(driver_file)) {
    std::ofstream(driver_file) << "TREVAN driver stand-in: this build has no failover engine.\n";
  }
  return kExitOk;
}

}  // namespace

int RunInit(const Args& args) {
  bool snmp = false;
  for (const std::string& arg : args) {
    if (arg != "--snmp") return Fail(kVerb, kExitUsage, "unknown argument '" + arg + "'");
    snmp = true;
  }
  std::error_code error;
  fs::path root = getenv("PAIRWAY_ROOT");
  fs::create_directories(root, error);
  if (error || !fs::is_directory(root)) {
    return Fail(kVerb, kExitNoRoot, "cannot create the machine root " + root.string());
  }
  int result = PrepareHive(snmp);
  if (result != kExitOk) return result;
  return PrepareSystemDirectory(root);
}

}  // namespace netsetup
