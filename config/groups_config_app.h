// groups_config_app.h: the library's application object and its configuration model.
//
// Between the moment an entry point is called and the moment it returns, the application object
// holds the configuration that the dialogs edit: the port groups and the ports in no group, built
// from the registry model, the flags that remember unapplied and applied changes, and the registry
// model of the call. Its operations turn that configuration into port roles in the registry.
//
// A port is in one of three roles, recorded only by which of its driver parameters exist:
//   primary     "LinkCheckTimeOut" and "GroupName"; keeps its card's bind rules
//   backup      "PrimaryIndex" = the "AdapterIndex" of its group's primary; no bind rules
//   stand-alone neither; keeps its bind rules
//
// Lifetime: exactly one object, theApp, from library load to unload. The lists and m_registry are
// filled and emptied within one entry point call (the entry point creates and deletes the model).
// Threads: the thread that called the entry point; nothing is locked.
#ifndef AGGCFG_GROUPS_CONFIG_APP_H
#define AGGCFG_GROUPS_CONFIG_APP_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "adapter_registry.h"
#include "config_records.h"
#include "pairway/ui/win_app.h"

// The application title: the caption of every message box and of the property sheet.
#define AGGCFG_APP_TITLE "Pairway Port Aggregation"

// Number of rows of the connection type table; IndexFromConnectionType answers this for a value
// the table does not hold.
constexpr int kConnectionTypeCount = 11;
// Rows 0 to 5 have a label and are the ones the lists offer.
constexpr int kLabelledConnectionTypes = 6;

class CGroupsConfigApp : public pairway::ui::CWinApp {
 public:
  CGroupsConfigApp();
  ~CGroupsConfigApp() override;

  // Routes the help command (ID_HELP) to the framework's help handler.
  BOOL OnCmdMsg(UINT id) override;

  // ---- The configuration model ----
  std::vector<std::unique_ptr<GroupRecord>> m_groups;  // in load order, new groups appended
  std::vector<std::unique_ptr<StandalonePortRecord>> m_standalonePorts;  // in load order
  int m_pageDirty = 0;                     // the groups page holds changes not yet applied
  int m_appliedChanges = 0;                // changes written since the groups page or dialog opened
  CAdapterRegistry* m_registry = nullptr;  // the call's model; created and deleted by the entry
  HMODULE m_statisticsLibrary = nullptr;   // the statistics library while the sheet is shown
  FARPROC m_statisticsEntry = nullptr;     // its statistics entry point, or null

  // ---- Connection types ----
  // The stored value of list position `position` (0 to 10); autodetect (8) for a position the
  // table does not have, such as a list without a selection.
  static DWORD ConnectionTypeFromIndex(int position);
  // The first position holding `value`; kConnectionTypeCount when the table does not hold it.
  static int IndexFromConnectionType(DWORD value);
  // The label of positions 0 to 5, else null.
  static const char* ConnectionTypeLabel(int position);

  // ---- Loaders (all read through m_registry, which the caller created and loaded) ----
  // Fills both lists: ports with "LinkCheckTimeOut" head groups, ports without it and without
  // "PrimaryIndex" are stand-alone, the others are picked up by their primary's group.
  // `current` names the port the caller asked about ("" for none).
  void LoadConfiguration(const std::string& current);
  // Appends an autodetect record for every port without "ConnectionType".
  void LoadUntypedPorts();
  // Appends a selected record for port `name` when it has a "ConnectionType".
  void LoadTypedPort(const std::string& name);
  void AddStandalonePort(const std::string& port, const std::string& current, bool autodetect);
  void AddGroupFromPrimary(const std::string& primary, const std::string& current, DWORD timeout);
  void FreeStandalonePorts();
  void FreeGroups();

  // ---- Group membership operations (act on the registry at once through m_registry) ----
  // Sorts by instance number and rebuilds every name from its number ("TREVAN01" -> "TREVAN1").
  static void SortPortNames(std::vector<std::string>* names);
  // The name rebuilt from the highest instance number; "" for no names.
  static std::string ChoosePrimary(const std::vector<std::string>& names);
  // The number in the (at most two) characters after the product name; 0 when none.
  static int InstanceNumber(const std::string& name);

  void MakePrimary(const std::string& port, int timeout, const std::string& group_name);
  void MakeBackup(const std::string& primary, const std::string& port);
  void MakeStandalone(const std::string& port);
  void EnablePortBindings(const std::string& port);
  void DisablePortBindings(const std::string& port);
  bool HasIpAddress(const std::string& port);
  void RemoveIpSettings(const std::string& port);
  // The names that have an IP address, each followed by a line feed; "" for none.
  std::string ListPortsWithIpAddress(const std::vector<std::string>& names);
  // Takes a port out of its group before its card is removed (see the definition).
  void RemovePortLinks(const std::string& port);

 private:
  // The ports of the model that are backups of the primary with adapter index `index`, in
  // inventory order, leaving out `primary` itself.
  std::vector<std::string> BackupsOf(DWORD index, const std::string& primary);
};

// The library's one application object.
extern CGroupsConfigApp theApp;

#endif  // AGGCFG_GROUPS_CONFIG_APP_H
