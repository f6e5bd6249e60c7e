#include "session.h"

#include <stdio.h>

#include "registry_changes.h"

namespace pairwayctl {

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
  if (options_.dry_run && !SnapshotMachine(&before_)) return;
  model_ = std::make_unique<LoadedModel>(model);
  ok_ = true;
}

int Session::Finish(bool refused) {
  if (!ok_) return Fail(kExitFailure, "cannot read the registry of the machine root");
  if (refused || sink_.refused()) return kExitRefused;
  if (options_.dry_run) {
    std::vector<pairway::reg::KeySection> after;
    if (!SnapshotMachine(&after)) return Fail(kExitFailure, "cannot read the registry");
    std::string changes = DescribeChanges(before_, after);
    printf("%s", changes.empty() ? "No registry changes.\n" : changes.c_str());
    return kExitOk;  // the batch ends uncommitted: nothing is written
  }
  DWORD status = batch_->Commit();
  if (status != ERROR_SUCCESS) {
    return Fail(kExitFailure, "the registry refused the change (error " + std::to_string(status) +
                                  "): nothing was written");
  }
  return kExitOk;
}

}  // namespace pairwayctl
