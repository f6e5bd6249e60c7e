// notify.h: change notification across the processes of a machine root.
//
// PROTOCOL
//
//   1. Every write transaction appends rows to the hive's change log (hive.h) and commits.
//   2. After the commit the writer signals the asynchronous watches of its own process that the
//      rows concern, before the writing call returns (a caller that tests its event right after
//      its own write sees it set), then rewrites the first byte of the file "registry.notify" in
//      the root, through a descriptor the hive keeps open. The byte carries nothing; the write is
//      what waiters see.
//   3. Each process has one notification thread, which serves every wait of the process, both
//      synchronous and asynchronous: it watches the root directory with inotify for writes to
//      that file, then reads the change log past the last sequence number each waiting key
//      handle has considered. It never polls; a one-second guard only covers a writer that died
//      between steps 1 and 2. Its one inotify descriptor stays open: closing one costs the
//      kernel milliseconds, which a descriptor per wait added to every wake-up.
//   4. A handle's watch stays armed between calls: the first RegNotifyChangeKeyValue records the
//      newest sequence number, and every later call starts from where the previous one ended, so
//      a change made while the caller was busy is reported at once.
//   5. A watcher whose position fell behind the pruned part of the log wakes at once: it may
//      have missed a change, and a spurious wake-up is harmless where a lost one is not.
//   6. The position belongs to the handle: an asynchronous watch that fires moves it like a
//      synchronous wait that returns. A caller that keeps both outstanding on one handle at once
//      shares one stream of reports between them; use one handle per waiter.
#ifndef PAIRWAY_REGISTRY_NOTIFY_H
#define PAIRWAY_REGISTRY_NOTIFY_H

#include <filesystem>
#include <memory>
#include <vector>

#include <windows.h>

#include "hive.h"
#include "key_handles.h"

namespace pairway::registry {

// The file of step 2, opened for writing by the hive for as long as it is open; -1 when the
// root cannot have it (waiters then rely on their guard time).
int OpenAnnouncements(const std::filesystem::path& hive_file);

// Step 2 of the protocol, after a successful commit of `changes` (hive.h calls it). Caller holds
// the session.
void PublishChanges(Hive& hive, const std::vector<LoggedChange>& changes);

// Blocks until a change matching the watch happened or the handle was closed.
DWORD WaitForChange(const std::shared_ptr<KeyHandle>& handle, bool subtree, DWORD filter);

// Resets `event`, arms the watch and has `event` signalled at the next matching change (at once
// when one is pending): by the writing call itself for a change made by this process, by the
// notification thread for one made by another.
DWORD WatchForChange(const std::shared_ptr<KeyHandle>& handle, bool subtree, DWORD filter,
                     HANDLE event);

}  // namespace pairway::registry

#endif  // PAIRWAY_REGISTRY_NOTIFY_H
