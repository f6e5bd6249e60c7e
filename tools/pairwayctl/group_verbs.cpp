// pairwayctl group: the configuration page's Add, Remove, group name and time-out handling,
// followed by Apply, done by the page's own editor (groups_editor.h) as a person would do them.
#include <algorithm>
#include <string>
#include <vector>

#include "groups_editor.h"
#include "pairwayctl.h"
#include "session.h"

namespace pairwayctl {
namespace {

// The page's data exchange: what the person left in the name and time-out fields becomes the
// page's data, with the length checks that keep a too-long text from being applied.
bool ExchangeData(CGroupsEditor* editor) {
  GroupsPageControls& c = editor->controls();
  for (auto [text, limit] :
       {std::pair{&c.timeout_text, kTimeoutLimit}, std::pair{&c.group_text, kGroupNameLimit}}) {
    if (static_cast<int>(text->size()) > limit) {
      theApp.DoMessageBox(
          ("Please enter no more than " + std::to_string(limit) + " characters.").c_str(),
          MB_OK | MB_ICONEXCLAMATION, 0);
      return false;
    }
  }
  editor->m_strTimeout = c.timeout_text;
  editor->m_strGroupName = c.group_text;
  return true;
}

// OK on the sheet: the page is left (its data exchanged), then applied.
void PressOk(CGroupsEditor* editor) {
  if (!ExchangeData(editor)) return;
  editor->OnKillActive();
  editor->OnApply();
}

int IndexOf(const std::vector<std::string>& items, const std::string& item) {
  auto found = std::find(items.begin(), items.end(), item);
  return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

// Chooses group `name` in the group list and closes the list. False when no group has the name.
bool ChooseGroup(CGroupsEditor* editor, const std::string& name) {
  GroupsPageControls& c = editor->controls();
  int position = IndexOf(c.group_names, name);
  if (position <= 0) return false;  // item 0 is "<Create New Group>"
  c.group_choice = position;
  editor->OnGroupListClosed();
  return true;
}

void ChooseNewGroup(CGroupsEditor* editor) {
  editor->controls().group_choice = 0;
  editor->OnGroupListClosed();
}

// Selects `ports` in `list`; the first port the list does not show, or "" when all were found.
std::string Select(const std::vector<std::string>& list, const std::vector<std::string>& ports,
                   std::vector<int>* selection) {
  selection->clear();
  for (const std::string& port : ports) {
    int position = IndexOf(list, port);
    if (position < 0) return port;
    selection->push_back(position);
  }
  std::sort(selection->begin(), selection->end());
  selection->erase(std::unique(selection->begin(), selection->end()), selection->end());
  return "";
}

void TypeName(CGroupsEditor* editor, const std::string& name) {
  editor->controls().group_text = name;
  editor->OnGroupTextEdited();
}

void TypeTimeout(CGroupsEditor* editor, const std::string& timeout) {
  GroupsPageControls& c = editor->controls();
  c.timeout_text = timeout;
  c.timeout_modified = true;
  editor->OnTimeoutChanged();
}

// ---- Checks made before anything is done ----

bool ParsePorts(Args::const_iterator begin, Args::const_iterator end,
                std::vector<std::string>* ports, int* code) {
  for (auto it = begin; it != end; ++it) {
    std::string port = PortName(*it);
    if (port.empty()) {
      *code = Fail(kExitUsage, "not a port: " + *it + " (a card number or TREVANn)");
      return false;
    }
    ports->push_back(port);
  }
  return true;
}

// The link check time-out field takes typed digits only. Its length and emptiness are left to
// the page, which refuses them with its own messages.
bool CheckTimeout(const std::string& timeout, int* code) {
  if (timeout.find_first_not_of("0123456789") != std::string::npos) {
    *code = Fail(kExitUsage, "a time-out is 0 to 999 seconds, digits only: " + timeout);
    return false;
  }
  return true;
}

// The page renames a group only when its new name begins no listed group name; otherwise the
// group silently keeps its name. pairwayctl says so instead and changes nothing.
bool CheckNewName(const GroupsPageControls& c, const std::string& name, const std::string& keeps,
                  int* code) {
  int clash = FindPrefix(c.group_names, name);
  if (clash >= 0 && name != keeps) {
    *code = Fail(kExitRefused, "the name " + name + " begins the name of group " +
                                   c.group_names[clash] + ": the group would keep the name " +
                                   keeps + "; nothing was changed");
    return false;
  }
  return true;
}

// Asks, before the change begins, the question Add would ask for `ports`.
bool ConsentToAdd(const Options& options, const std::vector<std::string>& ports) {
  LoadedModel model(LoadedModel::kGroups);
  std::string listed = model.app().ListPortsWithIpAddress(ports);
  if (listed.empty() || options.dry_run) return true;
  return AskConsent(AGGCFG_APP_TITLE,
                    "This action will remove IP Address for following Port(s)\n" + listed,
                    options.yes);
}

// Ends the session without writing anything and says why.
int Refuse(Session* session, const std::string& why) {
  session->Finish(true);
  return Fail(kExitRefused, why + "; nothing was changed");
}

// Selects `ports` in the available list as a person would; false when one is not listed there.
bool SelectAvailable(CGroupsEditor* editor, const std::vector<std::string>& ports,
                     std::string* missing) {
  GroupsPageControls& c = editor->controls();
  *missing = Select(c.available, ports, &c.available_selection);
  if (!missing->empty()) return false;
  editor->OnAvailableSelectionChanged();
  return true;
}

// ---- The verbs ----

int Create(const Options& options, const Args& args) {
  // create NAME PORT... [--timeout S]
  std::string timeout = AGGCFG_DEFAULT_TIMEOUT;
  Args rest = args;
  auto flag = std::find(rest.begin(), rest.end(), "--timeout");
  if (flag != rest.end()) {
    if (flag + 1 == rest.end()) return Fail(kExitUsage, "--timeout needs S");
    timeout = *(flag + 1);
    rest.erase(flag, flag + 2);
  }
  if (rest.size() < 2) return Fail(kExitUsage, "group create NAME PORT... [--timeout S]");
  int code = kExitOk;
  std::vector<std::string> ports;
  if (!ParsePorts(rest.begin() + 1, rest.end(), &ports, &code)) return code;
  if (!CheckTimeout(timeout, &code)) return code;
  if (!ConsentToAdd(options, ports)) return kExitRefused;

  Session session(options, LoadedModel::kGroups, true);
  if (!session.ok()) return session.Finish();
  CGroupsEditor editor(&session.app());
  editor.OnInitDialog();
  GroupsPageControls& c = editor.controls();
  ChooseNewGroup(&editor);
  std::string missing;
  if (!SelectAvailable(&editor, ports, &missing)) {
    return Refuse(&session, missing + " is not a stand-alone port");
  }
  std::string default_name = "Group" + std::to_string(editor.NextDefaultGroupNumber());
  const std::string& name = rest[0] == "-" ? default_name : rest[0];
  if (name != default_name) {
    GroupsPageControls with_default = c;
    with_default.group_names.push_back(default_name);
    if (!CheckNewName(with_default, name, default_name, &code)) {
      session.Finish(true);
      return code;
    }
  }
  editor.OnAdd();
  if (name != default_name) TypeName(&editor, name);
  TypeTimeout(&editor, timeout);
  PressOk(&editor);
  session.Report({name}, ports);
  return session.Finish();
}

int Add(const Options& options, const Args& args) {
  if (args.size() < 2) return Fail(kExitUsage, "group add NAME PORT...");
  int code = kExitOk;
  std::vector<std::string> ports;
  if (!ParsePorts(args.begin() + 1, args.end(), &ports, &code)) return code;
  if (!ConsentToAdd(options, ports)) return kExitRefused;

  Session session(options, LoadedModel::kGroups, true);
  if (!session.ok()) return session.Finish();
  CGroupsEditor editor(&session.app());
  editor.OnInitDialog();
  if (!ChooseGroup(&editor, args[0])) {
    return Refuse(&session, "no group is named " + args[0]);
  }
  std::string missing;
  if (!SelectAvailable(&editor, ports, &missing)) {
    return Refuse(&session, missing + " is not a stand-alone port");
  }
  editor.OnAdd();
  PressOk(&editor);
  session.Report({args[0]}, ports);
  return session.Finish();
}

int Remove(const Options& options, const Args& args) {
  if (args.empty()) return Fail(kExitUsage, "group remove PORT...");
  int code = kExitOk;
  std::vector<std::string> ports;
  if (!ParsePorts(args.begin(), args.end(), &ports, &code)) return code;

  Session session(options, LoadedModel::kGroups, true);
  if (!session.ok()) return session.Finish();
  CGroupsEditor editor(&session.app());
  editor.OnInitDialog();
  GroupsPageControls& c = editor.controls();
  // The ports of each group are removed together, the group shown once, in the model's order.
  for (size_t g = 0; g < session.app().m_groups.size() && !ports.empty();) {
    const GroupRecord& group = *session.app().m_groups[g];
    std::vector<std::string> members;
    for (const std::string& port : ports) {
      if (IndexOf(group.m_ports, port) >= 0) members.push_back(port);
    }
    if (members.empty()) {
      ++g;
      continue;
    }
    std::string name = group.m_name;
    session.Report({name}, members);
    ChooseGroup(&editor, name);
    Select(c.group_ports, members, &c.group_port_selection);
    editor.OnGroupPortSelectionChanged();
    size_t groups_before = session.app().m_groups.size();
    editor.OnRemove();
    for (const std::string& port : members)
      ports.erase(std::find(ports.begin(), ports.end(), port));
    if (session.app().m_groups.size() == groups_before) ++g;  // else the record is gone
  }
  if (!ports.empty()) {
    return Refuse(&session, ports[0] + " is in no group");
  }
  PressOk(&editor);
  return session.Finish();
}

int Rename(const Options& options, const Args& args) {
  if (args.size() != 2) return Fail(kExitUsage, "group rename OLD NEW");
  Session session(options, LoadedModel::kGroups, true);
  if (!session.ok()) return session.Finish();
  CGroupsEditor editor(&session.app());
  editor.OnInitDialog();
  int code = kExitOk;
  if (!ChooseGroup(&editor, args[0])) {
    return Refuse(&session, "no group is named " + args[0]);
  }
  if (!CheckNewName(editor.controls(), args[1], args[0], &code)) {
    session.Finish(true);
    return code;
  }
  TypeName(&editor, args[1]);
  PressOk(&editor);
  session.Report({args[0], args[1]}, {});
  return session.Finish();
}

int Timeout(const Options& options, const Args& args) {
  if (args.size() != 2) return Fail(kExitUsage, "group timeout NAME S");
  int code = kExitOk;
  if (!CheckTimeout(args[1], &code)) return code;
  Session session(options, LoadedModel::kGroups, true);
  if (!session.ok()) return session.Finish();
  CGroupsEditor editor(&session.app());
  editor.OnInitDialog();
  if (!ChooseGroup(&editor, args[0])) {
    return Refuse(&session, "no group is named " + args[0]);
  }
  TypeTimeout(&editor, args[1]);
  PressOk(&editor);
  session.Report({args[0]}, {});
  return session.Finish();
}

}  // namespace

int RunGroup(const Options& options, const Args& args) {
  if (args.empty()) return Fail(kExitUsage, "group needs a verb (see pairwayctl group --help)");
  Args rest(args.begin() + 1, args.end());
  if (args[0] == "create") return Create(options, rest);
  if (args[0] == "add") return Add(options, rest);
  if (args[0] == "remove") return Remove(options, rest);
  if (args[0] == "rename") return Rename(options, rest);
  if (args[0] == "timeout") return Timeout(options, rest);
  return Fail(kExitUsage, "unknown group verb " + args[0] + " (see pairwayctl group --help)");
}

}  // namespace pairwayctl
