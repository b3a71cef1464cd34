// Registry text ("##reg##.reg") into key records.
//
// The text is ANSI (system code page), UTF-8 with its mark EF BB BF, or UTF-16LE with
// its mark FF FE; a mark of UTF-16BE or any other first byte of 0x7F or more is
// refused. After leading blanks it begins with "REGEDIT4" or "Windows Registry Editor
// Version 5.00" (case-sensitive). The grammar is this system's own:
//   - lines end only at CR LF; text without any CR LF holds no lines;
//   - "[name]" after leading blanks is a key line; a key name is parsed by
//     GMRegKeyRecord::ParseKeyName, and a key whose root is not in the root table is
//     dropped together with the values that follow it, up to the next key line;
//   - a value line is "name=data", split at the first "=" outside double quotes;
//     a line with no such "=" (blank, comment, anything else) is skipped;
//   - a value whose data holds "hex" or "dword" continues over the following lines
//     while they end in a backslash;
//   - data forms: "-" (delete), "string", hex:, dword:, hex(b):, hex(2):, hex(7):,
//     and hex(N): with a decimal type number N; anything else is an empty REG_SZ.
//   - hex(N): gives the value exactly the listed bytes, as the registry receives them,
//     whatever N is (the exact spellings hex(2):, hex(7): and hex(b): are the forms
//     above; hex(02): or hex(11): is this one). For the types with a field of their
//     own (1, 2, 4, 5, 7, 11) the bytes go through GMRegValueRecord::SetRawData, and
//     what that field cannot give back (text without a final NUL unit, a dword of
//     other than 4 bytes, ...) stays raw: hex(4): with two bytes is a REG_DWORD of
//     those two bytes, as the system's registry editor stores it, never a dword of 0.
//
// Failures are exceptions, and records appended before one stay in the key list:
//   std::runtime_error "Load file failed"  the file cannot be opened, is empty or
//                                          cannot be read whole;
//   std::runtime_error "Wrong file format" refused mark or no header;
//   GMRegTextException "Value data not found for founded value name"  a key or value
//                                          line while a value name waits for its data;
//   GMRegTextException "Keys list is empty"  a value line before the first key line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <string>

#include "archive/io/buffer.h"
#include "registry/reg_records.h"

namespace Zavro {

// A std::exception that carries a text; what the tokenizer's receivers throw.
class GMRegTextException : public std::exception {
 public:
  explicit GMRegTextException(const char* text) : text_(text) {}
  const char* what() const noexcept override { return text_; }

 private:
  const char* text_;
};

// Receives the keys and values of registry text. Pointers point into the text given
// to Tokenize (not a copy); `end` is one past the last unit.
class GMRegFileObserver {
 public:
  virtual ~GMRegFileObserver() = default;
  virtual void OnKey(const char16_t* begin, const char16_t* end) = 0;
  virtual void OnValue(const char16_t* nameBegin, const char16_t* nameEnd,
                       const char16_t* dataBegin, const char16_t* dataEnd) = 0;
};

// Turns registry text into an ordered list of key records.
class GMRegParser : public GMRegFileObserver {
 public:
  GMRegParser() = default;
  ~GMRegParser() override = default;
  GMRegParser(const GMRegParser&) = delete;
  GMRegParser& operator=(const GMRegParser&) = delete;

  // Appends a record for a key line.
  void OnKey(const char16_t* begin, const char16_t* end) override;
  // Appends a value to the key added last. A quoted name loses its quotes, "@" is the
  // default value, and "\\" and "\"" in a name stand for "\" and '"'.
  void OnValue(const char16_t* nameBegin, const char16_t* nameEnd, const char16_t* dataBegin,
               const char16_t* dataEnd) override;

  // Reads the whole file at `path` and parses it.
  void LoadFile(const std::u16string& path);
  // Parses registry text bytes. A second call appends its records to the first's.
  void Parse(const unsigned char* bytes, size_t count);
  void Parse(const GMBuffer<unsigned char>& bytes) { Parse(bytes.Data(), bytes.Length()); }

  // The key records in file order; callers may take them.
  std::deque<GMRegKeyRecord>& Keys() { return keys_; }
  const std::deque<GMRegKeyRecord>& Keys() const { return keys_; }

 private:
  void ParseFileBytes();

  GMBuffer<unsigned char> fileBytes_;
  std::deque<GMRegKeyRecord> keys_;
  // Set after a key line with an unknown root: its values are dropped.
  bool droppingValues_ = false;
};

// Receives the tokens of registry text in order. Ranges are as for GMRegFileObserver.
class GMResultProcessor {
 public:
  virtual void OnKey(const char16_t* begin, const char16_t* end) = 0;
  virtual void OnValueName(const char16_t* begin, const char16_t* end) = 0;
  virtual void OnValueData(const char16_t* begin, const char16_t* end) = 0;

 protected:
  ~GMResultProcessor() = default;
};

// Pairs value names with their data and hands keys and values to a parser. Lives for
// one Tokenize run.
class GMRegFileParser : public GMResultProcessor {
 public:
  explicit GMRegFileParser(GMRegFileObserver* observer) : observer_(observer) {}

  // Each throws "Value data not found for founded value name" when called out of turn:
  // OnKey and OnValueName while a name waits for its data, OnValueData when none does.
  void OnKey(const char16_t* begin, const char16_t* end) override;
  void OnValueName(const char16_t* begin, const char16_t* end) override;
  void OnValueData(const char16_t* begin, const char16_t* end) override;

 private:
  const char16_t* nameBegin_ = nullptr;
  const char16_t* nameEnd_ = nullptr;
  GMRegFileObserver* observer_;
  bool expectingName_ = true;
};

// Header numbers of ReadRegHeader and the text writer.
constexpr uint32_t kRegHeaderRegedit4 = 1;
constexpr uint32_t kRegHeaderVersion5 = 2;

// Decodes registry text bytes by their first bytes (see above). False, with an empty
// text, when the encoding is refused. UTF-16LE drops an odd last byte; ANSI and UTF-8
// text ends at its first NUL.
bool DecodeRegText(const unsigned char* bytes, size_t count, std::u16string& text);

// Removes leading blanks and the header: 1 for "REGEDIT4", 2 for "Windows Registry
// Editor Version 5.00", 0 (text without its blanks) for neither. What follows the
// header on its line stays as the first line.
uint32_t ReadRegHeader(std::u16string& text);

// Cuts text after its header into key lines and values for `receiver`.
void Tokenize(const std::u16string& text, GMResultProcessor& receiver);

// Sets type and data of `value` from the data text of a value line. False when the
// text matches no form; the value is then an empty REG_SZ. "hex(2):" data does not
// keep a final NUL unit (the registry's terminator, which GetData adds back); dword
// digits may go on over continued lines.
bool ParseValueText(const std::u16string& data, GMRegValueRecord& value);

}  // namespace Zavro
