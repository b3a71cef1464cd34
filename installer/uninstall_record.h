// The uninstall record "RORarezoru.dat" an install run leaves in its install folder:
// what it created, how to take its registry changes back, its task list, the package's
// registry text and its metadata, for the tools that later maintain the installation.
//
// Bytes: "GMUT", a version byte (2 when written), then five blocks, each a u32 byte
// count and that many bytes (a reader takes at most kMaxRecordBlock per block):
//   1 the installed paths: records of a u32 byte count and UTF-16LE units, a path below
//     the install folder relative to it, the install folder itself as the empty text
//   2 the registry undo records, in the registry record form
//   3 the task list, serialised (task_list.h)
//   4 the package's "##reg##.reg" bytes as they were
//   5 the metadata, serialised (package_metadata.h), in key order
// A version-1 record ends after block 2. Numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/gmz_format.h"
#include "installer/package_metadata.h"

namespace Zavro {

constexpr char16_t kUninstallRecordName[] = u"RORarezoru.dat";
// The metadata key under which an install notes the registry view its undo records
// belong to ("32", "64" or "32+64"); the install writes it whatever the package says.
constexpr char16_t kRegistryViewKey[] = u"##registry_view##";
constexpr uint8_t kUninstallRecordVersion = 2;
constexpr uint32_t kMaxRecordBlock = kMaxBlockSize;

struct UninstallRecord {
  uint8_t version = kUninstallRecordVersion;
  std::vector<std::u16string> paths;
  std::vector<unsigned char> registryUndo;
  std::vector<std::u16string> tasks;
  std::vector<unsigned char> registryText;
  MetadataMap metadata;
  // Blocks 3 and 5 were read empty (rather than as a count of 0): written back so.
  bool emptyTaskBlock = false;
  bool emptyMetadataBlock = false;
};

// Always writes version 2.
std::vector<unsigned char> SerializeUninstallRecord(const UninstallRecord& record);
// Reads a whole record. False for a foreign or truncated file, a version of 0, a block
// larger than kMaxRecordBlock, a path record of an odd byte count or past its block, a
// task list or metadata block other than what the writer writes for what it holds
// (cut short, with bytes after its content, keys out of order or twice), or bytes
// after the last block; `record` is then unchanged. Blocks 3 and 5 may be empty (no
// tasks, no metadata). A version-2 record that reads writes back byte for byte.
bool ParseUninstallRecord(const unsigned char* data, size_t size, UninstallRecord& record);

// Writes the record to `path` (replacing a file there); false when it cannot be written
// whole, or holds a block larger than a reader takes.
bool WriteUninstallRecord(const std::u16string& path, const UninstallRecord& record);
// Reads `path`; false as ParseUninstallRecord, or when the file cannot be read.
bool ReadUninstallRecord(const std::u16string& path, UninstallRecord& record);

}  // namespace Zavro
