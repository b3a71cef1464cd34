#include "registry/reg_text_writer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "system/encoding.h"
#include "system/string_utils.h"
#include "system/format.h"

namespace Zavro {

namespace {

// "写入文件出错" in code page 936, as callers expect it.
constexpr const char* kWriteFileFailed = "\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED";

const char16_t kCrLf[] = u"\r\n";

[[noreturn]] void Refuse() { throw std::invalid_argument(kRegSaveValueFailed); }

bool HasCrLf(const std::u16string& text) { return text.find(kCrLf) != std::u16string::npos; }

// As the system's registry editor reads a quoted string: a backslash as "\\" and a
// double quote as "\"".
std::u16string Escape(std::u16string text) {
  ReplaceAll(text, u"\\", u"\\\\");
  ReplaceAll(text, u"\"", u"\\\"");
  return text;
}

// A string value line is cut at each CR LF in it; it reads back whole only as a
// continued value.
bool StringFitsText(const std::u16string& text) {
  size_t lineEnd = text.find(kCrLf);
  if (lineEnd == std::u16string::npos) return true;
  const std::u16string firstLine = text.substr(0, lineEnd);
  if (firstLine.find(u"hex") == std::u16string::npos &&
      firstLine.find(u"dword") == std::u16string::npos) {
    return false;
  }
  for (; lineEnd != std::u16string::npos; lineEnd = text.find(kCrLf, lineEnd + 2)) {
    if (lineEnd == 0 || text[lineEnd - 1] != u'\\') return false;
  }
  return true;
}

void CheckName(const std::u16string& name) {
  if (name == u"@" || HasCrLf(name) || (!name.empty() && name.back() == u'\\')) Refuse();
}

void AppendByteItems(std::u16string& out, const unsigned char* bytes, size_t count) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) out.push_back(u',');
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0xF]);
  }
}

void AppendByteItems(std::u16string& out, const std::vector<unsigned char>& bytes) {
  AppendByteItems(out, bytes.data(), bytes.size());
}

std::vector<unsigned char> UnitBytes(const std::u16string& text) {
  std::vector<unsigned char> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>(unit >> 8));
  }
  return bytes;
}

std::u16string MultiStringText(const std::vector<std::u16string>& strings) {
  std::u16string out = u"hex(7):";
  bool written = false;
  for (const std::u16string& s : strings) {
    if (s.empty()) continue;
    if (s.find(u'\0') != std::u16string::npos) Refuse();
    if (written) out.push_back(u',');
    for (unsigned char byte : UnitBytes(s)) {
      AppendByteItems(out, &byte, 1);
      out.push_back(u',');
    }
    out += u"00,00";
    written = true;
  }
  if (written) out.push_back(u',');
  out += u"00,00";
  return out;
}

// Data that a typed value keeps raw, in the hex(N): form with a type number that this
// system's parser and the registry editor (which reads N as hexadecimal) both read
// alike and that none of the hex(2):, hex(7): and hex(b): forms takes. A qword has no
// such number (hex(11): is type 17 to the editor), and REG_DWORD_BIG_ENDIAN no text.
bool RawValueText(const GMRegValueRecord& value, std::u16string& text) {
  switch (value.type) {
    case kRegSz:
      text = u"hex(1):";
      break;
    case kRegExpandSz:
      text = u"hex(02):";
      break;
    case kRegDword:
      text = u"hex(4):";
      break;
    case kRegMultiSz:
      text = u"hex(07):";
      break;
    default:
      return false;
  }
  AppendByteItems(text, value.bytes.Data(), value.bytes.Length());
  return true;
}

}  // namespace

GMTextLineWriter::GMTextLineWriter(GMBuffer<unsigned char>& buffer, bool wide)
    : wide_(wide), toMemory_(true), buffer_(&buffer) {
  if (!wide_) return;
  buffer_->Resize(2);
  if (buffer_->Capacity() != 2) throw std::bad_alloc();
  buffer_->Data()[0] = 0xFF;
  buffer_->Data()[1] = 0xFE;
  buffer_->SetLength(2);
}

GMTextLineWriter::GMTextLineWriter(GMBaseFile& file, bool wide)
    : file_(&file), wide_(wide), toMemory_(false) {
  static const unsigned char kMark[] = {0xFF, 0xFE};
  if (wide_) Append(kMark, sizeof kMark);
}

void GMTextLineWriter::WriteLine(const std::u16string& text, bool addLineEnd) {
  AppendText(text);
  if (addLineEnd) AppendText(lineEnd_);
}

void GMTextLineWriter::AppendText(const std::u16string& text) {
  if (wide_) {
    const std::vector<unsigned char> bytes = UnitBytes(text);
    Append(bytes.data(), bytes.size());
  } else if (!text.empty()) {
    const std::string bytes = WideToMultiByte(text, kCodePageAnsi, '_');
    Append(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  }
}

void GMTextLineWriter::Append(const unsigned char* bytes, size_t count) {
  if (count == 0) return;
  if (!toMemory_) {
    uint32_t written = 0;
    if (count > UINT32_MAX || !file_->Write(bytes, static_cast<uint32_t>(count), written)) {
      throw std::runtime_error(kWriteFileFailed);
    }
    return;
  }
  const uint64_t length = buffer_->Length();
  const uint64_t needed = length + count;
  if (needed >= buffer_->Capacity()) {
    const uint64_t capacity = std::max(needed * 3 / 2, needed);
    if (capacity > UINT32_MAX) throw std::length_error("registry text too large");
    buffer_->Resize(static_cast<uint32_t>(capacity));
    if (buffer_->Capacity() != capacity) throw std::bad_alloc();
  }
  std::memcpy(buffer_->Data() + length, bytes, count);
  buffer_->SetLength(static_cast<uint32_t>(needed));
}

GMRegTextWriter::GMRegTextWriter(GMBuffer<unsigned char>& buffer, bool wide, uint32_t header)
    : writer_(buffer, wide), header_(header) {
  WriteHeader();
}

GMRegTextWriter::GMRegTextWriter(GMBaseFile& file, bool wide, uint32_t header)
    : writer_(file, wide), header_(header) {
  WriteHeader();
}

void GMRegTextWriter::WriteHeader() {
  writer_.WriteLine(
      header_ == kRegHeaderRegedit4 ? u"REGEDIT4" : u"Windows Registry Editor Version 5.00", true);
}

bool GMRegTextWriter::ValueText(const GMRegValueRecord& value, std::u16string& text) {
  if (value.deleteMark) {
    text = u"-";
    return true;
  }
  // Raw data of a type with a field of its own; for the others the bytes field is
  // their own anyway.
  if (value.rawData && HasOwnDataField(value.type)) return RawValueText(value, text);
  switch (value.type) {
    case kRegNone:
      text = u"hex(0):";
      AppendByteItems(text, value.bytes.Data(), value.bytes.Length());
      return true;
    case kRegSz:
      text = u"\"" + Escape(value.text) + u"\"";
      return true;
    case kRegExpandSz:
      text = u"hex(2):";
      AppendByteItems(text, UnitBytes(value.text));
      text += value.text.empty() ? u"00,00" : u",00,00";
      return true;
    case kRegBinary:
      text = u"hex:";
      AppendByteItems(text, value.bytes.Data(), value.bytes.Length());
      return true;
    case kRegDword:
      text = u"dword:" + ToHex8(value.dword);
      return true;
    case kRegDwordBigEndian:
      return false;
    case kRegMultiSz:
      text = MultiStringText(value.strings);
      return true;
    case kRegQword:
      text = u"hex(b):";
      AppendByteItems(text, value.GetData());
      return true;
    default:
      // Unsigned: a type of 2^31 or more must read back as itself.
      text = FormatString(u"hex(%u):", value.type);
      AppendByteItems(text, value.bytes.Data(), value.bytes.Length());
      return true;
  }
}

void GMRegTextWriter::WriteKeyText(const GMRegKeyRecord& record) {
  const std::u16string name = record.FullKeyName(true);
  if (name.empty() || HasCrLf(record.path)) Refuse();
  writer_.WriteLine(u"[" + name + u"]", true);
  if (record.deleteMark) return;
  for (const GMRegValueRecord& value : record.values) {
    CheckName(value.name);
    std::u16string line = value.name.empty() ? u"@" : u"\"" + Escape(value.name) + u"\"";
    line += u"=";
    std::u16string data;
    if (value.deleteMark) {
      data = u"-";
    } else if (!ValueText(value, data) || (value.type == kRegSz && !StringFitsText(value.text))) {
      Refuse();
    }
    writer_.WriteLine(line + data, true);
  }
  writer_.WriteLine(u"", true);
  for (const GMRegKeyRecord& sub : record.subKeys) WriteKeyText(sub);
}

void MergeRegText(const GMBuffer<unsigned char>& source, GMBuffer<unsigned char>& target) {
  if (source.Length() == 0) return;
  if (target.Length() == 0) {
    target = source;
    return;
  }
  GMBuffer<unsigned char> merged;
  GMRegTextWriter writer(merged);
  const GMBuffer<unsigned char>* texts[] = {&target, &source};
  for (const GMBuffer<unsigned char>* text : texts) {
    GMRegParser parser;
    parser.Parse(*text);
    for (const GMRegKeyRecord& key : parser.Keys()) writer.WriteKeyText(key);
  }
  target = std::move(merged);
}

}  // namespace Zavro
