// Registry text out of key records: the inverse of GMRegParser, in the form that the
// system's registry editor imports too (a backslash in a quoted string is written
// "\\", a double quote "\""). What the writer writes, the parser reads back as the
// same records; what registry text cannot carry is refused with std::invalid_argument
// "保存注册表值出错" (kRegSaveValueFailed; held, like "写入文件出错", as code page 936
// bytes) instead of being written wrongly:
//   - a REG_DWORD_BIG_ENDIAN value (there is no text form for it);
//   - a REG_QWORD whose data is kept raw (not 8 bytes): no hex(N): number means
//     type 11 both to the parser (decimal) and to the registry editor (hexadecimal);
//   - a key whose root is not in the root table, or whose path holds CR LF;
//   - a value name that holds CR LF, ends in a backslash, or is "@" (the default
//     value's mark);
//   - REG_SZ text with CR LF, unless it reads as a continued value: its first line
//     holds "hex" or "dword" and a backslash precedes every CR LF;
//   - a REG_MULTI_SZ string holding a NUL.
// Empty strings of a REG_MULTI_SZ are left out: the text form has none. Other data
// kept raw (GMRegValueRecord::rawData) is written as its bytes in the hex(N): form:
// hex(1):, hex(02):, hex(4): and hex(07):.
#pragma once

#include <cstdint>
#include <string>

#include "archive/io/base_file.h"
#include "archive/io/buffer.h"
#include "registry/reg_parser.h"
#include "registry/reg_records.h"

namespace Zavro {

// Writes lines of UTF-16 text as UTF-16LE (wide) or in the ANSI code page, with "_"
// for what the code page cannot represent.
class GMTextLineWriter {
 public:
  // Lines are appended to `buffer`; a wide writer first makes the buffer hold just the
  // byte-order mark FF FE. The buffer grows to 1.5 times what a line needs when the
  // line would reach its capacity.
  GMTextLineWriter(GMBuffer<unsigned char>& buffer, bool wide);
  // Lines are written to `file`; a wide writer first writes the byte-order mark.
  GMTextLineWriter(GMBaseFile& file, bool wide);

  // Writes `text`, then CR LF with `addLineEnd`. A failing file write throws
  // std::runtime_error "写入文件出错".
  void WriteLine(const std::u16string& text, bool addLineEnd);

 private:
  void Append(const unsigned char* bytes, size_t count);
  void AppendText(const std::u16string& text);

  GMBaseFile* file_ = nullptr;
  bool wide_;
  std::u16string lineEnd_ = u"\r\n";
  bool toMemory_;
  GMBuffer<unsigned char>* buffer_ = nullptr;
};

// Writes registry text: the header line at construction, then key records.
class GMRegTextWriter {
 public:
  // `header` is kRegHeaderRegedit4 or kRegHeaderVersion5.
  explicit GMRegTextWriter(GMBuffer<unsigned char>& buffer, bool wide = true,
                           uint32_t header = kRegHeaderVersion5);
  explicit GMRegTextWriter(GMBaseFile& file, bool wide = true,
                           uint32_t header = kRegHeaderVersion5);

  // The key line ("[-name]" for a key to delete, and nothing more for it), one line
  // per value, an empty line, then the sub keys the same way.
  void WriteKeyText(const GMRegKeyRecord& record);

  // The text after "=" for one value; false for a value that has none (type 5, and a
  // raw qword).
  static bool ValueText(const GMRegValueRecord& value, std::u16string& text);

 private:
  void WriteHeader();

  GMTextLineWriter writer_;
  uint32_t header_;
};

// Combines two registry texts in any encoding the parser reads: `target` becomes
// UTF-16 text with the records of `target` followed by those of `source`. An empty
// `source` changes nothing; an empty `target` becomes a copy of `source`. Parse errors
// propagate as GMRegParser's exceptions, and records text cannot carry as the writer's.
void MergeRegText(const GMBuffer<unsigned char>& source, GMBuffer<unsigned char>& target);

}  // namespace Zavro
