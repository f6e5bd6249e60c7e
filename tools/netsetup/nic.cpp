// pairway-netsetup nic: looking at and changing the NIC port behind a card, as the driver
// stand-in will answer for it.
//
// An emulated port's state is changed field by field; a set with one bad field changes nothing,
// and two sets at once both land (UpdateNicState). A port served from a Linux interface shows
// the interface's own figures and cannot be set: they are the kernel's.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <string>

#include "netsetup.h"
#include "pairway/host_nic.h"
#include "pairway/nic_state.h"

namespace netsetup {
namespace {

const char kVerb[] = "nic";

int ShowPort(long card, const std::string& service, const std::string& interface) {
  if (!interface.empty()) {
    std::string text;
    const DWORD status = pairway::ShowHostNic(interface, &text);
    if (status == ERROR_FILE_NOT_FOUND) {
      return Fail(kVerb, kExitNotFound,
                  "interface " + interface + " of card " + std::to_string(card) +
                      " is not in this network namespace");
    }
    if (status != ERROR_SUCCESS) {
      return Fail(kVerb, kExitNotFound,
                  "cannot read interface " + interface + " (error " + std::to_string(status) + ")");
    }
    fputs(text.c_str(), stdout);
    return kExitOk;
  }
  pairway::NicState state;
  const DWORD status = pairway::ReadNicState(getenv("PAIRWAY_ROOT"), service, &state);
  if (status == ERROR_INVALID_DATA) {
    return Fail(kVerb, kExitFiles, "the state file of " + service + " is damaged");
  }
  // A card installed before ports kept a state has the state a new card brings.
  if (status != ERROR_SUCCESS) state = pairway::DefaultNicState(static_cast<int>(card));
  fputs(pairway::ShowNicState(state).c_str(), stdout);
  return kExitOk;
}

int SetPort(const std::string& card, const std::string& service, const std::string& interface,
            const Args& assignments) {
  if (assignments.empty()) return Fail(kVerb, kExitUsage, "set needs FIELD=VALUE");
  if (!interface.empty()) {
    return Fail(kVerb, kExitUsage,
                "card " + card + " is served from Linux interface " + interface +
                    ": its figures are the kernel's and cannot be set");
  }
  std::string error;
  const DWORD status = pairway::UpdateNicState(
      getenv("PAIRWAY_ROOT"), service, [&](pairway::NicState* state) -> DWORD {
        for (const std::string& assignment : assignments) {
          const DWORD applied = pairway::SetNicField(state, assignment, &error);
          if (applied != ERROR_SUCCESS) return applied;
        }
        return ERROR_SUCCESS;
      });
  if (status == ERROR_INVALID_PARAMETER) return Fail(kVerb, kExitUsage, error);
  if (status == ERROR_INVALID_DATA) {
    return Fail(kVerb, kExitFiles, "the state file of " + service + " is damaged; it is kept");
  }
  if (status != ERROR_SUCCESS) {
    return Fail(kVerb, kExitFiles,
                "cannot write the state of " + service + " (error " + std::to_string(status) + ")");
  }
  return kExitOk;
}

}  // namespace

int RunNic(const Args& args) {
  long card = 0;
  if (args.size() < 2 || !ParseNumber(args[0], 1, 254, &card)) {
    return Fail(kVerb, kExitUsage, "takes a card number from 1 to 254, then show or set");
  }
  const std::string& action = args[1];
  if (action != "show" && action != "set") {
    return Fail(kVerb, kExitUsage, "unknown action '" + action + "': show or set");
  }
  if (action == "show" && args.size() > 2) {
    return Fail(kVerb, kExitUsage, "show takes no arguments");
  }
  std::string service;
  if (pairway::ServiceNameOfCard(static_cast<int>(card), &service) != ERROR_SUCCESS) {
    return Fail(kVerb, kExitUsage, "no card " + args[0]);
  }
  std::string interface;
  if (pairway::HostInterfaceOfService(service, &interface) != ERROR_SUCCESS) interface.clear();
  if (action == "show") return ShowPort(card, service, interface);
  return SetPort(args[0], service, interface, Args(args.begin() + 2, args.end()));
}

}  // namespace netsetup
