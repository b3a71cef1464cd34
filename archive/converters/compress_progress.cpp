#include "archive/converters/compress_progress.h"

#include <chrono>
#include <thread>

namespace Zavro {

bool GMCompressProgress::Pause(bool pause) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = pause;
  }
  if (!pause) resumed_.notify_all();
  return true;
}

void GMCompressProgress::SetCancelled(bool cancelled) {
  cancelled_.store(cancelled);
  if (cancelled) {
    // Take the lock so a worker between its check and its wait cannot miss the wake-up.
    std::lock_guard<std::mutex> lock(mutex_);
    resumed_.notify_all();
  }
}

void GMCompressProgress::Throttle() {
  uint32_t ms = sleep_ms_.load();
  if (ms != kNoSleep) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool GMCompressProgress::IsPaused() {
  std::lock_guard<std::mutex> lock(mutex_);
  return paused_;
}

void GMCompressProgress::WaitWhilePaused() {
  std::unique_lock<std::mutex> lock(mutex_);
  resumed_.wait(lock, [this] { return !paused_ || cancelled_.load(); });
}

}  // namespace Zavro
