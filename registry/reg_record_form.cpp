#include "registry/reg_record_form.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/byte_reader.h"

namespace Zavro {

namespace {

constexpr uint32_t kContainerHeaderSize = 8;

uint32_t LoadU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

void StoreU32(unsigned char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool ReadValue(ByteReader& in, GMRegValueRecord& value) {
  uint16_t type = 0;
  uint32_t size = 0;
  const unsigned char* data = nullptr;
  if (!in.Text(value.name) || !in.U16(type) || !in.U32(size) || !in.Bytes(size, data)) return false;
  value.type = type;
  value.deleteMark = type == kRegDeletedValue;
  // The registry takes data of any length for any type (a REG_DWORD of 2 bytes, say),
  // and an undo record must give it back as it was.
  if (!value.SetRawData(data, size)) value.KeepRawData(data, size);
  return true;
}

bool ReadKey(const unsigned char* data, size_t size, uint32_t depth, GMRegKeyRecord& key) {
  if (depth > kMaxRegKeyDepth) return false;
  ByteReader in(data, size);
  std::u16string name;
  if (!in.Text(name) || !key.ParseKeyName(name)) return false;
  uint32_t subKeys = 0;
  if (!in.U32(subKeys)) return false;
  // Counts are not trusted for reserving: every sub key and value uses bytes, so the
  // loops end when the record does.
  for (uint32_t i = 0; i < subKeys; ++i) {
    uint32_t length = 0;
    const unsigned char* sub = nullptr;
    if (!in.U32(length) || !in.Bytes(length, sub)) return false;
    key.subKeys.emplace_back();
    if (!ReadKey(sub, length, depth + 1, key.subKeys.back())) return false;
  }
  uint32_t values = 0;
  if (!in.U32(values)) return false;
  for (uint32_t i = 0; i < values; ++i) {
    key.values.emplace_back();
    if (!ReadValue(in, key.values.back())) return false;
  }
  return true;
}

// Writes a record in place, with each sub record's length filled in after it.
class RecordWriter {
 public:
  explicit RecordWriter(std::vector<unsigned char>& out) : out_(out) {}

  void Key(const GMRegKeyRecord& key) {
    Text(key.FullKeyName(true));
    U32(static_cast<uint32_t>(key.subKeys.size()));
    for (const GMRegKeyRecord& sub : key.subKeys) {
      const size_t at = out_.size();
      U32(0);
      Key(sub);
      const uint64_t length = out_.size() - at - 4;
      if (length > UINT32_MAX) throw std::length_error("registry record too large");
      StoreU32(&out_[at], static_cast<uint32_t>(length));
    }
    U32(static_cast<uint32_t>(key.values.size()));
    for (const GMRegValueRecord& value : key.values) {
      Text(value.name);
      const uint32_t type = value.deleteMark ? kRegDeletedValue : value.type;
      out_.push_back(static_cast<unsigned char>(type));
      out_.push_back(static_cast<unsigned char>(type >> 8));
      const std::vector<unsigned char> data = value.GetData();
      U32(static_cast<uint32_t>(data.size()));
      out_.insert(out_.end(), data.begin(), data.end());
    }
  }

 private:
  void U32(uint32_t value) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<unsigned char>(value >> (8 * i)));
  }
  void Text(const std::u16string& text) {
    U32(static_cast<uint32_t>(text.size()));
    for (char16_t unit : text) {
      out_.push_back(static_cast<unsigned char>(unit & 0xFF));
      out_.push_back(static_cast<unsigned char>(unit >> 8));
    }
  }

  std::vector<unsigned char>& out_;
};

// Before anything is written, so that a refusal leaves the output as it was.
void RequireHeld(const GMRegKeyRecord& key) {
  for (const GMRegValueRecord& value : key.values) {
    if (!RecordFormHolds(value)) throw std::invalid_argument(kRegSaveValueFailed);
  }
  for (const GMRegKeyRecord& sub : key.subKeys) RequireHeld(sub);
}

void Reserve(GMBuffer<unsigned char>& buffer, uint64_t capacity) {
  if (capacity > UINT32_MAX) throw std::length_error("registry records too large");
  buffer.Resize(static_cast<uint32_t>(capacity));
  if (buffer.Capacity() != capacity) throw std::bad_alloc();
}

}  // namespace

bool RecordFormHolds(const GMRegValueRecord& value) {
  if (value.deleteMark) return true;
  return value.type != kRegDeletedValue && value.type <= 0xFFFF;
}

bool ReadRecords(const unsigned char* bytes, size_t count, std::deque<GMRegKeyRecord>& list) {
  list.clear();
  if (count < kContainerHeaderSize) return false;
  const uint32_t records = LoadU32(bytes);
  const uint32_t total = LoadU32(bytes + 4);
  if (records != 0 && total != 0 && count - kContainerHeaderSize < total) return false;
  bool clean = true;
  size_t offset = kContainerHeaderSize;
  for (uint32_t i = 0; i < records; ++i) {
    if (count - offset < 4) return false;
    const uint32_t length = LoadU32(bytes + offset);
    if (count - offset - 4 < length) return false;
    GMRegKeyRecord key;
    if (ReadKey(bytes + offset + 4, length, 1, key)) {
      list.push_back(std::move(key));
    } else {
      clean = false;
    }
    offset += 4 + static_cast<size_t>(length);
  }
  return clean;
}

bool ReadRecords(const GMBuffer<unsigned char>& bytes, std::deque<GMRegKeyRecord>& list) {
  return ReadRecords(bytes.Data(), bytes.Length(), list);
}

void WriteRecord(const GMRegKeyRecord& record, GMBuffer<unsigned char>& buffer) {
  RequireHeld(record);
  std::vector<unsigned char> out;
  RecordWriter(out).Key(record);
  if (out.size() > UINT32_MAX) throw std::length_error("registry record too large");
  buffer = GMBuffer<unsigned char>();
  Reserve(buffer, out.size());
  if (!out.empty()) std::memcpy(buffer.Data(), out.data(), out.size());
  buffer.SetLength(static_cast<uint32_t>(out.size()));
}

void WriteRecords(const std::deque<GMRegKeyRecord>& list, GMBuffer<unsigned char>& buffer) {
  for (const GMRegKeyRecord& key : list) RequireHeld(key);
  if (buffer.Capacity() < kContainerHeaderSize) Reserve(buffer, kContainerHeaderSize);
  buffer.SetLength(kContainerHeaderSize);
  StoreU32(buffer.Data(), static_cast<uint32_t>(list.size()));
  GMBuffer<unsigned char> record;
  for (const GMRegKeyRecord& key : list) {
    WriteRecord(key, record);
    const uint64_t length = buffer.Length();
    const uint64_t needed = length + 4 + record.Length();
    if (needed > buffer.Capacity()) {
      const uint64_t capacity = buffer.Capacity();
      Reserve(buffer, std::max(capacity * 3 / 2, capacity + 4 * (record.Length() + uint64_t{4})));
    }
    StoreU32(buffer.Data() + length, record.Length());
    std::memcpy(buffer.Data() + length + 4, record.Data(), record.Length());
    buffer.SetLength(static_cast<uint32_t>(needed));
  }
  StoreU32(buffer.Data() + 4, buffer.Length() - kContainerHeaderSize);
}

bool MergeRegRecords(const GMBuffer<unsigned char>& first, GMBuffer<unsigned char>& second) {
  std::deque<GMRegKeyRecord> records;
  std::deque<GMRegKeyRecord> later;
  const bool firstClean = ReadRecords(first, records);
  const bool secondClean = ReadRecords(second, later);
  for (GMRegKeyRecord& key : later) records.push_back(std::move(key));
  const uint64_t sum = uint64_t{first.Length()} + second.Length();
  if (sum > second.Capacity()) Reserve(second, sum);
  WriteRecords(records, second);
  return firstClean && secondClean;
}

}  // namespace Zavro
