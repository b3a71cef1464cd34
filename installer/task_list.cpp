#include "installer/task_list.h"

#include <iterator>

#include "archive/io/file.h"
#include "installer/serial_form.h"
#include "system/encoding.h"
#include "system/path_text.h"

namespace Zavro {

namespace {

const char16_t kBlanks[] = u" \r\t\n";

void AppendLines(const std::u16string& raw, std::vector<std::u16string>& lines) {
  // CR LF is one line end, and so is a CR alone.
  std::u16string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != u'\r') {
      text.push_back(raw[i]);
    } else if (i + 1 == raw.size() || raw[i + 1] != u'\n') {
      text.push_back(u'\n');
    }
  }
  size_t start = 0;
  while (start < text.size()) {
    start = text.find_first_not_of(kBlanks, start);
    // Only blanks after the last line end: one more, empty, line.
    if (start == std::u16string::npos) {
      lines.emplace_back();
      break;
    }
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string line = text.substr(start, end - start);
    const size_t last = line.find_last_not_of(kBlanks);
    line.resize(last == std::u16string::npos ? 0 : last + 1);
    lines.push_back(std::move(line));
    start = end + 1;
  }
}

}  // namespace

bool ParseTaskFile(const unsigned char* data, size_t size, std::vector<std::u16string>& lines) {
  if (size == 0 || size > kMaxTaskFileSize) return false;
  std::u16string text;
  if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) return false;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    for (size_t i = 2; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  } else {
    text = MultiByteToWide(reinterpret_cast<const char*>(data), static_cast<int>(size), kCodePageAnsi);
  }
  AppendLines(text, lines);
  return true;
}

bool ReadTaskFile(const std::u16string& path, std::vector<std::u16string>& lines) {
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, bytes, kMaxTaskFileSize) || bytes.empty()) return false;
  return ParseTaskFile(bytes.data(), bytes.size(), lines);
}

std::vector<unsigned char> SerializeTaskList(const std::vector<std::u16string>& lines) {
  std::vector<unsigned char> out;
  PutU32(out, static_cast<uint32_t>(lines.size()));
  for (const std::u16string& line : lines) PutText(out, line);
  return out;
}

bool ParseTaskList(const unsigned char* data, size_t size, std::vector<std::u16string>& lines) {
  ByteReader in(data, size);
  uint32_t count = 0;
  if (!in.Count(count, 4)) return false;
  std::vector<std::u16string> read;
  for (uint32_t i = 0; i < count; ++i) {
    std::u16string line;
    if (!in.Text(line)) return false;
    read.push_back(std::move(line));
  }
  lines.insert(lines.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
  return true;
}

void SplitTaskLine(const std::u16string& line, std::u16string& verb, std::u16string& arguments) {
  const size_t space = line.find(u' ');
  verb = line.substr(0, space);
  arguments = space == std::u16string::npos ? std::u16string() : line.substr(space + 1);
}

std::u16string Unquote(const std::u16string& argument) {
  std::u16string text = argument;
  NormalizePath(text, PathUnquote);
  return text;
}

void InsertWorkingFolder(std::vector<std::u16string>& lines, std::u16string folder) {
  if (folder.empty() || folder.back() != u'\\') folder.push_back(u'\\');
  for (std::u16string& line : lines) {
    size_t at = std::u16string::npos;
    if (line.compare(0, 8, u"runcheck") == 0) {
      const size_t first = line.find(u' ');
      at = first == std::u16string::npos ? first : line.find(u' ', first + 1);
    } else if (line.compare(0, 3, u"run") == 0) {
      at = line.find(u' ');
    } else {
      continue;
    }
    line.insert(at == std::u16string::npos ? 0 : at + 1, folder);
  }
}

void SplitArguments(const std::u16string& line, std::vector<std::u16string>& list) {
  list.clear();
  std::u16string token;
  bool inToken = false;
  bool quoted = false;
  auto finish = [&] {
    if (!token.empty()) list.push_back(token);
    token.clear();
    inToken = false;
  };
  for (const char16_t unit : line) {
    if (!inToken) {
      if (unit == u' ') continue;
      token.push_back(unit);
      inToken = true;
      quoted = unit == u'"';
    } else if (quoted) {
      token.push_back(unit);
      if (unit == u'"') finish();
    } else if (unit == u' ') {
      finish();
    } else {
      token.push_back(unit);
    }
  }
  if (inToken) finish();
}

}  // namespace Zavro
