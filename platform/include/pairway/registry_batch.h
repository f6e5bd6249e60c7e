// registry_batch.h: several registry calls as one transaction.
//
// While a RegistryBatch lives, every registry call made on its thread joins the batch's
// transaction: either all of them happen (Commit) or none does (destruction without Commit, or
// a failed Commit). Other threads and processes wait for the batch to end before their calls go
// on, so keep batches short. The tool `pairway-reg import` uses this to import a file whole or
// not at all.
//
// A batch belongs to the thread that made it; it must end on that thread, before the machine
// root changes.
#ifndef PAIRWAY_REGISTRY_BATCH_H
#define PAIRWAY_REGISTRY_BATCH_H

#include <memory>

#include "pairway/api.h"
#include "windef.h"

namespace pairway {

class PAIRWAY_API RegistryBatch {
 public:
  RegistryBatch();
  ~RegistryBatch();
  RegistryBatch(const RegistryBatch&) = delete;
  RegistryBatch& operator=(const RegistryBatch&) = delete;

  // ERROR_SUCCESS when the batch began; otherwise the hive's error and calls run on their own.
  DWORD status() const;
  // Makes every call of the batch durable and tells waiters; the error when it could not.
  DWORD Commit();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pairway

#endif  // PAIRWAY_REGISTRY_BATCH_H
