// Several registry calls as one transaction; see pairway/registry_batch.h.
#include "pairway/registry_batch.h"

#include <optional>

#include "hive.h"

namespace pairway {

struct RegistryBatch::Impl {
  registry::Session session;  // holds the connection's lock for the batch's life
  std::optional<registry::Transaction> txn;
  DWORD status = ERROR_SUCCESS;
  bool active = false;
};

RegistryBatch::RegistryBatch() : impl_(std::make_unique<Impl>()) {
  impl_->status = impl_->session.status();
  if (impl_->status != ERROR_SUCCESS) return;
  if (impl_->session.hive().ReadOnly()) {
    impl_->status = ERROR_ACCESS_DENIED;
    return;
  }
  impl_->txn.emplace(impl_->session.hive(), true);
  impl_->status = impl_->txn->status();
  if (impl_->status != ERROR_SUCCESS) return;
  registry::SetThreadBatch(&impl_->session.hive(), impl_->session.generation());
  impl_->active = true;
}

RegistryBatch::~RegistryBatch() {
  if (impl_->active) registry::SetThreadBatch(nullptr, 0);
  // The transaction, if not committed, rolls back as it goes.
}

DWORD RegistryBatch::status() const { return impl_->status; }

DWORD RegistryBatch::Commit() {
  if (!impl_->active) return impl_->status;
  registry::SetThreadBatch(nullptr, 0);
  impl_->active = false;
  return impl_->txn->Commit();  // tells the waiters too
}

}  // namespace pairway
