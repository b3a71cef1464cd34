#include "archive/packer_policy.h"

#include <gtest/gtest.h>

namespace Zavro {
namespace {

std::shared_ptr<GMTocNode> Entry(uint32_t type, const std::u16string& name, uint64_t size = 0) {
  auto entry = std::make_shared<GMTocNode>(type);
  entry->name = name;
  entry->size = size;
  entry->method = type == kTocDirectory ? 0 : 3;
  return entry;
}

bool Excluded(GMPackerPolicy& policy, const std::shared_ptr<GMTocNode>& entry) {
  bool exclude = true;
  policy.Decide(*entry, exclude);
  return exclude;
}

TEST(GMFilePolicy, ExclusionsIgnoreCase) {
  GMFilePolicy policy;
  // A new policy changes nothing.
  auto entry = Entry(kTocFile, u"a.txt");
  EXPECT_FALSE(Excluded(policy, entry));
  EXPECT_EQ(entry->method, 3u);
  policy.ExcludeExtension(u".LOG");
  policy.ExcludeExtension(u"tmp");  // the dot is implied
  policy.SetNameRule(u"readme.txt", true);
  policy.SetNameRule(u"keep.txt", false);
  EXPECT_TRUE(Excluded(policy, Entry(kTocFile, u"Debug.LOG")));
  EXPECT_FALSE(Excluded(policy, Entry(kTocFile, u"debug.log.bak")));
  EXPECT_TRUE(Excluded(policy, Entry(kTocFile, u"a.TMP")));
  EXPECT_FALSE(Excluded(policy, Entry(kTocFile, u"tmp")));
  EXPECT_TRUE(Excluded(policy, Entry(kTocFile, u"ReadMe.TXT")));
  EXPECT_TRUE(Excluded(policy, Entry(kTocDirectory, u"README.txt")));

  // A clear name rule excludes nothing and leaves the later rules their say.
  policy.SetSizeRange(10, 20);
  auto keep = Entry(kTocFile, u"Keep.txt", 5);
  EXPECT_FALSE(Excluded(policy, keep));
  EXPECT_EQ(keep->method, 0u);
}

TEST(GMFilePolicy, SizeRangeAndMethodRules) {
  GMFilePolicy policy;
  policy.SetSizeRange(16, 1000);
  for (auto [size, method] : {std::pair<uint64_t, uint32_t>{15, 0}, {16, 3}, {1000, 3}, {1001, 0}}) {
    auto entry = Entry(kTocFile, u"f.bin", size);
    EXPECT_FALSE(Excluded(policy, entry));
    EXPECT_EQ(entry->method, method) << size;
  }

  policy.AddMethodRule(1, u".txt");
  policy.AddMethodRule(2, u".TXT");
  policy.AddMethodRule(2, u"exe");
  auto text = Entry(kTocFile, u"a.Txt", 5);
  auto program = Entry(kTocFile, u"b.exe", 5);
  auto other = Entry(kTocFile, u"c.dat", 5);
  auto folder = Entry(kTocDirectory, u"x.exe");
  for (const auto& e : {text, program, other, folder}) EXPECT_FALSE(Excluded(policy, e));
  EXPECT_EQ(text->method, 1u);     // the lowest method that lists it
  EXPECT_EQ(program->method, 2u);  // overrides the size rule
  EXPECT_EQ(other->method, 0u);    // the size rule stands
  EXPECT_EQ(folder->method, 0u);   // folders get no method
}

}  // namespace
}  // namespace Zavro
