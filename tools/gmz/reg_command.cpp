// gmz reg parse | convert | merge | apply: registry text (".reg") and the registry record form
// (".bin"), told apart by the file extension.
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "archive/io/buffer.h"
#include "archive/io/file.h"
#include "registry/reg_parser.h"
#include "registry/reg_record_form.h"
#include "registry/reg_records.h"
#include "registry/reg_text_writer.h"
#include "system/encoding.h"
#include "system/string_utils.h"
#include "system/format.h"
#include "system/system_error.h"
#include "tools/gmz/commands.h"
#include "tools/gmz/console.h"
#include "tools/gmz/reg_apply.h"
#include "tools/gmz/reg_display.h"

namespace Zavro::gmz {

namespace {

using Records = std::deque<GMRegKeyRecord>;

// A failure already reported on standard error; carries the exit status.
struct Reported {
  int status;
};

bool IsRecordForm(const std::u16string& path) { return EndsWithNoCase(path, u".bin"); }

[[noreturn]] void FailWithSystemError(const std::u16string& what, const std::u16string& path) {
  const uint32_t code = LastSystemError();
  throw Reported{Fail(ToUtf8(what) + " " + PathForDisplay(path) + ": " + ToUtf8(SystemErrorMessage(code)))};
}

void ReadWholeFile(const std::u16string& path, GMBuffer<unsigned char>& bytes) {
  std::vector<unsigned char> read;
  if (!Zavro::ReadWholeFile(path, read, UINT32_MAX - 3)) FailWithSystemError(u"cannot read", path);
  bytes = BufferOf(read);
  if (bytes.Length() != read.size()) {
    SetLastSystemError(kErrorNotEnoughMemory);
    FailWithSystemError(u"cannot read", path);
  }
}

void WriteWholeFile(const std::u16string& path, const GMBuffer<unsigned char>& bytes) {
  GMFile file;
  uint32_t written = 0;
  if (!file.Open(path, kGenericWrite, 0, kCreateAlways, kFileAttributeNormal) ||
      !file.Write(bytes.Data(), bytes.Length(), written) || !file.Close()) {
    FailWithSystemError(u"cannot write", path);
  }
}

Records ReadRecordFile(const std::u16string& path) {
  Records records;
  if (IsRecordForm(path)) {
    GMBuffer<unsigned char> bytes;
    ReadWholeFile(path, bytes);
    if (!ReadRecords(bytes, records)) {
      throw Reported{Fail("malformed registry records: " + PathForDisplay(path))};
    }
  } else {
    GMRegParser parser;
    parser.LoadFile(path);
    records = std::move(parser.Keys());
  }
  return records;
}

// UTF-8 for JSON, keeping NUL units (which ToUtf8 would end at); a lone surrogate
// becomes U+FFFD.
std::string JsonText(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | c >> 12));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | c >> 18));
      out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string LowerHex(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : bytes) {
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0xF]);
  }
  return out;
}

nlohmann::ordered_json KeyJson(const GMRegKeyRecord& key) {
  const char16_t* root = RegRootNameOf(key.root);
  nlohmann::ordered_json values = nlohmann::ordered_json::array();
  for (const GMRegValueRecord& value : key.values) {
    values.push_back({{"name", JsonText(value.name)},
                      {"type", value.type},
                      {"delete", value.deleteMark},
                      {"data", LowerHex(value.GetData())}});
  }
  nlohmann::ordered_json subKeys = nlohmann::ordered_json::array();
  for (const GMRegKeyRecord& sub : key.subKeys) subKeys.push_back(KeyJson(sub));
  return {{"root", JsonText(root != nullptr ? root : u"")},
          {"path", JsonText(key.path)},
          {"delete", key.deleteMark},
          {"values", values},
          {"subkeys", subKeys}};
}

std::u16string TypeName(uint32_t type) {
  switch (type) {
    case kRegNone:
      return u"REG_NONE";
    case kRegSz:
      return u"REG_SZ";
    case kRegExpandSz:
      return u"REG_EXPAND_SZ";
    case kRegBinary:
      return u"REG_BINARY";
    case kRegDword:
      return u"REG_DWORD";
    case kRegDwordBigEndian:
      return u"REG_DWORD_BIG_ENDIAN";
    case kRegLink:
      return u"REG_LINK";
    case kRegMultiSz:
      return u"REG_MULTI_SZ";
    case kRegQword:
      return u"REG_QWORD";
    default:
      return FormatString(u"type %u", type);
  }
}

// Quoted, with quotes, backslashes and control characters escaped so that each
// value stays on its line.
std::u16string Quoted(const std::u16string& text) {
  std::u16string out = u"\"";
  for (char16_t unit : text) {
    if (unit == u'"' || unit == u'\\') {
      out.push_back(u'\\');
      out.push_back(unit);
    } else if (unit < 0x20) {
      out += FormatString(u"\\x%02X", static_cast<uint32_t>(unit));
    } else {
      out.push_back(unit);
    }
  }
  return out + u"\"";
}

std::u16string ValueDisplay(const GMRegValueRecord& value) {
  if (value.deleteMark) return u"delete";
  std::u16string data;
  // Data kept raw is shown as its bytes, whatever the type.
  switch (value.rawData ? kRegBinary : value.type) {
    case kRegSz:
    case kRegExpandSz:
      data = Quoted(value.text);
      break;
    case kRegDword:
    case kRegDwordBigEndian:
      data = FormatString(u"0x%08x (%u)", value.dword, value.dword);
      break;
    case kRegQword:
      data = FormatString(u"0x%016llx", value.qword);
      break;
    case kRegMultiSz:
      for (const std::u16string& s : value.strings) {
        data += (data.empty() ? u"" : u", ") + Quoted(s);
      }
      break;
    default:
      for (unsigned char byte : value.GetData()) {
        data += FormatString(data.empty() ? u"%02x" : u" %02x", static_cast<uint32_t>(byte));
      }
      break;
  }
  return TypeName(value.type) + u" " + data;
}

void PrintKey(const GMRegKeyRecord& key, const std::u16string& indent) {
  std::u16string text = indent + u"[" + key.FullKeyName(true) + u"]\n";
  for (const GMRegValueRecord& value : key.values) {
    text += indent + u"  " + (value.name.empty() ? u"@" : Quoted(value.name)) + u" = " +
            ValueDisplay(value) + u"\n";
  }
  Print(stdout, text);
  for (const GMRegKeyRecord& sub : key.subKeys) PrintKey(sub, indent + u"  ");
}

// Why the record form cannot hold `value`.
std::u16string UnheldReason(const GMRegValueRecord& value) {
  if (value.type == kRegDeletedValue) return u"type 255 is the record form's delete mark";
  return FormatString(u"type %u does not fit in 16 bits", value.type);
}

// Names the first value below `key` that the record form cannot hold; false for none.
bool FindUnheldValue(const GMRegKeyRecord& key, std::u16string& message) {
  for (const GMRegValueRecord& value : key.values) {
    if (RecordFormHolds(value)) continue;
    message = u"value " + (value.name.empty() ? u"@" : Quoted(value.name)) + u" of [" +
              key.FullKeyName(false) + u"]: " + UnheldReason(value);
    return true;
  }
  for (const GMRegKeyRecord& sub : key.subKeys) {
    if (FindUnheldValue(sub, message)) return true;
  }
  return false;
}

// Registry text as UTF-16 with byte-order mark, or the record form, by extension.
void WriteRecordFile(const std::u16string& path, const Records& records) {
  GMBuffer<unsigned char> bytes;
  if (IsRecordForm(path)) {
    std::u16string message;
    for (const GMRegKeyRecord& key : records) {
      if (FindUnheldValue(key, message)) {
        throw Reported{
            Fail("cannot write " + PathForDisplay(path) + ": the record form cannot hold " + ToUtf8(message))};
      }
    }
    WriteRecords(records, bytes);
  } else {
    GMRegTextWriter writer(bytes);
    for (const GMRegKeyRecord& key : records) writer.WriteKeyText(key);
  }
  WriteWholeFile(path, bytes);
}

// Runs a command body, turning what it throws into the exit status: the parser's and
// writer's exceptions carry texts in code page 936 (ASCII for the parser's).
template <typename Body>
int Run(Body body) {
  try {
    body();
    return kExitSuccess;
  } catch (const Reported& reported) {
    return reported.status;
  } catch (const std::exception& e) {
    std::u16string text = FromCodePage(e.what(), 936);
    return text.empty() ? Fail(std::string(e.what())) : Fail(text);
  }
}

struct RegOptions {
  std::string input;
  std::string second;
  std::string output;
  bool json = false;
  bool tolerant = false;
};

}  // namespace

std::string RegJsonText(const std::u16string& text) { return JsonText(text); }
nlohmann::ordered_json RegKeyJson(const GMRegKeyRecord& key) { return KeyJson(key); }
void PrintRegKey(const GMRegKeyRecord& key) { PrintKey(key, u""); }

void AddRegCommands(CLI::App& app, Action& action) {
  auto options = std::make_shared<RegOptions>();
  CLI::App* reg =
      app.add_subcommand("reg", "Registry text (.reg) and registry record files (.bin)");
  reg->require_subcommand(1);

  CLI::App* parse = reg->add_subcommand("parse", "Print the key records of a .reg or .bin file");
  parse->add_option("FILE", options->input, "registry text, or record form when it ends in .bin")
      ->required();
  parse->add_flag("--json", options->json, "print one JSON object {\"keys\": [...]}");
  parse->callback([options, &action] {
    action = [options] {
      return Run([&] {
        const Records records = ReadRecordFile(PathFromArgument(options->input));
        if (options->json) {
          nlohmann::ordered_json keys = nlohmann::ordered_json::array();
          for (const GMRegKeyRecord& key : records) keys.push_back(KeyJson(key));
          const std::string text = nlohmann::ordered_json{{"keys", keys}}.dump(2) + "\n";
          std::fwrite(text.data(), 1, text.size(), stdout);
        } else {
          for (const GMRegKeyRecord& key : records) PrintKey(key, u"");
        }
      });
    };
  });

  CLI::App* convert = reg->add_subcommand(
      "convert", "Convert between .reg (UTF-16 text) and .bin (record form), by the extensions");
  convert->add_option("IN", options->input, "file to read")->required();
  convert->add_option("-o,--output", options->output, "file to write")->required();
  convert->callback([options, &action] {
    action = [options] {
      return Run([&] {
        const std::u16string output = PathFromArgument(options->output);
        WriteRecordFile(output, ReadRecordFile(PathFromArgument(options->input)));
      });
    };
  });

  CLI::App* merge = reg->add_subcommand(
      "merge", "Write the keys of TARGET followed by those of SOURCE as one registry text");
  merge->add_option("TARGET", options->input, "registry text whose keys come first")->required();
  merge->add_option("SOURCE", options->second, "registry text whose keys follow")->required();
  merge->add_option("-o,--output", options->output, "registry text to write")->required();
  merge->callback([options, &action] {
    action = [options] {
      return Run([&] {
        GMBuffer<unsigned char> target;
        GMBuffer<unsigned char> source;
        ReadWholeFile(PathFromArgument(options->input), target);
        ReadWholeFile(PathFromArgument(options->second), source);
        MergeRegText(source, target);
        WriteWholeFile(PathFromArgument(options->output), target);
      });
    };
  });

  CLI::App* apply = reg->add_subcommand(
      "apply", "Apply a .reg or .bin file to this machine's registry (Windows), keeping undo records");
  apply->add_option("FILE", options->input, "registry text, or record form when it ends in .bin")->required();
  apply->add_option("--undo", options->output, "write the undo records here (record form); applying them "
                                               "later takes the change back");
  apply->add_flag("--tolerant", options->tolerant, "skip keys that cannot be opened or read instead of failing");
  apply->callback([options, &action] {
    action = [options] {
      if (!HasRegistry()) {
        std::fprintf(stderr, "gmz reg apply: needs Windows: this system has no registry\n");
        return kExitUsage;
      }
      return Run([&] {
        const Records records = ReadRecordFile(PathFromArgument(options->input));
        const std::u16string undoPath = PathFromArgument(options->output);
        std::u16string message;
        const bool applied = ApplyRegistry(
            records, options->tolerant,
            [&](const GMBuffer<unsigned char>& undo) {
              if (undoPath.empty()) return true;
              try {
                WriteWholeFile(undoPath, undo);
                return true;
              } catch (const Reported&) {
                return false;
              }
            },
            message);
        if (!applied) throw Reported{Fail(message)};
      });
    };
  });
}

}  // namespace Zavro::gmz
