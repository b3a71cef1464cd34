// The observer of long operations (packing, extracting): it hears of progress and
// errors, can pause the work (the worker blocks at its next wait until resumed), slow
// it down (a sleep between steps) and cancel it (the worker stops at its next check).
// Pause, SetCancelled and SetSleepTime may be called from any thread; the other
// operations are called on the worker's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "system/error_info.h"

namespace Zavro {

class GMTocNode;

class GMCompressProgress {
 public:
  static constexpr uint32_t kNoSleep = 0xFFFFFFFF;

  GMCompressProgress() = default;
  virtual ~GMCompressProgress() = default;
  GMCompressProgress(const GMCompressProgress&) = delete;
  GMCompressProgress& operator=(const GMCompressProgress&) = delete;

  virtual void OnBegin() {}
  virtual void OnEntryBegin(const GMTocNode& entry) {}
  // Both in per cent.
  virtual void OnProgress(double overall, double entry) {}
  virtual void OnEntryEnd(const GMTocNode& entry) {}
  virtual void OnEnd(bool cancelled) {}
  // True blocks the work at its next wait, false lets it run again.
  virtual bool Pause(bool pause);
  virtual bool IsCancelled() { return cancelled_.load(); }
  // Whether to go on after an error; the default gives up.
  virtual bool OnError(const ErrorInfo& error) { return false; }
  // The solid encoder starts reading the next of its source files.
  virtual void OnSourceFile(const std::u16string& path) {}

  void SetCancelled(bool cancelled);
  void SetSleepTime(uint32_t milliseconds) { sleep_ms_.store(milliseconds); }
  uint32_t SleepTime() const { return sleep_ms_.load(); }

  // Sleeps the sleep time unless it is kNoSleep.
  void Throttle();
  // Blocks while paused. Cancelling also releases the wait.
  void WaitWhilePaused();
  bool IsPaused();

 private:
  std::atomic<bool> cancelled_{false};
  std::atomic<uint32_t> sleep_ms_{kNoSleep};
  std::mutex mutex_;
  std::condition_variable resumed_;
  bool paused_ = false;
};

// Overall and per-entry progress of a job, shared by the writer and the encoders.
struct GMProgressTotals {
  uint64_t total = 0;  // bytes of the whole job
  uint64_t done = 0;   // bytes finished before the current entry
};

}  // namespace Zavro
