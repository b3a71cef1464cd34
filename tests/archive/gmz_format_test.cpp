#include "archive/gmz_format.h"

#include <gtest/gtest.h>

#include <string>

namespace Zavro {
namespace {

using Bytes = std::vector<unsigned char>;

// Field-by-field builders for hand-made tables.
void Put(Bytes& b, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) b.push_back(static_cast<unsigned char>(value >> (8 * i)));
}
void PutEntry(Bytes& b, uint8_t type, uint32_t children, uint32_t attributes, const std::u16string& name,
              uint64_t times, uint64_t size, uint16_t method, uint64_t offset, uint64_t compressed) {
  b.push_back(type);
  for (int shift : {16, 8, 0}) b.push_back(static_cast<unsigned char>(children >> shift));
  Put(b, attributes, 4);
  Put(b, name.size() * 2, 4);
  for (char16_t c : name) Put(b, c, 2);
  Put(b, times, 8);
  Put(b, times + 1, 8);
  Put(b, times + 2, 8);
  Put(b, size, 8);
  Put(b, method, 2);
  Put(b, offset, 8);
  Put(b, compressed, 8);
}
void PutInline(Bytes& b, const std::u16string& name, const std::string& data) {
  b.insert(b.end(), {3, 0, 0, 0});
  Put(b, name.size() * 2, 4);
  for (char16_t c : name) Put(b, c, 2);
  Put(b, data.size(), 4);
  b.insert(b.end(), data.begin(), data.end());
}

TEST(GmzHeader, FieldByField) {
  unsigned char header[kGmzHeaderSize];
  WriteGmzHeader(GmzHeader{1, 0x01020304}, header);
  EXPECT_EQ(Bytes(header, header + 8), (Bytes{'G', 'M', 'Z', 1, 0x04, 0x03, 0x02, 0x01}));

  // Version 0 and 1 are read; 52428800 is the largest table allowed.
  const struct {
    Bytes bytes;
    uint32_t code;  // 0: accepted
  } cases[] = {
      {{'G', 'M', 'Z', 0, 0x3E, 0, 0, 0}, 0},
      {{'G', 'M', 'Z', 1, 0x00, 0x00, 0x20, 0x03}, 0},
      {{'G', 'M', 'Z', 2, 0x3E, 0, 0, 0}, kTocErrorSignature},
      {{'G', 'M', 'X', 1, 0x3E, 0, 0, 0}, kTocErrorSignature},
      {{'G', 'M', 'Z', 1, 0x01, 0x00, 0x20, 0x03}, kTocErrorTooLarge},
  };
  for (const auto& c : cases) {
    GmzHeader parsed;
    uint32_t code = 0;
    EXPECT_EQ(ParseGmzHeader(c.bytes.data(), parsed, code), c.code == 0);
    if (c.code != 0) {
      EXPECT_EQ(code, c.code);
    } else {
      EXPECT_EQ(parsed.version, c.bytes[3]);
      EXPECT_EQ(parsed.tocSize, c.bytes[4] | c.bytes[5] << 8 | c.bytes[6] << 16 | c.bytes[7] << 24);
    }
  }
}

TEST(GmzToc, HandMadeTreeParses) {
  Bytes toc;
  PutEntry(toc, 0, 3, 0, u"", 0, 0, 0, 0, 0);
  PutEntry(toc, 0, 1, 0x10, u"数据", 100, 0, 0, 0, 0);
  PutEntry(toc, 1, 0, 0x21, u"a.bin", 200, 5000000000ULL, 2, 0x1122334455667788ULL, 77);
  PutInline(toc, u"gmmeta", std::string("\x01\x00\x00\x00", 4));
  PutEntry(toc, 2, 0, 0x20, u"m", 300, 4, 1, 1000, 12);

  GMTocNode root;
  uint32_t code = 0;
  ASSERT_TRUE(ParseToc(toc.data(), toc.size(), root, code));
  ASSERT_EQ(root.children.size(), 3u);
  const GMTocNode& folder = *root.children[0];
  EXPECT_EQ(folder.name, u"数据");
  EXPECT_EQ(folder.attributes, 0x10u);
  EXPECT_EQ(folder.Parent(), &root);
  ASSERT_EQ(folder.children.size(), 1u);
  const GMTocNode& file = *folder.children[0];
  EXPECT_TRUE(file.IsFile());
  EXPECT_EQ(file.Depth(), 2u);
  EXPECT_EQ(file.name, u"a.bin");
  EXPECT_EQ(file.creationTime.value, 200u);
  EXPECT_EQ(file.lastAccessTime.value, 201u);
  EXPECT_EQ(file.lastWriteTime.value, 202u);
  EXPECT_EQ(file.size, 5000000000ULL);
  EXPECT_EQ(file.method, 2u);
  EXPECT_EQ(file.dataOffset, 0x1122334455667788ULL);
  EXPECT_EQ(file.compressedSize, 77u);
  const GMTocNode& meta = *root.children[1];
  EXPECT_TRUE(meta.IsInline());
  EXPECT_EQ(meta.name, u"gmmeta");
  ASSERT_EQ(meta.buffer.Length(), 4u);
  EXPECT_EQ(meta.buffer.Data()[0], 1);
  EXPECT_TRUE(root.children[2]->IsMemory());
  EXPECT_EQ(root.TotalSize(), 5000000004ULL);
  EXPECT_EQ(root.TotalCompressedSize(), 89u);

  // Written back, the tree gives the same bytes.
  Bytes again;
  ASSERT_TRUE(SerializeToc(root, again));
  EXPECT_EQ(again, toc);
}

TEST(GmzToc, WideAndDeepTablesNeedNoRecursion) {
  // 65537 children: the child count is big-endian, 24 bits. One of them nests folders as
  // deep as a damaged or hostile table can, one per entry.
  Bytes toc;
  PutEntry(toc, 0, 65537, 0, u"", 0, 0, 0, 0, 0);
  for (int i = 0; i < 65536; ++i) PutInline(toc, u"", "");
  for (int i = 0; i < 200000; ++i) PutEntry(toc, 0, 1, 0x10, u"", 0, 0, 0, 0, 0);
  PutEntry(toc, 0, 0, 0x10, u"", 0, 0, 0, 0, 0);
  GMTocNode root;
  uint32_t code = 0;
  ASSERT_TRUE(ParseToc(toc.data(), toc.size(), root, code));
  EXPECT_EQ(root.children.size(), 65537u);
  Bytes again;
  ASSERT_TRUE(SerializeToc(root, again));
  EXPECT_TRUE(again == toc);
}

TEST(GmzToc, DamageIsInvalid) {
  auto table = [](size_t inlineSize) {
    Bytes b;
    PutEntry(b, 0, 2, 0, u"", 0, 0, 0, 0, 0);
    PutEntry(b, 1, 0, 0x20, u"f", 0, 1, 0, 70, 1);
    PutInline(b, u"x", std::string(inlineSize, 'a'));
    return b;
  };
  const Bytes good = table(4096);  // the most inline data an entry may hold
  GMTocNode root;
  uint32_t code = 0;
  ASSERT_TRUE(ParseToc(good.data(), good.size(), root, code));
  EXPECT_EQ(root.children[1]->buffer.Length(), 4096u);

  auto rejects = [&](const Bytes& bytes, const char* what) {
    GMTocNode parsed;
    code = 0;
    EXPECT_FALSE(ParseToc(bytes.data(), bytes.size(), parsed, code)) << what;
    EXPECT_EQ(code, kTocErrorInvalid) << what;
    EXPECT_TRUE(parsed.children.empty()) << what;
  };
  auto changed = [&](size_t at, unsigned char value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  rejects(Bytes(good.begin(), good.end() - 1), "table shorter than its entries");
  Bytes extra = good;
  extra.push_back(0);
  rejects(extra, "bytes left over");
  rejects(changed(3, 3), "a child count beyond the table");
  rejects(changed(62 + 9, 0xFF), "a name longer than the table");  // the child's name length
  rejects(changed(62 + 8, 3), "a name of an odd number of bytes");
  rejects(changed(62, 4), "an unknown type");
  rejects(changed(0, 1), "a root that is not a folder");
  rejects(Bytes(), "an empty table");
  rejects(table(4097), "inline data over the limit");

  // The writer refuses what the reader would refuse.
  GMTocNode big(kTocDirectory);
  GMTocNode& entry = big.AddChild(std::make_shared<GMTocNode>(kTocInline));
  entry.buffer.Resize(4097);
  entry.buffer.SetLength(4097);
  Bytes out;
  EXPECT_FALSE(SerializeToc(big, out));
}

}  // namespace
}  // namespace Zavro
