// The registry record form: key records as bytes, for "##reg##.bin" package entries
// and the registry undo data of the uninstall record. Unlike registry text it keeps
// sub keys, delete marks and every value type.
//
// Integers are little-endian; texts are UTF-16LE without terminator, their lengths
// count units.
//   container   u32 record count N, u32 byte count T of all that follows,
//               N times: u32 byte count R, then R bytes of a key record
//   key record  u32 K, K units of FullKeyName(true); u32 S, S times: u32 byte count,
//               then a key record; u32 V, V values
//   value       u32 M, M units of name (0 for the default value); u16 type, 255 for a
//               value with the delete mark, else its type; u32 D, D bytes of GetData
// Allocation failures throw std::bad_alloc.
//
// The writers refuse a value that the form cannot hold (see RecordFormHolds) with
// std::invalid_argument kRegSaveValueFailed ("保存注册表值出错", as the text writer
// does), rather than store it as a delete mark or as another type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "archive/io/buffer.h"
#include "registry/reg_records.h"

namespace Zavro {

// Key records nest at most this deep, as registry keys do; deeper records are malformed.
constexpr uint32_t kMaxRegKeyDepth = 512;

// Reads a container into `list`, which is cleared first. False when the bytes are
// shorter than the header, when T is non-zero and larger than what follows (with N
// non-zero), when a record's length passes the end, or when any record is malformed: a
// name whose root is not in the root table, a read past the record's length, or a
// malformed sub record. A malformed record is skipped whole and reading goes on with
// the next one; records read before a length failure stay in the list. Data that its
// type's field cannot hold (a REG_DWORD of other than 4 bytes, say) is kept raw, as the
// registry keeps it.
bool ReadRecords(const unsigned char* bytes, size_t count, std::deque<GMRegKeyRecord>& list);
bool ReadRecords(const GMBuffer<unsigned char>& bytes, std::deque<GMRegKeyRecord>& list);

// Whether the form can hold `value`: a value with the delete mark always; otherwise
// not for type 255 (the delete mark itself) or a type above 0xFFFF (the type field has
// 16 bits).
bool RecordFormHolds(const GMRegValueRecord& value);

// One key record into `buffer`, which is replaced by a block of exactly its size.
// Throws std::length_error for a record of 4 GiB or more, and std::invalid_argument
// kRegSaveValueFailed for a value the form cannot hold, with `buffer` unchanged.
void WriteRecord(const GMRegKeyRecord& record, GMBuffer<unsigned char>& buffer);

// A container of `list` into `buffer`, from its start. The buffer keeps its capacity
// while the records fit and grows by at least half when one does not. Throws as
// WriteRecord; a value the form cannot hold leaves `buffer` unchanged.
void WriteRecords(const std::deque<GMRegKeyRecord>& list, GMBuffer<unsigned char>& buffer);

// Writes the records of `first` followed by those of `second` as one container into
// `second`, whose capacity first grows to the sum of both lengths. False when either
// container did not read cleanly; what was read is written all the same. Whatever
// ReadRecords gives the form can hold, so the refusal of WriteRecord cannot happen
// here.
bool MergeRegRecords(const GMBuffer<unsigned char>& first, GMBuffer<unsigned char>& second);

}  // namespace Zavro
