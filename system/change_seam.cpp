#include "system/change_seam.h"

#include <atomic>

#include "system/system_error.h"

namespace Zavro {

namespace {

std::atomic<uint64_t> g_changes{0};
std::atomic<uint64_t> g_failing{0};
std::atomic<uint32_t> g_error{0};
std::atomic<bool> g_failed{false};

}  // namespace

void FailNthChange(uint64_t n, uint32_t error) {
  g_failing = 0;
  g_changes = 0;
  g_failed = false;
  g_error = error;
  g_failing = n;
}

uint64_t ChangesMade() { return g_changes.load(); }

bool InjectedFailureHappened() { return g_failed.load(); }

bool ChangeRefused() {
  const uint64_t change = ++g_changes;
  if (change != g_failing.load()) return false;
  g_failed = true;
  SetLastSystemError(g_error.load());
  return true;
}

}  // namespace Zavro
