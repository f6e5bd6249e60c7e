// new_ports_editor.h: the rules of the new-hardware dialog, apart from its windows.
//
// When the network setup has installed new ports of the driver, the dialog lists them (one row
// per port of the application's m_standalonePorts) with their connection types; a person chooses
// a connection type for some rows, and saving writes each listed port's "ConnectionType" and gives
// every port that has no "AdapterIndex" yet its index and its bind rules, which makes it a
// stand-alone port.
//
// CNewPortsEditor holds what the dialog's two lists show (NewPortsControls) and every rule of the
// dialog; the dialog copies the person's selections into controls() before a call and shows
// controls() after it. A script that configures new ports calls the same operations.
//
// Lifetime: one editor per showing of the dialog. The application object (its m_registry and
// m_standalonePorts) must outlive it. Threads: the thread that runs the dialogs.
#ifndef AGGCFG_NEW_PORTS_EDITOR_H
#define AGGCFG_NEW_PORTS_EDITOR_H

#include <windows.h>

#include <string>
#include <vector>

#include "groups_config_app.h"

// Column widths of a port row: name, connection type label and PCI bus are padded with blanks to
// these widths; the PCI slot ends the row.
constexpr size_t kRowNameWidth = 13;
constexpr size_t kRowTypeWidth = 45;
constexpr size_t kRowBusWidth = 20;

// The items of the connection type list, in table order, each with the trailing blanks the
// dialog's list has always carried; null-terminated for the dialog template.
extern const char* const kNewHardwareTypeItems[kLabelledConnectionTypes + 1];

// What the dialog's lists show. Positions count from 0; a selection lists positions ascending.
struct NewPortsControls {
  std::vector<std::string> rows;   // one per port record, in list order
  std::vector<int> row_selection;  // the selected rows
  int connection_type = 0;         // the chosen item of the connection type list, 0 to 5
  bool apply_enabled = false;      // the Apply button
};

class CNewPortsEditor {
 public:
  // `app` is borrowed: its m_standalonePorts are the ports, its m_registry the model written.
  explicit CNewPortsEditor(CGroupsConfigApp* app);

  NewPortsControls& controls() { return m_controls; }
  const NewPortsControls& controls() const { return m_controls; }

  // The dialog opens: one row per port record, the first row and autodetect chosen, Apply
  // disabled, nothing chosen since; the application's m_appliedChanges back to 0.
  void Start();

  // The person changed the connection type choice, or the row selection. Apply is enabled once
  // both changed since the start or the last Apply, in either order.
  void TypeSelectionChanged();
  void PortSelectionChanged();

  // The connection type list closed: every selected row takes the chosen connection type (in
  // the port record; the registry is written by Save). Rows are rebuilt in place and, as
  // replaced rows of the list are, no longer selected.
  void ApplyConnectionType();

  // The Apply button: Apply disabled, choices forgotten, the ports saved; a save counts in
  // m_appliedChanges. Returns Save's result.
  int Apply();

  // Writes every port record: its "ConnectionType" and, for a port without "AdapterIndex", the
  // next free index and its bind rules. 1 when saved; 0, after "No Stand Alone Ports To Save!!!",
  // when there is no port.
  int Save();

  // The next free "AdapterIndex": the smallest of 0 to 31 that no port of the model holds and no
  // earlier call returned, recorded in the model's table as used; 32 when all are taken.
  int NextFreeAdapterIndex();

  // ---- Row texts ----
  // The row of a port record showing `label` (trailing blanks of the label are kept within the
  // column; an empty label leaves the column blank).
  static std::string BuildRow(const StandalonePortRecord& record, const std::string& label);
  // The instance name a row starts with: the product name and the two characters after it,
  // trailing blanks removed ("TREVAN7      ..." gives TREVAN7).
  static std::string RowInstanceName(const std::string& row);

 private:
  StandalonePortRecord* FindRecord(const std::string& name) const;

  CGroupsConfigApp* m_app;
  NewPortsControls m_controls;
  bool m_typeChosen = false;
  bool m_portsChosen = false;
};

#endif  // AGGCFG_NEW_PORTS_EDITOR_H
