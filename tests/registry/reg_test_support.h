// Helpers for the registry tests: registry text, values and record-form bytes made by
// hand, and exception texts.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "archive/io/buffer.h"
#include "registry/reg_parser.h"
#include "registry/reg_records.h"

namespace Zavro::test {

constexpr const char* kVersion5Line = "Windows Registry Editor Version 5.00\r\n";

// UTF-16LE bytes of `text`, after the byte-order mark FF FE.
inline std::string Utf16Le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// UTF-16 registry text: the byte-order mark, the version 5 header, then `lines`.
inline std::string Version5Utf16(const std::u16string& lines) {
  return Utf16Le(u"Windows Registry Editor Version 5.00\r\n" + lines);
}

inline GMBuffer<unsigned char> Buffer(const std::string& bytes) {
  GMBuffer<unsigned char> buffer(static_cast<uint32_t>(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) buffer.Data()[i] = static_cast<unsigned char>(bytes[i]);
  buffer.SetLength(static_cast<uint32_t>(bytes.size()));
  return buffer;
}

inline std::string String(const GMBuffer<unsigned char>& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Length());
}

inline std::string String(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

inline std::deque<GMRegKeyRecord> ParseBytes(const std::string& bytes) {
  GMRegParser parser;
  parser.Parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return parser.Keys();
}

// ANSI registry text of ASCII lines: the version 5 header, then `body`.
inline std::deque<GMRegKeyRecord> ParseAnsi(const std::string& body) { return ParseBytes(kVersion5Line + body); }

// The text of the exception of type E that `f` throws; a note when it throws none.
template <typename E, typename F>
std::string ThrownText(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "<no exception>";
}

inline GMRegValueRecord Value(uint32_t type, const std::u16string& name = u"", const std::u16string& text = u"") {
  GMRegValueRecord value;
  value.type = type;
  value.name = name;
  value.text = text;
  return value;
}

// A value whose data is exactly `bytes` whatever its type (KeepRawData).
inline GMRegValueRecord RawValue(uint32_t type, const std::string& bytes, const std::u16string& name = u"") {
  GMRegValueRecord value = Value(type, name);
  value.KeepRawData(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
  return value;
}

// A key record named by key text such as "HKCU\\T", with `values`.
inline GMRegKeyRecord Key(const std::u16string& name, const std::vector<GMRegValueRecord>& values = {}) {
  GMRegKeyRecord key;
  key.ParseKeyName(name);
  key.values = values;
  return key;
}

// Record-form bytes written field by field.
class FormBytes {
 public:
  FormBytes& U16(uint32_t value) { return Int(value, 2); }
  FormBytes& U32(uint32_t value) { return Int(value, 4); }
  // Length in units, then the units.
  FormBytes& Text(const std::u16string& text) {
    U32(static_cast<uint32_t>(text.size()));
    for (char16_t unit : text) U16(unit);
    return *this;
  }
  FormBytes& Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  // Byte count, then the bytes.
  FormBytes& Block(const FormBytes& block) {
    U32(static_cast<uint32_t>(block.bytes_.size()));
    return Raw(block.bytes_);
  }
  // A value: name, type, data byte count and data.
  FormBytes& Value(const std::u16string& name, uint32_t type, const std::string& data) {
    return Text(name).U16(type).U32(static_cast<uint32_t>(data.size())).Raw(data);
  }
  const std::string& str() const { return bytes_; }
  size_t size() const { return bytes_.size(); }

 private:
  FormBytes& Int(uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) bytes_.push_back(static_cast<char>(value >> (8 * i)));
    return *this;
  }

  std::string bytes_;
};

}  // namespace Zavro::test
