#include "registry/reg_parser.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "archive/io/file.h"
#include "system/encoding.h"
#include "system/file_types.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

constexpr const char* kLoadFileFailed = "Load file failed";
constexpr const char* kWrongFileFormat = "Wrong file format";
constexpr const char* kValueDataNotFound = "Value data not found for founded value name";
constexpr const char* kKeysListEmpty = "Keys list is empty";

const char16_t kRegedit4[] = u"REGEDIT4";
const char16_t kVersion5[] = u"Windows Registry Editor Version 5.00";

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

bool Contains(const char16_t* begin, const char16_t* end, const std::u16string& word) {
  return std::search(begin, end, word.begin(), word.end()) != end;
}

// A double quote opens or closes a quoted part unless a backslash stands right before
// it; the line's first character has nothing before it.
const char16_t* FindEqualsOutsideQuotes(const char16_t* begin, const char16_t* end) {
  bool quoted = false;
  for (const char16_t* p = begin; p != end; ++p) {
    if (*p == u'"') {
      if (p == begin || p[-1] != u'\\') quoted = !quoted;
    } else if (*p == u'=' && !quoted) {
      return p;
    }
  }
  return nullptr;
}

// The line state machine of Tokenize. A value whose data mentions hex or dword and
// whose line ends in a backslash is continued: later lines are taken whole while they
// end in a backslash, and the first one that does not ends the value.
class LineTokenizer {
 public:
  explicit LineTokenizer(GMResultProcessor& receiver) : receiver_(receiver) {}

  void Line(const char16_t* begin, const char16_t* end) {
    if (hexSeen_ && continued_) {
      ContinuedLine(begin, end);
    } else {
      NormalLine(begin, end);
    }
  }

 private:
  void Reset() {
    hexSeen_ = false;
    continued_ = false;
    dataBegin_ = nullptr;
  }

  void NormalLine(const char16_t* begin, const char16_t* end) {
    while (begin != end && IsBlank(*begin)) ++begin;
    if (begin != end && *begin == u'[' && end[-1] == u']') {
      Reset();
      receiver_.OnKey(begin + 1, end - 1);
      return;
    }
    const char16_t* equals = FindEqualsOutsideQuotes(begin, end);
    if (equals == nullptr) {
      Reset();
      return;
    }
    receiver_.OnValueName(begin, equals);
    hexSeen_ = Contains(equals + 1, end, u"hex") || Contains(equals + 1, end, u"dword");
    if (end[-1] == u'\\') {
      // Without hex-seen the name stays pending and the next line is read normally.
      continued_ = true;
      dataBegin_ = equals + 1;
      return;
    }
    Reset();
    receiver_.OnValueData(equals + 1, end);
  }

  void ContinuedLine(const char16_t* begin, const char16_t* end) {
    if (begin != end && end[-1] == u'\\') return;
    const char16_t* data = dataBegin_;
    Reset();
    receiver_.OnValueData(data, end);
  }

  GMResultProcessor& receiver_;
  bool hexSeen_ = false;
  bool continued_ = false;
  const char16_t* dataBegin_ = nullptr;
};

// "\\" stands for "\" and "\"" for '"', in that order.
void Unescape(std::u16string& text) {
  ReplaceAll(text, u"\\\\", u"\\");
  ReplaceAll(text, u"\\\"", u"\"");
}

// Continuation line breaks, CR, LF and spaces go; tabs stay (and spoil the item they
// open).
void Clean(std::u16string& text) {
  ReplaceAll(text, u"\\\r\n", u"");
  text.erase(
      std::remove_if(text.begin(), text.end(),
                     [](char16_t unit) { return unit == u'\r' || unit == u'\n' || unit == u' '; }),
      text.end());
}

// The comma-separated hexadecimal items of cleaned text, each as its full ParseHex
// value: an empty item between commas is 0, a final comma adds no item.
std::vector<uint32_t> HexItems(const std::u16string& text) {
  std::vector<uint32_t> items;
  std::u16string item;
  for (char16_t unit : text) {
    if (unit == u',') {
      items.push_back(ParseHex(item));
      item.clear();
    } else {
      item.push_back(unit);
    }
  }
  if (!item.empty()) items.push_back(ParseHex(item));
  return items;
}

std::vector<unsigned char> ByteList(std::u16string text) {
  Clean(text);
  std::vector<unsigned char> bytes;
  for (uint32_t item : HexItems(text)) bytes.push_back(static_cast<unsigned char>(item));
  return bytes;
}

std::u16string UnitsOf(const std::vector<unsigned char>& bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  }
  return units;
}

void SetBytes(GMRegValueRecord& value, const std::vector<unsigned char>& bytes) {
  value.bytes = GMBuffer<unsigned char>(static_cast<uint32_t>(bytes.size()));
  if (value.bytes.Capacity() != bytes.size()) throw std::bad_alloc();
  if (!bytes.empty()) std::memcpy(value.bytes.Data(), bytes.data(), bytes.size());
  value.bytes.SetLength(static_cast<uint32_t>(bytes.size()));
}

bool StartsWithText(const std::u16string& text, const char16_t* prefix) {
  return text.compare(0, std::char_traits<char16_t>::length(prefix), prefix) == 0;
}

// hex(N):items with a decimal type number N.
void ParseGenericHex(std::u16string data, GMRegValueRecord& value) {
  Clean(data);
  const size_t colon = data.find(u':');
  const std::u16string head = data.substr(0, colon);
  const size_t open = head.find(u'(');
  std::u16string number;
  if (open != std::u16string::npos) {
    const size_t close = head.find(u')', open + 1);
    number = head.substr(open + 1,
                         close == std::u16string::npos ? std::u16string::npos : close - open - 1);
  }
  value.type = static_cast<uint32_t>(ParseUnsigned(number));
  std::vector<unsigned char> bytes;
  if (colon != std::u16string::npos) bytes = ByteList(data.substr(colon + 1));
  if (HasOwnDataField(value.type)) {
    // These types keep their data in their own fields, which GetData reads; the
    // registry must receive exactly the listed bytes, so what a field cannot give
    // back stays raw. (SetRawData takes a null pointer for "no data".)
    static const unsigned char kNone = 0;
    const unsigned char* listed = bytes.empty() ? &kNone : bytes.data();
    const uint32_t count = static_cast<uint32_t>(bytes.size());
    if (!value.SetRawData(listed, count)) value.KeepRawData(listed, count);
  } else {
    // Type 255 too: in text it is a type like any other, not the record form's
    // delete mark.
    SetBytes(value, bytes);
  }
}

// A dword's digits may be continued over lines: the line breaks and the spaces that
// indent the next line go. Anything else is left for ParseHex, which stops at it.
std::u16string JoinContinuedLines(std::u16string text) {
  for (size_t at = text.find(u"\\\r\n"); at != std::u16string::npos;
       at = text.find(u"\\\r\n", at)) {
    size_t end = at + 3;
    while (end < text.size() && text[end] == u' ') ++end;
    text.erase(at, end - at);
  }
  return text;
}

}  // namespace

bool DecodeRegText(const unsigned char* bytes, size_t count, std::u16string& text) {
  text.clear();
  uint32_t codePage = kCodePageAnsi;
  size_t skip = 0;
  if (count >= 2) {
    const unsigned char first = bytes[0];
    if (first == 0xFF) {
      if (bytes[1] != 0xFE) return false;
      for (size_t i = 2; i + 1 < count; i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
      }
      return true;
    }
    if (first == 0xFE) return false;
    if (first == 0xEF) {
      if (count < 3 || bytes[1] != 0xBB || bytes[2] != 0xBF) return false;
      codePage = kCodePageUtf8;
      skip = 3;
    } else if (first >= 0x7F) {
      return false;
    }
  }
  if (count - skip > static_cast<size_t>(INT_MAX)) return false;
  if (count > skip) {
    text = MultiByteToWide(reinterpret_cast<const char*>(bytes + skip),
                           static_cast<int>(count - skip), codePage);
  }
  return true;
}

uint32_t ReadRegHeader(std::u16string& text) {
  TrimLeft(text, u" \t");
  if (StartsWithText(text, kRegedit4)) {
    text.erase(0, std::char_traits<char16_t>::length(kRegedit4));
    return kRegHeaderRegedit4;
  }
  if (StartsWithText(text, kVersion5)) {
    text.erase(0, std::char_traits<char16_t>::length(kVersion5));
    return kRegHeaderVersion5;
  }
  return 0;
}

void Tokenize(const std::u16string& text, GMResultProcessor& receiver) {
  size_t lineEnd = text.find(u"\r\n");
  if (lineEnd == std::u16string::npos) return;
  LineTokenizer lines(receiver);
  const char16_t* base = text.data();
  size_t start = 0;
  for (;;) {
    lines.Line(base + start, base + lineEnd);
    start = lineEnd + 2;
    if (start >= text.size()) break;
    lineEnd = text.find(u"\r\n", start);
    if (lineEnd == std::u16string::npos) lineEnd = text.size();
  }
}

bool ParseValueText(const std::u16string& data, GMRegValueRecord& value) {
  if (data == u"-") {
    value.deleteMark = true;
    return true;
  }
  if (StartsWithText(data, u"\"")) {
    std::u16string text = data;
    if (text.back() == u'"') text = text.size() >= 2 ? text.substr(1, text.size() - 2) : u"";
    Unescape(text);
    value.type = kRegSz;
    value.text = text;
    return true;
  }
  if (StartsWithText(data, u"hex:")) {
    value.type = kRegBinary;
    SetBytes(value, ByteList(data.substr(4)));
    return true;
  }
  if (StartsWithText(data, u"dword:")) {
    value.type = kRegDword;
    value.dword = ParseHex(JoinContinuedLines(data.substr(6)));
    return true;
  }
  if (StartsWithText(data, u"hex(b):")) {
    value.type = kRegQword;
    std::u16string items = data.substr(7);
    Clean(items);
    const std::vector<uint32_t> numbers = HexItems(items);
    value.qword = 0;
    for (size_t i = 0; i < numbers.size() && i < 8; ++i) {
      value.qword += static_cast<uint64_t>(numbers[i]) << (8 * i);
    }
    return true;
  }
  if (StartsWithText(data, u"hex(2):")) {
    value.type = kRegExpandSz;
    std::u16string units = UnitsOf(ByteList(data.substr(7)));
    // The terminator is the registry's, not part of the text: GetData adds it again.
    if (!units.empty() && units.back() == 0) units.pop_back();
    value.text += units;
    return true;
  }
  if (StartsWithText(data, u"hex(7):")) {
    value.type = kRegMultiSz;
    const std::u16string units = UnitsOf(ByteList(data.substr(7)));
    std::u16string current;
    for (char16_t unit : units) {
      if (unit != 0) {
        current.push_back(unit);
      } else if (!current.empty()) {
        value.strings.push_back(current);
        current.clear();
      }
    }
    value.text += units;
    return true;
  }
  if (StartsWithText(data, u"hex(")) {
    ParseGenericHex(data, value);
    return true;
  }
  value.type = kRegSz;
  value.text.clear();
  return false;
}

void GMRegParser::OnKey(const char16_t* begin, const char16_t* end) {
  GMRegKeyRecord record;
  // A key under an unknown root would land under the default root HKEY_CURRENT_USER:
  // drop it, and its values with it.
  droppingValues_ = !record.ParseKeyName(std::u16string(begin, end));
  if (!droppingValues_) keys_.push_back(std::move(record));
}

void GMRegParser::OnValue(const char16_t* nameBegin, const char16_t* nameEnd,
                          const char16_t* dataBegin, const char16_t* dataEnd) {
  if (droppingValues_) return;
  if (keys_.empty()) throw GMRegTextException(kKeysListEmpty);
  GMRegValueRecord value;
  if (nameEnd - nameBegin >= 2 && *nameBegin == u'"' && nameEnd[-1] == u'"') {
    value.name.assign(nameBegin + 1, nameEnd - 1);
  } else {
    value.name.assign(nameBegin, nameEnd);
  }
  if (value.name == u"@") {
    value.name.clear();
  } else {
    Unescape(value.name);
  }
  ParseValueText(std::u16string(dataBegin, dataEnd), value);
  keys_.back().values.push_back(std::move(value));
}

void GMRegParser::LoadFile(const std::u16string& path) {
  GMFile file;
  uint64_t size = 0;
  if (!file.Open(path, kGenericRead, kFileShareRead, kOpenExisting, kFileAttributeNormal) ||
      !file.GetSize(size) || size == 0 || size > UINT32_MAX - 3) {
    throw std::runtime_error(kLoadFileFailed);
  }
  const uint32_t length = static_cast<uint32_t>(size);
  fileBytes_ = GMBuffer<unsigned char>(length + 3);
  if (fileBytes_.Capacity() != length + 3) throw std::bad_alloc();
  uint32_t done = 0;
  while (done < length) {
    uint32_t read = 0;
    if (!file.Read(fileBytes_.Data() + done, length - done, read) || read == 0) {
      throw std::runtime_error(kLoadFileFailed);
    }
    done += read;
  }
  // Three zero bytes after the text end it in every encoding.
  std::memset(fileBytes_.Data() + length, 0, 3);
  fileBytes_.SetLength(length);
  ParseFileBytes();
}

void GMRegParser::Parse(const unsigned char* bytes, size_t count) {
  if (count > UINT32_MAX - 3) throw std::runtime_error(kWrongFileFormat);
  const uint32_t length = static_cast<uint32_t>(count);
  fileBytes_ = GMBuffer<unsigned char>(length + 3);
  if (fileBytes_.Capacity() != length + 3) throw std::bad_alloc();
  if (length != 0) std::memcpy(fileBytes_.Data(), bytes, length);
  std::memset(fileBytes_.Data() + length, 0, 3);
  fileBytes_.SetLength(length);
  ParseFileBytes();
}

void GMRegParser::ParseFileBytes() {
  std::u16string text;
  if (!DecodeRegText(fileBytes_.Data(), fileBytes_.Length(), text) || ReadRegHeader(text) == 0) {
    throw std::runtime_error(kWrongFileFormat);
  }
  GMRegFileParser tokens(this);
  Tokenize(text, tokens);
}

void GMRegFileParser::OnKey(const char16_t* begin, const char16_t* end) {
  if (!expectingName_) throw GMRegTextException(kValueDataNotFound);
  observer_->OnKey(begin, end);
}

void GMRegFileParser::OnValueName(const char16_t* begin, const char16_t* end) {
  if (!expectingName_) throw GMRegTextException(kValueDataNotFound);
  nameBegin_ = begin;
  nameEnd_ = end;
  expectingName_ = false;
}

void GMRegFileParser::OnValueData(const char16_t* begin, const char16_t* end) {
  if (expectingName_) throw GMRegTextException(kValueDataNotFound);
  expectingName_ = true;
  observer_->OnValue(nameBegin_, nameEnd_, begin, end);
}

}  // namespace Zavro
