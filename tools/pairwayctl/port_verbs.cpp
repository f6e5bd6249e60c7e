// pairwayctl port type: what the new-hardware dialog's save does for the named ports, done by the
// dialog's own editor (new_ports_editor.h): the ports are listed as the dialog lists them, chosen,
// given the connection type, and saved.
#include <strings.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "new_ports_editor.h"
#include "pairwayctl.h"
#include "session.h"

namespace pairwayctl {
namespace {

struct TypeName {
  const char* name;
  int position;  // in the connection type table
};
const TypeName kTypeNames[] = {{"auto", 0},    {"10half", 1},  {"10full", 2},
                               {"100half", 3}, {"100full", 4}, {"thin", 5}};

// The table position of TYPE; -1 when it is no name and no code of the table.
int TypePosition(const std::string& text) {
  for (const TypeName& type : kTypeNames) {
    if (strcasecmp(text.c_str(), type.name) == 0) return type.position;
  }
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  int position = CGroupsConfigApp::IndexFromConnectionType(std::stoul(text));
  return position < kConnectionTypeCount ? position : -1;
}

// Leaves in the dialog's list only the named ports: the untyped ones it lists anyway, and the
// typed ones it lists when asked about one of them. The first name it cannot list, or "".
std::string ListOnly(CGroupsConfigApp* app, const std::vector<std::string>& ports) {
  auto& listed = app->m_standalonePorts;
  listed.erase(std::remove_if(listed.begin(), listed.end(),
                              [&](const std::unique_ptr<StandalonePortRecord>& record) {
                                return std::find(ports.begin(), ports.end(), record->m_name) ==
                                       ports.end();
                              }),
               listed.end());
  for (const std::string& port : ports) {
    auto has = [&](const std::unique_ptr<StandalonePortRecord>& r) { return r->m_name == port; };
    if (std::any_of(listed.begin(), listed.end(), has)) continue;
    app->LoadTypedPort(port);
    if (!std::any_of(listed.begin(), listed.end(), has)) return port;
  }
  return "";
}

int Type(const Options& options, const Args& args) {
  if (args.size() < 2) return Fail(kExitUsage, "port type PORT... TYPE");
  int position = TypePosition(args.back());
  if (position < 0) {
    return Fail(kExitUsage, "not a connection type: " + args.back() +
                                " (auto, 10half, 10full, 100half, 100full, thin or a code)");
  }
  std::vector<std::string> ports;
  for (auto it = args.begin(); it + 1 != args.end(); ++it) {
    std::string port = PortName(*it);
    if (port.empty()) return Fail(kExitUsage, "not a port: " + *it + " (a card number or TREVANn)");
    ports.push_back(port);
  }

  Session session(options, LoadedModel::kUntypedPorts, true);
  if (!session.ok()) return session.Finish();
  CGroupsConfigApp& app = session.app();
  std::string missing = ListOnly(&app, ports);
  if (!missing.empty()) {
    session.Finish(true);
    return Fail(kExitRefused, "no port " + missing + " of the driver; nothing was changed");
  }
  CNewPortsEditor editor(&app);
  editor.Start();
  NewPortsControls& c = editor.controls();
  c.row_selection.clear();
  for (size_t row = 0; row < c.rows.size(); ++row) c.row_selection.push_back(static_cast<int>(row));
  editor.PortSelectionChanged();
  if (position < kLabelledConnectionTypes) {
    c.connection_type = position;
    editor.TypeSelectionChanged();
    editor.ApplyConnectionType();
  } else {
    // The dialog offers only the labelled types; the others are given to the records it saves.
    for (auto& record : app.m_standalonePorts) {
      record->m_connectionType = CGroupsConfigApp::ConnectionTypeFromIndex(position);
    }
  }
  editor.Save();
  session.Report({}, ports);
  return session.Finish();
}

}  // namespace

int RunPort(const Options& options, const Args& args) {
  if (args.empty() || args[0] != "type") {
    return Fail(kExitUsage, "port needs the verb type (see pairwayctl port --help)");
  }
  return Type(options, Args(args.begin() + 1, args.end()));
}

}  // namespace pairwayctl
