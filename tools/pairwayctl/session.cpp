#include "session.h"

#include <stdio.h>

#include "change_summary.h"
#include "pairway/service_manager.h"
#include "registry_layout.h"
#include "registry_changes.h"
#include "view.h"

namespace pairwayctl {
namespace {

// The driver reads the groups from its port parameters at its start and again when told that
// they changed, as the platform's network setup tells it after a configuration change. No
// driver running is no fault: it reads the change when it starts.
void TellDriver(ChangeSummary* summary) {
  DWORD error = ERROR_SUCCESS;
  switch (pairway::SendParamChange(TREVAN_PRODUCT_NAME, &error)) {
    case pairway::ParamChange::kSent:
      if (summary != nullptr) summary->MarkDriverNotified();
      return;
    case pairway::ParamChange::kNoManager:
    case pairway::ParamChange::kNoService:
    case pairway::ParamChange::kNotRunning:
      return;
    case pairway::ParamChange::kFailed:
      break;
  }
  std::string what = "the change is written, but the driver " TREVAN_PRODUCT_NAME
                     " could not be told of it (error " +
                     std::to_string(error) + "); it reads it at its next start";
  fprintf(stderr, "pairwayctl: %s\n", what.c_str());
  NoteMessage(what);
}

}  // namespace

LoadedModel::LoadedModel(Kind kind) {
  theApp.m_registry = new CAdapterRegistry();
  theApp.m_registry->LoadAdapters();
  if (kind == kGroups) {
    theApp.LoadConfiguration("");
  } else {
    theApp.LoadUntypedPorts();
  }
}

LoadedModel::~LoadedModel() {
  delete theApp.m_registry;
  theApp.m_registry = nullptr;
  theApp.FreeStandalonePorts();
  theApp.FreeGroups();
}

Session::Session(const Options& options, LoadedModel::Kind model, bool consent)
    : options_(options), batch_(std::make_unique<pairway::RegistryBatch>()), sink_(consent) {
  if (batch_->status() != ERROR_SUCCESS) return;
  bool compare = options_.dry_run || options_.summary != nullptr;
  if (compare && !SnapshotMachine(&before_)) return;
  model_ = std::make_unique<LoadedModel>(model);
  ok_ = true;
}

void Session::Report(const std::vector<std::string>& groups,
                     const std::vector<std::string>& ports) {
  if (options_.summary != nullptr) options_.summary->Name(groups, ports);
}

int Session::Finish(bool refused) {
  if (!ok_) return Fail(kExitFailure, "cannot read the registry of the machine root");
  if (refused || sink_.refused()) return kExitRefused;
  std::vector<pairway::reg::KeySection> after;
  if (options_.dry_run || options_.summary != nullptr) {
    if (!SnapshotMachine(&after)) return Fail(kExitFailure, "cannot read the registry");
  }
  if (options_.summary != nullptr) {
    // The summary's view loads the model afresh, still inside the transaction, so that a dry
    // run shows what the change would leave.
    model_.reset();
    options_.summary->Describe(ListChanges(before_, after), Collect());
  }
  if (options_.dry_run) {
    if (options_.summary == nullptr) {
      std::string changes = DescribeChanges(before_, after);
      printf("%s", changes.empty() ? "No registry changes.\n" : changes.c_str());
    }
    return kExitOk;  // the batch ends uncommitted: nothing is written
  }
  DWORD status = batch_->Commit();
  if (status != ERROR_SUCCESS) {
    return Fail(kExitFailure, "the registry refused the change (error " + std::to_string(status) +
                                  "): nothing was written");
  }
  if (options_.summary != nullptr) options_.summary->MarkWritten();
  TellDriver(options_.summary);
  return kExitOk;
}

}  // namespace pairwayctl
