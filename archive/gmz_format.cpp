#include "archive/gmz_format.h"

#include <cstring>
#include <utility>

#include "system/byte_reader.h"
#include "system/format.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<unsigned char>& out) : out_(out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void Name(const std::u16string& name) {
    for (char16_t c : name) U16(static_cast<uint16_t>(c));
  }
  void Bytes(const unsigned char* data, size_t n) {
    if (n != 0) out_.insert(out_.end(), data, data + n);
  }

 private:
  std::vector<unsigned char>& out_;
};

uint64_t OwnSize(const GMTocNode& entry) {
  uint64_t nameBytes = static_cast<uint64_t>(entry.name.size()) * 2;
  if (entry.type == kTocInline) return kTocInlineFixedSize + nameBytes + entry.buffer.Length();
  return kTocEntryFixedSize + nameBytes;
}

void WriteEntry(const GMTocNode& entry, ByteWriter& w) {
  w.U8(static_cast<uint8_t>(entry.type));
  if (entry.type == kTocInline) {
    w.U8(0);
    w.U8(0);
    w.U8(0);
    w.U32(entry.NameBytes());
    w.Name(entry.name);
    w.U32(entry.buffer.Length());
    w.Bytes(entry.buffer.Data(), entry.buffer.Length());
    return;
  }
  const uint32_t count = entry.type == kTocDirectory ? static_cast<uint32_t>(entry.children.size()) : 0;
  w.U8(static_cast<uint8_t>(count >> 16));
  w.U8(static_cast<uint8_t>(count >> 8));
  w.U8(static_cast<uint8_t>(count));
  w.U32(entry.attributes);
  w.U32(entry.NameBytes());
  w.Name(entry.name);
  w.U64(entry.creationTime.value);
  w.U64(entry.lastAccessTime.value);
  w.U64(entry.lastWriteTime.value);
  w.U64(entry.size);
  w.U16(static_cast<uint16_t>(entry.method));
  w.U64(entry.dataOffset);
  w.U64(entry.compressedSize);
}

bool EntryFitsFormat(const GMTocNode& entry) {
  if (entry.type > kTocInline) return false;
  if (entry.name.size() > kMaxTocSize) return false;
  if (entry.type == kTocInline) return entry.buffer.Length() <= kMaxInlineSize;
  if (entry.method > 0xFFFF) return false;
  return entry.type != kTocDirectory || entry.children.size() <= kMaxChildren;
}

// Parses the fields of one entry (not its children) into `entry`; `childCount`
// receives a folder's number of children.
bool ParseEntry(ByteReader& r, GMTocNode& entry, uint32_t& childCount) {
  uint8_t type = 0, c0 = 0, c1 = 0, c2 = 0;
  if (!r.U8(type) || !r.U8(c0) || !r.U8(c1) || !r.U8(c2) || type > kTocInline) return false;
  entry.type = type;
  childCount = type == kTocDirectory ? (uint32_t{c0} << 16) | (uint32_t{c1} << 8) | c2 : 0;
  uint32_t nameBytes = 0;
  if (type == kTocInline) {
    uint32_t dataBytes = 0;
    const unsigned char* data = nullptr;
    if (!r.U32(nameBytes) || nameBytes % 2 != 0 || !r.Units(nameBytes / 2, entry.name) || !r.U32(dataBytes) ||
        dataBytes > kMaxInlineSize || !r.Bytes(dataBytes, data)) {
      return false;
    }
    entry.buffer.Resize(dataBytes);
    if (dataBytes != 0 && entry.buffer.Capacity() != dataBytes) return false;
    if (dataBytes != 0) std::memcpy(entry.buffer.Data(), data, dataBytes);
    entry.buffer.SetLength(dataBytes);
    entry.size = 0;
    entry.compressedSize = 0;
    return true;
  }
  uint64_t created = 0, accessed = 0, written = 0;
  uint16_t method = 0;
  if (!r.U32(entry.attributes) || !r.U32(nameBytes) || nameBytes % 2 != 0 || !r.Units(nameBytes / 2, entry.name) ||
      !r.U64(created) || !r.U64(accessed) || !r.U64(written) || !r.U64(entry.size) || !r.U16(method) ||
      !r.U64(entry.dataOffset) || !r.U64(entry.compressedSize)) {
    return false;
  }
  entry.creationTime = FileTime(created);
  entry.lastAccessTime = FileTime(accessed);
  entry.lastWriteTime = FileTime(written);
  entry.method = method;
  return true;
}

}  // namespace

void WriteGmzHeader(const GmzHeader& header, unsigned char out[kGmzHeaderSize]) {
  out[0] = 'G';
  out[1] = 'M';
  out[2] = 'Z';
  out[3] = header.version;
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<unsigned char>(header.tocSize >> (8 * i));
}

void WriteGmzTrailer(uint32_t crc, uint64_t covered, unsigned char out[kGmzTrailerSize]) {
  std::memcpy(out, "GMZc", 4);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<unsigned char>(crc >> (8 * i));
  for (int i = 0; i < 8; ++i) out[8 + i] = static_cast<unsigned char>(covered >> (8 * i));
}

bool ParseGmzTrailer(const unsigned char bytes[kGmzTrailerSize], uint32_t& crc, uint64_t& covered) {
  if (std::memcmp(bytes, "GMZc", 4) != 0) return false;
  crc = 0;
  for (int i = 0; i < 4; ++i) crc |= static_cast<uint32_t>(bytes[4 + i]) << (8 * i);
  covered = 0;
  for (int i = 0; i < 8; ++i) covered |= static_cast<uint64_t>(bytes[8 + i]) << (8 * i);
  return true;
}

std::u16string VolumeName(const std::u16string& base, uint64_t index) {
  return FormatString(u"%s.part%I64u", base, index);
}

std::u16string VolumeBase(const std::u16string& name) {
  return EndsWithNoCase(name, u".part0") ? name.substr(0, name.size() - 6) : name;
}

bool ParseGmzHeader(const unsigned char bytes[kGmzHeaderSize], GmzHeader& header, uint32_t& code) {
  if (bytes[0] != 'G' || bytes[1] != 'M' || bytes[2] != 'Z' || bytes[3] > kGmzVersion) {
    code = kTocErrorSignature;
    return false;
  }
  const uint32_t tocSize = static_cast<uint32_t>(bytes[4]) | (static_cast<uint32_t>(bytes[5]) << 8) |
                           (static_cast<uint32_t>(bytes[6]) << 16) | (static_cast<uint32_t>(bytes[7]) << 24);
  if (tocSize > kMaxTocSize) {
    code = kTocErrorTooLarge;
    return false;
  }
  header.version = bytes[3];
  header.tocSize = tocSize;
  return true;
}

bool TocEntrySize(const GMTocNode& entry, uint64_t& size) {
  size = 0;
  std::vector<const GMTocNode*> pending{&entry};
  while (!pending.empty()) {
    const GMTocNode* node = pending.back();
    pending.pop_back();
    size += OwnSize(*node);
    if (size > UINT32_MAX) return false;
    if (node->type == kTocDirectory) {
      for (const auto& child : node->children) pending.push_back(child.get());
    }
  }
  return true;
}

bool SerializeToc(const GMTocNode& root, std::vector<unsigned char>& out) {
  out.clear();
  uint64_t expected = 0;
  if (!TocEntrySize(root, expected) || expected > kMaxTocSize) return false;
  out.reserve(static_cast<size_t>(expected));
  ByteWriter w(out);
  // Pre-order without recursion: children are pushed in reverse so they pop in order.
  std::vector<const GMTocNode*> pending{&root};
  while (!pending.empty()) {
    const GMTocNode* node = pending.back();
    pending.pop_back();
    if (!EntryFitsFormat(*node)) return false;
    WriteEntry(*node, w);
    if (node->type == kTocDirectory) {
      for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.push_back(it->get());
    }
  }
  return out.size() == expected;
}

bool ParseToc(const unsigned char* bytes, size_t size, GMTocNode& root, uint32_t& code) {
  code = kTocErrorInvalid;
  root.ClearChildren();
  ByteReader r(bytes, size);
  uint32_t rootChildren = 0;
  if (!ParseEntry(r, root, rootChildren)) return false;
  if (root.type != kTocDirectory) return false;
  // Folders whose children are still being read, with the number still to come. The
  // stack replaces recursion: a damaged table may nest entries as deep as it is long.
  std::vector<std::pair<GMTocNode*, uint32_t>> open;
  if (rootChildren != 0) open.emplace_back(&root, rootChildren);
  bool ok = true;
  while (ok && !open.empty()) {
    auto& top = open.back();
    if (top.second == 0) {
      open.pop_back();
      continue;
    }
    --top.second;
    GMTocNode* parent = top.first;
    // Each entry needs at least 4 bytes; a count that cannot fit is damage, and checking
    // it first keeps a forged count from costing time.
    if (r.Left() < 4) {
      ok = false;
      break;
    }
    auto child = std::make_shared<GMTocNode>(kTocFile, parent);
    uint32_t count = 0;
    if (!ParseEntry(r, *child, count)) {
      ok = false;
      break;
    }
    GMTocNode& added = parent->AddChild(std::move(child));
    if (count != 0) open.emplace_back(&added, count);
  }
  if (!ok || r.Consumed() != size) {
    root.ClearChildren();
    return false;
  }
  return true;
}

}  // namespace Zavro
