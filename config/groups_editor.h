// groups_editor.h: the rules of the groups configuration page, apart from its windows.
//
// The page shows the configuration model of the application object in five controls: the ports
// in no group (the available list), the ports of the group being shown (the group-ports list), the
// group names (an editable drop-down whose first item is "<Create New Group>"), the connection
// types and the link check time-out. A person moves ports into and out of groups, names groups and
// types time-outs; Apply turns the model into port roles in the registry.
//
// CGroupsEditor holds what those controls show (GroupsPageControls) and every rule of the page:
// what Add, Remove, choosing a group, choosing a connection type, typing a time-out and Apply do
// to the model, to the controls and to the registry. The page itself only copies what the person
// changed into controls() before a call and shows controls() after it; any other front (a script
// that forms groups) calls the same operations in the same way.
//
// The contract of every operation:
//   - before the call, controls() holds what the person left in the controls (selections, the
//     group name text and choice, the time-out text and its modified flag, the connection type);
//   - the call changes the model, controls() and the registry as its comment says; questions and
//     reports go to the application's message boxes (its UI sink), captioned with the application
//     title;
//   - after the call, controls() is what the controls must show, and page_modified() whether the
//     page counts as modified (which enables the sheet's Apply button).
// Registry writes take effect at once, except that nothing but the ports' TCP/IP settings is
// written before Apply. TCP/IP settings deleted by Add or Remove stay deleted whatever the person
// does next; they count as applied changes (m_appliedChanges), so the sheet's caller learns that
// the registry changed even when the sheet is cancelled.
//
// Lifetime: one editor per showing of the page. The application object (and its m_registry and
// lists, which the editor edits) must outlive it. Threads: the thread that runs the dialogs.
#ifndef AGGCFG_GROUPS_EDITOR_H
#define AGGCFG_GROUPS_EDITOR_H

#include <windows.h>

#include <climits>
#include <string>
#include <vector>

#include "groups_config_app.h"

// The first item of the group names, chosen to start a new group.
#define AGGCFG_CREATE_NEW_GROUP "<Create New Group>"
// Longest group name the page takes, and longest time-out text (three digits: 0 to 999).
constexpr int kGroupNameLimit = 20;
constexpr int kTimeoutLimit = 3;
// The time-out a new group starts with.
#define AGGCFG_DEFAULT_TIMEOUT "10"

// What the page's controls show. Positions count from 0; a selection lists positions ascending;
// -1 means nothing selected.
struct GroupsPageControls {
  std::vector<std::string> available;     // ports in no group
  std::vector<int> available_selection;   //
  std::vector<std::string> group_ports;   // ports of the group being shown
  std::vector<int> group_port_selection;  //
  std::vector<std::string> group_names;   // item 0 is AGGCFG_CREATE_NEW_GROUP
  int group_choice = -1;                  // the chosen item of group_names
  int group_names_limit = INT_MAX;        // the most names the group name list can hold
  std::string group_text;                 // the text of the group name field
  int connection_type = 0;                // position in the six labelled connection types
  std::string timeout_text;               // the link check time-out field
  bool timeout_modified = false;          // the person changed the field since it was set
  bool timeout_read_only = true;          // no group is shown
};

// What the page does with the group name field after an operation.
enum class GroupNameField {
  kLeave,           // nothing
  kSelectText,      // select all of its text
  kSelectAndFocus,  // select all of its text and give it the keyboard focus
};

class CGroupsEditor {
 public:
  // `app` is borrowed: its lists and m_registry are the model the editor edits.
  explicit CGroupsEditor(CGroupsConfigApp* app);

  GroupsPageControls& controls() { return m_controls; }
  const GroupsPageControls& controls() const { return m_controls; }
  bool page_modified() const { return m_pageModified; }

  // The page's data, exchanged with its controls by the page's data exchange: the time-out text
  // (at most kTimeoutLimit characters) and the group name text (at most kGroupNameLimit).
  std::string m_strTimeout;
  std::string m_strGroupName;

  // Fills the controls from the model (the group that holds the caller's port is shown, the
  // caller's stand-alone port selected) and starts the counts: nothing dirty, nothing applied.
  void OnInitDialog();
  // The page came to the front: it counts as modified again when it holds unapplied changes.
  void OnSetActive();
  // The page is left (or OK or Apply was pressed on it): it no longer counts as modified.
  void OnKillActive();

  // A selection changed: the connection type shows that of the first selected port.
  void OnAvailableSelectionChanged();
  void OnGroupPortSelectionChanged();

  // Moves the selected available ports into a group: the group named in the name field, a new
  // group when that name is new (named "Group" + the smallest free number when no group is
  // shown). Asks before deleting the TCP/IP settings of ports that have them; Cancel changes
  // nothing. A name that merely begins an existing group's name forms no group; a name the group
  // name list has no room for forms none either, and says so.
  GroupNameField OnAdd();
  // Moves the selected group ports out of their groups; a group that loses its last port is gone.
  GroupNameField OnRemove();

  // The group list was closed: shows the chosen group, or prepares a new one.
  void OnGroupListClosed();
  // The person typed in the group name field.
  void OnGroupTextEdited();
  // The connection type list was closed: the selected ports get the chosen type.
  void OnConnectionTypeListClosed();
  // Another connection type was chosen.
  void OnConnectionTypeChanged();
  // The time-out text changed: a change by the person becomes the shown group's time-out.
  void OnTimeoutChanged();

  // Writes the whole configuration when something changed (every port, changed or not): stand-alone
  // ports lose their group marks and annotations, each group's highest-numbered port becomes its
  // primary. An empty time-out writes nothing and says so. Always accepts, so OK closes the sheet.
  void OnApply();

  // The number of the next default group name: the smallest n from 1 whose name "Group<n>" is
  // neither the name of a group nor the beginning of a listed group name.
  int NextDefaultGroupNumber() const;

 private:
  void MarkDirty();
  void SetTimeoutText(const std::string& text);
  // Deletes the TCP/IP settings of `names` (counted as applied changes) and of the shown ports.
  void RemoveIpSettingsOf(const std::vector<std::string>& names);
  bool CreateGroup(const std::vector<std::string>& names);
  void AddToGroup(GroupRecord* group, const std::vector<std::string>& names);
  void ShowAddedPorts(const std::vector<std::string>& names);
  std::string TakeOutOfGroup(const std::string& port);
  void RenameShownGroup();
  void SaveStandalonePorts();
  void SaveGroups();
  void AnnotateTitle(const std::string& port, const std::string& group_name);

  CGroupsConfigApp* m_app;
  GroupsPageControls m_controls;
  bool m_pageModified = false;
};

// The first item of `items` that begins with `prefix`, compared without regard to case, as the
// platform's list controls search; -1 when none does.
int FindPrefix(const std::vector<std::string>& items, const std::string& prefix);

#endif  // AGGCFG_GROUPS_EDITOR_H
