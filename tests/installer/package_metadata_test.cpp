#include "installer/package_metadata.h"

#include <gtest/gtest.h>

namespace Zavro {
namespace {

TEST(PackageMetadata, SerialisedFieldByField) {
  const std::vector<unsigned char> bytes = SerializeMetadata({{u"gmfolder", u"Abc"}});
  const std::vector<unsigned char> expected = {
      1, 0, 0, 0,                                                          // one pair
      8, 0, 0, 0, 'g', 0, 'm', 0, 'f', 0, 'o', 0, 'l', 0, 'd', 0, 'e', 0, 'r', 0,  // key
      3, 0, 0, 0, 'A', 0, 'b', 0, 'c', 0};                                  // value
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(SerializeMetadata({}), (std::vector<unsigned char>{0, 0, 0, 0}));
  const auto wide = SerializeMetadata({{u"k", u"\x4E2D"}, {u"", u""}});
  EXPECT_EQ(wide, (std::vector<unsigned char>{2, 0, 0, 0, 1, 0, 0, 0, 'k', 0, 1, 0, 0, 0, 0x2D, 0x4E,
                                                0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace Zavro
