#include "registry/reg_record_form.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "reg_test_support.h"

namespace Zavro {
namespace {

using test::Buffer;
using test::FormBytes;
using test::String;
using test::ThrownText;
using Keys = std::deque<GMRegKeyRecord>;

bool Read(const std::string& bytes, Keys& keys) { return ReadRecords(Buffer(bytes), keys); }

std::string Written(const Keys& keys) {
  GMBuffer<unsigned char> buffer;
  WriteRecords(keys, buffer);
  return String(buffer);
}

FormBytes Container(std::initializer_list<FormBytes> records) {
  FormBytes body;
  for (const FormBytes& record : records) body.Block(record);
  return FormBytes()
      .U32(static_cast<uint32_t>(records.size()))
      .U32(static_cast<uint32_t>(body.size()))
      .Raw(body.str());
}

// A key record without sub keys or values.
FormBytes Leaf(const std::u16string& name) { return FormBytes().Text(name).U32(0).U32(0); }

TEST(RegRecordForm, EmptyList) {
  EXPECT_EQ(Written(Keys()), std::string(8, '\0'));
  Keys keys(1);
  EXPECT_TRUE(Read(std::string(8, '\0'), keys));
  EXPECT_TRUE(keys.empty());
  // N = 0 with a T that nothing backs is still an empty list.
  EXPECT_TRUE(Read(FormBytes().U32(0).U32(100).str(), keys));
}

TEST(RegRecordForm, HeaderAndLengthChecks) {
  Keys keys(1);
  EXPECT_FALSE(Read(std::string(7, '\0'), keys));
  EXPECT_TRUE(keys.empty());

  const std::string good = Container({Leaf(u"HKCU\\A")}).str();
  ASSERT_TRUE(Read(good, keys));
  // T larger than what follows: refused before any record is read.
  std::string longer = good;
  longer[4] = static_cast<char>(longer[4] + 1);
  EXPECT_FALSE(Read(longer, keys));
  EXPECT_TRUE(keys.empty());
  // T = 0 is not checked; the records still are.
  std::string zeroTotal = good;
  zeroTotal.replace(4, 4, std::string(4, '\0'));
  EXPECT_TRUE(Read(zeroTotal, keys));
  EXPECT_EQ(keys.size(), 1u);

  // A record length that passes the end: false, with the records before it kept.
  const FormBytes second = Leaf(u"HKCU\\B");
  FormBytes cut =
      FormBytes().U32(3).U32(0).Block(Leaf(u"HKCU\\A")).Block(second).U32(1000).Raw("xx");
  EXPECT_FALSE(Read(cut.str(), keys));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1].path, u"B");
  EXPECT_FALSE(
      Read(FormBytes().U32(2).U32(0).Block(Leaf(u"HKCU\\A")).Raw(std::string("\x01\x00", 2)).str(),
           keys));
  EXPECT_EQ(keys.size(), 1u);
}

// Three levels of sub keys below a key with every kind of value, and a deleted key.
const std::string& SampleContainer() {
  static const std::string bytes = [] {
    const FormBytes level3 = FormBytes()
                                 .Text(u"HKEY_CURRENT_USER\\Software\\Z\\A\\B\\C")
                                 .U32(0)
                                 .U32(1)
                                 .Value(u"deep", kRegDword, std::string("\x07\0\0\0", 4));
    const FormBytes level2 =
        FormBytes().Text(u"HKEY_CURRENT_USER\\Software\\Z\\A\\B").U32(1).Block(level3).U32(0);
    const FormBytes level1 = FormBytes()
                                 .Text(u"HKEY_CURRENT_USER\\Software\\Z\\A")
                                 .U32(2)
                                 .Block(level2)
                                 .Block(Leaf(u"HKEY_CURRENT_USER\\Software\\Z\\A2"))
                                 .U32(0);
    const FormBytes top =
        FormBytes()
            .Text(u"HKEY_CURRENT_USER\\Software\\Z")
            .U32(1)
            .Block(level1)
            .U32(7)
            .Value(u"", kRegSz, std::string("h\0i\0\0\0", 6))
            .Value(u"unended", kRegSz, std::string("h\0i\0", 4))
            .Value(u"q", kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08")
            .Value(u"be", kRegDwordBigEndian, "\x12\x34\x56\x78")
            .Value(u"multi", kRegMultiSz, std::string("a\0\0\0\0\0b\0\0\0\0\0", 12))
            .Value(u"gone", kRegDeletedValue, "")
            .Value(u"raw", 0x1234, "\xDE\xAD");
    const FormBytes deleted = Leaf(u"-HKEY_LOCAL_MACHINE\\Software\\Old");
    return Container({top, deleted}).str();
  }();
  return bytes;
}

TEST(RegRecordForm, ReadsFieldByFieldBytes) {
  Keys keys;
  ASSERT_TRUE(Read(SampleContainer(), keys));
  ASSERT_EQ(keys.size(), 2u);

  const GMRegKeyRecord& top = keys[0];
  EXPECT_EQ(top.root, kHKeyCurrentUser);
  EXPECT_EQ(top.path, u"Software\\Z");
  EXPECT_FALSE(top.deleteMark);
  ASSERT_EQ(top.subKeys.size(), 1u);
  const GMRegKeyRecord& a = top.subKeys[0];
  ASSERT_EQ(a.subKeys.size(), 2u);
  EXPECT_EQ(a.subKeys[0].path, u"Software\\Z\\A\\B");
  EXPECT_EQ(a.subKeys[1].path, u"Software\\Z\\A2");
  ASSERT_EQ(a.subKeys[0].subKeys.size(), 1u);
  const GMRegKeyRecord& c = a.subKeys[0].subKeys[0];
  EXPECT_EQ(c.path, u"Software\\Z\\A\\B\\C");
  ASSERT_EQ(c.values.size(), 1u);
  EXPECT_EQ(c.values[0].dword, 7u);

  ASSERT_EQ(top.values.size(), 7u);
  EXPECT_EQ(top.values[0].name, u"");
  EXPECT_EQ(top.values[0].text, u"hi");
  // Text without its terminator keeps exactly its bytes.
  EXPECT_EQ(top.values[1].type, kRegSz);
  EXPECT_EQ(String(top.values[1].GetData()), std::string("h\0i\0", 4));
  EXPECT_EQ(top.values[2].qword, 0x0807060504030201u);
  EXPECT_EQ(top.values[3].type, kRegDwordBigEndian);
  EXPECT_EQ(top.values[3].dword, 0x12345678u);
  EXPECT_EQ(top.values[4].strings, (std::vector<std::u16string>{u"a", u"", u"b"}));
  EXPECT_TRUE(top.values[5].deleteMark);
  EXPECT_EQ(top.values[5].type, kRegDeletedValue);
  EXPECT_EQ(top.values[6].type, 0x1234u);
  EXPECT_EQ(String(top.values[6].bytes), "\xDE\xAD");

  EXPECT_TRUE(keys[1].deleteMark);
  EXPECT_EQ(keys[1].root, kHKeyLocalMachine);
  EXPECT_EQ(keys[1].path, u"Software\\Old");
}

TEST(RegRecordForm, WritesTheSameBytes) {
  Keys keys;
  ASSERT_TRUE(Read(SampleContainer(), keys));
  EXPECT_EQ(Written(keys), SampleContainer());

  GMBuffer<unsigned char> record;
  WriteRecord(keys[1], record);
  EXPECT_EQ(String(record), Leaf(u"-HKEY_LOCAL_MACHINE\\Software\\Old").str());
  EXPECT_EQ(record.Capacity(), record.Length());

  // The container keeps a buffer that is large enough and grows one that is not.
  GMBuffer<unsigned char> roomy(4096);
  WriteRecords(keys, roomy);
  EXPECT_EQ(roomy.Capacity(), 4096u);
  EXPECT_EQ(String(roomy), SampleContainer());
  GMBuffer<unsigned char> tight(8);
  WriteRecords(keys, tight);
  EXPECT_EQ(String(tight), SampleContainer());
}

GMRegValueRecord Value(const std::u16string& name, uint32_t type) {
  GMRegValueRecord value;
  value.name = name;
  value.type = type;
  return value;
}

GMRegKeyRecord KeyWith(const std::vector<GMRegValueRecord>& values) {
  GMRegKeyRecord key;
  key.ParseKeyName(u"HKCU\\T");
  key.values = values;
  return key;
}

TEST(RegRecordForm, WritesValuesFromText) {
  GMRegValueRecord deleted = Value(u"d", kRegSz);  // marked in text: REG_SZ, empty text
  deleted.deleteMark = true;
  GMRegValueRecord gone = Value(u"w", 0x12345);  // a deleted value's type is not stored
  gone.deleteMark = true;
  GMRegValueRecord dword = Value(u"", kRegDword);
  dword.dword = 10;
  GMRegValueRecord top = Value(u"t", 0xFFFF);
  top.bytes = Buffer("\x01");

  GMBuffer<unsigned char> record;
  WriteRecord(KeyWith({deleted, gone, dword, top}), record);
  EXPECT_EQ(String(record), FormBytes()
                                .Text(u"HKEY_CURRENT_USER\\T")
                                .U32(0)
                                .U32(4)
                                .Value(u"d", kRegDeletedValue, std::string(2, '\0'))
                                .Value(u"w", kRegDeletedValue, "")
                                .Value(u"", kRegDword, std::string("\x0a\0\0\0", 4))
                                .Value(u"t", 0xFFFF, "\x01")
                                .str());
}

TEST(RegRecordForm, RefusesValuesItCannotHold) {
  GMRegValueRecord shortDword = Value(u"n", kRegDword);
  shortDword.KeepRawData(reinterpret_cast<const unsigned char*>("\x01\x02"), 2);
  const GMRegValueRecord refused[] = {
      Value(u"mark", kRegDeletedValue),  // would read back as a deletion
      Value(u"wide", 0x10003),           // would read back as REG_BINARY
      Value(u"wide", 0xFFFFFFFF),
      shortDword,  // would read back as malformed
  };
  for (const GMRegValueRecord& value : refused) {
    EXPECT_FALSE(RecordFormHolds(value));
    GMRegKeyRecord parent = KeyWith({Value(u"fine", kRegBinary)});
    parent.subKeys.push_back(KeyWith({value}));
    GMBuffer<unsigned char> record = Buffer("kept");
    EXPECT_EQ(ThrownText<std::invalid_argument>([&] { WriteRecord(parent, record); }),
              kRegSaveValueFailed);
    EXPECT_EQ(String(record), "kept");
    EXPECT_EQ(
        ThrownText<std::invalid_argument>([&] { WriteRecords({KeyWith({}), parent}, record); }),
        kRegSaveValueFailed);
    EXPECT_EQ(String(record), "kept");
  }
}

TEST(RegRecordForm, MalformedRecordsAreSkippedWhole) {
  const FormBytes good = Leaf(u"HKCU\\Good");
  const FormBytes cases[] = {
      Leaf(u"HKEY_CLASSES_ROOT\\x"),
      Leaf(u"hkcu\\x"),
      Leaf(u"HKCUx\\Software"),
      Leaf(u"HKEY_CURRENT_USER_LOCAL_SETTINGS\\X"),
      FormBytes().Text(u"HKCU\\x").U32(0).U32(1).Value(u"d", kRegDword, "\x01\x02\x03"),
      FormBytes()
          .Text(u"HKCU\\x")
          .U32(0)
          .U32(1)
          .Value(u"d", kRegDwordBigEndian, "\x01\x02\x03\x04\x05"),
      FormBytes().Text(u"HKCU\\x").U32(1).Block(Leaf(u"HKEY_CLASSES_ROOT\\y")).U32(0),
      FormBytes().Text(u"HKCU\\x").U32(0).U32(2).Value(u"a", kRegBinary, "\x01"),  // values past
                                                                                   // the end
      FormBytes().Text(u"HKCU\\x").U32(0),                                         // no value count
      FormBytes().U32(100).Raw(std::string("H\0K\0", 4)),  // name past the end
      FormBytes().Text(u"HKCU\\x").U32(1).U32(50).Raw(Leaf(u"HKCU\\y").str()).U32(0),  // sub past
                                                                                       // the end
      FormBytes(),
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    Keys keys;
    EXPECT_FALSE(Read(Container({good, cases[i], good}).str(), keys)) << i;
    ASSERT_EQ(keys.size(), 2u) << i;
    EXPECT_EQ(keys[1].path, u"Good");
    EXPECT_TRUE(keys[0].subKeys.empty());
  }
}

FormBytes Nested(uint32_t depth) {
  FormBytes key = FormBytes().Text(u"HKCU\\n").U32(depth > 1 ? 1 : 0);
  if (depth > 1) key.Block(Nested(depth - 1));
  return key.U32(0);
}

TEST(RegRecordForm, NestingIsLimitedToRegistryDepth) {
  Keys keys;
  EXPECT_TRUE(Read(Container({Nested(kMaxRegKeyDepth)}).str(), keys));
  EXPECT_EQ(keys.size(), 1u);
  EXPECT_FALSE(Read(Container({Nested(kMaxRegKeyDepth + 1)}).str(), keys));
  EXPECT_TRUE(keys.empty());
}

TEST(RegRecordForm, MergePutsFirstInFront) {
  const GMBuffer<unsigned char> first =
      Buffer(Container({Leaf(u"HKCU\\1a"), Leaf(u"HKCU\\1b")}).str());
  GMBuffer<unsigned char> second = Buffer(Container({Leaf(u"HKLM\\2")}).str());
  const uint32_t sum = first.Length() + second.Length();
  EXPECT_TRUE(MergeRegRecords(first, second));
  EXPECT_EQ(String(second),
            Container({Leaf(u"HKEY_CURRENT_USER\\1a"), Leaf(u"HKEY_CURRENT_USER\\1b"),
                       Leaf(u"HKEY_LOCAL_MACHINE\\2")})
                .str());
  EXPECT_GE(second.Capacity(), sum);

  // What reads is merged even when the other side does not.
  GMBuffer<unsigned char> none;
  EXPECT_FALSE(MergeRegRecords(first, none));
  Keys keys;
  EXPECT_TRUE(ReadRecords(none, keys));
  EXPECT_EQ(keys.size(), 2u);
}

}  // namespace
}  // namespace Zavro
