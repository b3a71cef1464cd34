// The test seam of the services that change the machine: files and folders (created,
// written, moved, deleted, given attributes or times), profile and shortcut files, and
// registry keys and values. Every such call counts as one change; a test can make the
// N-th change from now fail with a system error of its choosing, as the system itself
// would fail it, to prove that a run which fails at any step leaves the machine as it
// found it.
#pragma once

#include <cstdint>

namespace Zavro {

// Counts changes from 0 again; the `n`-th one (from 1) fails with `error`, the others
// go through. 0 fails none.
void FailNthChange(uint64_t n, uint32_t error);
// How many changes were made (or refused) since the last FailNthChange.
uint64_t ChangesMade();
// Whether the one change that was to fail has failed.
bool InjectedFailureHappened();

// For the services, before each change: counts it and says whether it must fail. When
// it must, the system error is set (LastSystemError) and the service fails without
// changing anything.
bool ChangeRefused();

}  // namespace Zavro
