#include "tools/gmz/tool_support.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "archive/io/file.h"
#include "system/error_message.h"
#include "system/encoding.h"
#include "system/system_error.h"
#include "tools/gmz/console.h"

namespace Zavro::gmz {

namespace {

std::atomic<bool> g_interrupted{false};

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool ParseMethod(const std::string& text, uint32_t& method) {
  if (text == "store" || text == "0") method = 0;
  else if (text == "zip" || text == "1") method = 1;
  else if (text == "lzma" || text == "2") method = 2;
  else if (text == "solid" || text == "3") method = 3;
  else return false;
  return true;
}

const char* MethodName(uint32_t method) {
  switch (method) {
    case 0: return "store";
    case 1: return "zip";
    case 2: return "lzma";
    case 3: return "solid";
    default: return "?";
  }
}

std::string Hex(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

std::string FormatFileTime(uint64_t fileTime) {
  if (fileTime == 0) return "-";
  int64_t seconds = static_cast<int64_t>(fileTime / 10000000ULL) - 11644473600LL;
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t rest = seconds - days * 86400;
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

std::u16string EntryPath(const GMTocNode& entry) {
  std::u16string path = entry.name;
  for (const GMTocNode* p = entry.Parent(); p != nullptr && p->Parent() != nullptr; p = p->Parent()) {
    path = p->name + u"\\" + path;
  }
  return path;
}

bool Interrupted() { return g_interrupted.load(); }

void WatchInterrupt() {
  OnInterrupt([] { g_interrupted.store(true); });
}

ConsoleProgress::ConsoleProgress(const char* verb)
    : verb_(verb), enabled_(IsTerminal(stderr)), started_ms_(NowMs()) {}

ConsoleProgress::~ConsoleProgress() = default;

void ConsoleProgress::CheckInterrupt() {
  if (cancel_ && Interrupted()) {
    auto cancel = std::move(cancel_);
    cancel_ = nullptr;
    cancel();
  }
}

void ConsoleProgress::OnEntryBegin(const GMTocNode& entry) {
  CheckInterrupt();
  if (!entry.IsDirectory()) current_ = ToUtf8(entry.name.empty() ? u"-" : entry.name);
}

void ConsoleProgress::OnSourceFile(const std::u16string& path) {
  const size_t cut = path.find_last_of(u"\\/");
  current_ = ToUtf8(cut == std::u16string::npos ? path : path.substr(cut + 1));
  Draw(false);
}

void ConsoleProgress::OnProgress(double overall, double) {
  CheckInterrupt();
  overall_ = overall;
  bytes_ = static_cast<uint64_t>(overall / 100.0 * static_cast<double>(total_));
  Draw(false);
}

void ConsoleProgress::OnEnd(bool cancelled) {
  if (!enabled_ || !drawn_) return;
  if (!cancelled) {
    overall_ = 100;
    bytes_ = total_;
    Draw(true);
  }
  std::fputc('\n', stderr);
}

bool ConsoleProgress::IsCancelled() { return Interrupted() || GMCompressProgress::IsCancelled(); }

void ConsoleProgress::Draw(bool force) {
  if (!enabled_) return;
  const int64_t now = NowMs();
  if (!force && drawn_ && now - drawn_ms_ < 100) return;
  drawn_ms_ = now;
  drawn_ = true;
  const double seconds = static_cast<double>(now - started_ms_) / 1000.0;
  const double rate = seconds > 0 ? static_cast<double>(bytes_) / 1e6 / seconds : 0.0;
  std::string name = current_;
  if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
  std::fprintf(stderr, "\r%s %5.1f%%  %7.1f MB/s  %-40s", verb_, overall_, rate, name.c_str());
  std::fflush(stderr);
}

std::string DescribeError(const ErrorInfo& error) {
  // A file's path is shown as the user writes paths; a registry key keeps its backslashes.
  if (error.Category() != kErrorCategoryFile) return ToUtf8(FormatErrorMessage(error));
  ErrorInfo shown = error;
  shown.text = FromCodePage(PathForDisplay(error.Subject()), kCodePageUtf8);
  return ToUtf8(FormatErrorMessage(shown));
}

}  // namespace Zavro::gmz
