#include "installer/uninstall_record.h"

#include <algorithm>

#include "archive/io/file.h"
#include "installer/serial_form.h"
#include "installer/task_list.h"

namespace Zavro {

namespace {

constexpr unsigned char kMagic[4] = {'G', 'M', 'U', 'T'};
// FILE_GENERIC_WRITE.
constexpr uint32_t kFileGenericWrite = 0x120116;

std::vector<unsigned char> PathRecords(const std::vector<std::u16string>& paths) {
  std::vector<unsigned char> out;
  for (const std::u16string& path : paths) {
    PutU32(out, static_cast<uint32_t>(path.size() * 2));
    for (char16_t unit : path) {
      out.push_back(static_cast<unsigned char>(unit));
      out.push_back(static_cast<unsigned char>(unit >> 8));
    }
  }
  return out;
}

bool ReadBlock(ByteReader& in, const unsigned char*& data, uint32_t& size) {
  return in.U32(size) && size <= kMaxRecordBlock && in.Bytes(size, data);
}

bool ParsePathRecords(const unsigned char* data, size_t size, std::vector<std::u16string>& paths) {
  ByteReader in(data, size);
  while (in.Left() != 0) {
    uint32_t bytes = 0;
    std::u16string path;
    if (!in.U32(bytes) || bytes % 2 != 0 || !in.Units(bytes / 2, path)) return false;
    paths.push_back(std::move(path));
  }
  return true;
}

}  // namespace

std::vector<unsigned char> SerializeUninstallRecord(const UninstallRecord& record) {
  std::vector<unsigned char> out(kMagic, kMagic + 4);
  out.push_back(kUninstallRecordVersion);
  PutBlock(out, PathRecords(record.paths));
  PutBlock(out, record.registryUndo);
  const bool noTasks = record.emptyTaskBlock && record.tasks.empty();
  PutBlock(out, noTasks ? std::vector<unsigned char>() : SerializeTaskList(record.tasks));
  PutBlock(out, record.registryText);
  const bool noMetadata = record.emptyMetadataBlock && record.metadata.empty();
  PutBlock(out, noMetadata ? std::vector<unsigned char>() : SerializeMetadata(record.metadata));
  return out;
}

bool ParseUninstallRecord(const unsigned char* data, size_t size, UninstallRecord& record) {
  ByteReader in(data, size);
  const unsigned char* magic = nullptr;
  const unsigned char* version = nullptr;
  if (!in.Bytes(4, magic) || std::equal(magic, magic + 4, kMagic) == false || !in.Bytes(1, version) ||
      *version == 0) {
    return false;
  }
  UninstallRecord read;
  read.version = *version;
  const unsigned char* block = nullptr;
  uint32_t blockSize = 0;
  if (!ReadBlock(in, block, blockSize) || !ParsePathRecords(block, blockSize, read.paths)) return false;
  if (!ReadBlock(in, block, blockSize)) return false;
  read.registryUndo.assign(block, block + blockSize);
  if (read.version >= 2) {
    // Blocks 3 and 5 are taken when they are empty (none) or exactly what the writer
    // writes for what they hold: no bytes after the last line or pair, keys in order and
    // each once. A record that reads therefore writes back as it was.
    if (!ReadBlock(in, block, blockSize)) return false;
    read.emptyTaskBlock = blockSize == 0;
    if (blockSize != 0 && (!ParseTaskList(block, blockSize, read.tasks) ||
                           SerializeTaskList(read.tasks) != std::vector<unsigned char>(block, block + blockSize))) {
      return false;
    }
    if (!ReadBlock(in, block, blockSize)) return false;
    read.registryText.assign(block, block + blockSize);
    if (!ReadBlock(in, block, blockSize)) return false;
    read.emptyMetadataBlock = blockSize == 0;
    if (blockSize != 0 && (!MergeMetadata(block, blockSize, read.metadata) ||
                           SerializeMetadata(read.metadata) != std::vector<unsigned char>(block, block + blockSize))) {
      return false;
    }
  }
  if (in.Left() != 0) return false;
  record = std::move(read);
  return true;
}

bool WriteUninstallRecord(const std::u16string& path, const UninstallRecord& record) {
  // Nothing a reader would refuse.
  if (record.registryUndo.size() > kMaxRecordBlock || record.registryText.size() > kMaxRecordBlock) return false;
  const std::vector<unsigned char> bytes = SerializeUninstallRecord(record);
  UninstallRecord check;
  if (!ParseUninstallRecord(bytes.data(), bytes.size(), check)) return false;
  GMFile file;
  uint32_t written = 0;
  if (!file.Open(path, kFileGenericWrite, kFileShareRead, kCreateAlways, kFileAttributeNormal)) return false;
  const bool ok = file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), written);
  return file.Close() && ok;
}

bool ReadUninstallRecord(const std::u16string& path, UninstallRecord& record) {
  // The five blocks at their largest, with their counts, the magic and the version.
  constexpr uint64_t kLargest = 5 * (4 + static_cast<uint64_t>(kMaxRecordBlock)) + 5;
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, bytes, kLargest)) return false;
  return ParseUninstallRecord(bytes.data(), bytes.size(), record);
}

}  // namespace Zavro
