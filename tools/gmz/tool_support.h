// Helpers shared by gmz's commands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/converters/compress_progress.h"
#include "archive/toc_node.h"
#include "system/error_info.h"

namespace Zavro::gmz {

// A method by name ("store", "zip", "lzma", "solid") or number; false when unknown.
bool ParseMethod(const std::string& text, uint32_t& method);
const char* MethodName(uint32_t method);

// Lower-case hexadecimal of some bytes.
std::string Hex(const unsigned char* data, size_t size);
// "YYYY-MM-DD HH:MM:SS" (UTC) of a FILETIME; "-" for 0.
std::string FormatFileTime(uint64_t fileTime);

// An entry's names from the top level down, joined with a backslash.
std::u16string EntryPath(const GMTocNode& entry);


// Set once Ctrl-C was pressed.
bool Interrupted();
void WatchInterrupt();

// Progress on standard error when it is a terminal (per cent, current file, MB/s),
// silent otherwise; cancels on Ctrl-C either way.
class ConsoleProgress : public GMCompressProgress {
 public:
  explicit ConsoleProgress(const char* verb);
  ~ConsoleProgress() override;
  void OnEntryBegin(const GMTocNode& entry) override;
  void OnSourceFile(const std::u16string& path) override;
  void OnProgress(double overall, double entry) override;
  void OnEnd(bool cancelled) override;
  bool IsCancelled() override;
  // Bytes done so far, for the rate.
  void SetBytes(uint64_t done) { bytes_ = done; }
  void SetTotal(uint64_t total) { total_ = total; }
  // Called on the worker's thread once Ctrl-C was pressed (a reader polls its own flag).
  void OnInterrupted(std::function<void()> cancel) { cancel_ = std::move(cancel); }

 private:
  void Draw(bool force);
  void CheckInterrupt();
  std::function<void()> cancel_;
  const char* verb_;
  bool enabled_;
  std::string current_;
  double overall_ = 0;
  uint64_t bytes_ = 0;
  uint64_t total_ = 0;
  int64_t started_ms_;
  int64_t drawn_ms_ = 0;
  bool drawn_ = false;
};

// "what: reason" for a failed operation, from an error record.
std::string DescribeError(const ErrorInfo& error);

}  // namespace Zavro::gmz
