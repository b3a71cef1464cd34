#include "installer/uninstall_record.h"

#include <gtest/gtest.h>

namespace Zavro {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes U32(uint32_t v) {
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

const Bytes kHeader = {'G', 'M', 'U', 'T', 2};
// Block 1: the install folder itself (empty), then "bin\a.dll" (18 bytes).
const Bytes kPaths = Cat({U32(4 + 4 + 18), U32(0), U32(18),
                          Bytes{'b', 0, 'i', 0, 'n', 0, '\\', 0, 'a', 0, '.', 0, 'd', 0, 'l', 0, 'l', 0}});
const Bytes kUndo = Cat({U32(8), U32(0), U32(0)});  // the record form of no keys

TEST(UninstallRecord, FieldByField) {
  // A package without registry text and tasks.
  const Bytes plain = Cat({kHeader, kPaths, kUndo, U32(4), U32(0), U32(0), U32(4), U32(0)});
  UninstallRecord record;
  record.paths = {u"", u"bin\\a.dll"};
  record.registryUndo = {0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(SerializeUninstallRecord(record), plain);
  UninstallRecord read;
  ASSERT_TRUE(ParseUninstallRecord(plain.data(), plain.size(), read));
  EXPECT_EQ(read.paths, record.paths);
  EXPECT_EQ(read.registryUndo, record.registryUndo);

  // Tasks, registry text and metadata.
  const Bytes full = Cat({kHeader, kPaths, kUndo, U32(12), U32(1), U32(2), Bytes{'o', 0, 'k', 0}, U32(3),
                          Bytes{0xFF, 0xFE, 'R'}, U32(14), U32(1), U32(1), Bytes{'k', 0}, U32(0)});
  ASSERT_TRUE(ParseUninstallRecord(full.data(), full.size(), read));
  EXPECT_EQ(read.tasks, std::vector<std::u16string>{u"ok"});
  EXPECT_EQ(read.registryText, (Bytes{0xFF, 0xFE, 'R'}));
  EXPECT_EQ(read.metadata, (MetadataMap{{u"k", u""}}));
  EXPECT_EQ(SerializeUninstallRecord(read), full);

  // A version-1 record ends after block 2.
  const Bytes version1 = Cat({Bytes{'G', 'M', 'U', 'T', 1}, kPaths, kUndo});
  ASSERT_TRUE(ParseUninstallRecord(version1.data(), version1.size(), read));
  EXPECT_EQ(read.version, 1);
  EXPECT_TRUE(read.tasks.empty() && read.registryText.empty() && read.metadata.empty());
  // Empty task and metadata blocks mean none, and are written back so.
  const Bytes emptyBlocks = Cat({kHeader, kPaths, kUndo, U32(0), U32(0), U32(0)});
  ASSERT_TRUE(ParseUninstallRecord(emptyBlocks.data(), emptyBlocks.size(), read));
  EXPECT_TRUE(read.tasks.empty() && read.metadata.empty());
  EXPECT_EQ(SerializeUninstallRecord(read), emptyBlocks);
}

TEST(UninstallRecord, DamageIsRefused) {
  const Bytes good = Cat({kHeader, kPaths, kUndo, U32(4), U32(0), U32(0), U32(4), U32(0)});
  const Bytes cases[] = {
      Bytes(good.begin(), good.end() - 1),                                   // truncated
      Cat({good, Bytes{0}}),                                                 // a byte after the last block
      Cat({Bytes{'G', 'M', 'U', 'X', 2}, Bytes(good.begin() + 5, good.end())}),  // foreign
      Cat({Bytes{'G', 'M', 'U', 'T', 0}, Bytes(good.begin() + 5, good.end())}),  // version 0
      Cat({kHeader, U32(52428801)}),                                         // a block too large to take
      Cat({kHeader, U32(6), U32(3), Bytes{'a', 0}}),                         // a path of an odd byte count
      Cat({kHeader, U32(6), U32(4), Bytes{'a', 0}}),                         // a path past its block
      Cat({kHeader, kPaths, kUndo, U32(4), U32(1), U32(0), U32(4), U32(0)}),  // a task the block lacks
      Cat({kHeader, kPaths, kUndo, U32(4), U32(0), U32(0), U32(4), U32(2)}),  // pairs the block lacks
      Cat({kHeader, kPaths, kUndo, U32(5), U32(0), Bytes{0}, U32(0), U32(4), U32(0)}),  // a byte after the lines
      Cat({kHeader, kPaths, kUndo, U32(4), U32(0), U32(0), U32(24), U32(2), U32(1), Bytes{'b', 0}, U32(0), U32(1),
           Bytes{'a', 0}, U32(0)}),  // keys out of order
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    UninstallRecord untouched;
    untouched.tasks = {u"kept"};
    EXPECT_FALSE(ParseUninstallRecord(cases[i].data(), cases[i].size(), untouched)) << i;
    EXPECT_EQ(untouched.tasks, std::vector<std::u16string>{u"kept"});
  }
}

}  // namespace
}  // namespace Zavro
