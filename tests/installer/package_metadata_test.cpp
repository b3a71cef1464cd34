#include "installer/package_metadata.h"

#include <gtest/gtest.h>

#include "archive/toc_node.h"
#include "installer/folder_macros.h"

namespace Zavro {
namespace {

using Bytes = std::vector<unsigned char>;

// One pair, "gmfolder" = "Abc": 4 + 4 + 16 + 4 + 6 = 34 bytes.
const Bytes kOnePair = {1, 0, 0, 0,                                                            // one pair
                        8, 0, 0, 0, 'g', 0, 'm', 0, 'f', 0, 'o', 0, 'l', 0, 'd', 0, 'e', 0, 'r', 0,  // key
                        3, 0, 0, 0, 'A', 0, 'b', 0, 'c', 0};                                    // value

TEST(PackageMetadata, SerialisedFieldByField) {
  EXPECT_EQ(SerializeMetadata(MetadataPairs{{u"gmfolder", u"Abc"}}), kOnePair);
  EXPECT_EQ(SerializeMetadata(MetadataMap{}), (Bytes{0, 0, 0, 0}));
  // The map writes its keys in the order of their units.
  EXPECT_EQ(SerializeMetadata(MetadataMap{{u"k", u"\x4E2D"}, {u"", u""}}),
            (Bytes{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'k', 0, 1, 0, 0, 0, 0x2D, 0x4E}));

  MetadataMap map;
  ASSERT_TRUE(MergeMetadata(kOnePair.data(), kOnePair.size(), map));
  EXPECT_EQ(map, (MetadataMap{{u"gmfolder", u"Abc"}}));
  // A key named twice keeps its first value, and a value already there stays.
  Bytes twice = SerializeMetadata(MetadataPairs{{u"gmexe", u"a"}, {u"gmexe", u"b"}, {u"gmfolder", u"X"}});
  ASSERT_TRUE(MergeMetadata(twice.data(), twice.size(), map));
  EXPECT_EQ(map, (MetadataMap{{u"gmexe", u"a"}, {u"gmfolder", u"Abc"}}));
  // Shorter than its counts: refused whole, nothing added.
  for (size_t cut : {size_t{0}, size_t{3}, size_t{20}, kOnePair.size() - 1}) {
    MetadataMap untouched;
    EXPECT_FALSE(MergeMetadata(kOnePair.data(), cut, untouched)) << cut;
    EXPECT_TRUE(untouched.empty());
  }
  const Bytes hugeCount = {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0};
  EXPECT_FALSE(MergeMetadata(hugeCount.data(), hugeCount.size(), map));
}

TEST(PackageMetadata, FromThePackage) {
  GMTocNode root(kTocDirectory);
  auto addInline = [&](const std::u16string& name, const Bytes& data) {
    auto entry = std::make_shared<GMTocNode>(kTocInline);
    entry->name = name;
    entry->buffer.Resize(static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), entry->buffer.Data());
    entry->buffer.SetLength(static_cast<uint32_t>(data.size()));
    root.AddChild(entry);
  };
  addInline(u"gmmeta", SerializeMetadata(MetadataPairs{{u"gmfolder", u"##my_doc##\\Game"}}));
  addInline(u"GMMETA", kOnePair);  // names compare exactly
  MetadataMap map;
  ASSERT_TRUE(LoadPackageMetadata(root, map));
  ASSERT_TRUE(LoadPackageMetadata(root, map));  // the same entry again changes nothing
  EXPECT_EQ(map.size(), 1u);
  FolderMacros macros;
  macros.DefineMacro(u"my_doc", u"C:\\Docs");
  EXPECT_EQ(GetMeta(map, u"gmfolder", macros), u"C:\\Docs\\Game");
  // A key asked for and missing is added, empty.
  EXPECT_EQ(GetMeta(map, u"gmexe", macros), u"");
  EXPECT_EQ(map.count(u"gmexe"), 1u);
  addInline(u"gmmeta", Bytes{1, 0, 0});
  EXPECT_FALSE(LoadPackageMetadata(root, map));
}

}  // namespace
}  // namespace Zavro
