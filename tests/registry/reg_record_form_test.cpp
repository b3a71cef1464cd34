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
using test::Key;
using test::String;
using test::ThrownText;
using test::Value;
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
  return FormBytes().U32(static_cast<uint32_t>(records.size())).U32(static_cast<uint32_t>(body.size())).Raw(body.str());
}

// A key record without sub keys or values.
FormBytes Leaf(const std::u16string& name) { return FormBytes().Text(name).U32(0).U32(0); }

TEST(RegRecordForm, ContainerHeaderAndLengths) {
  const FormBytes record = FormBytes().Block(Leaf(u"HKCU\\A"));
  const struct {
    std::string bytes;
    bool clean;
    size_t keys;
  } cases[] = {
      {std::string(8, '\0'), true, 0},
      {FormBytes().U32(0).U32(100).str(), true, 0},  // N = 0: T is not checked
      {std::string(7, '\0'), false, 0},
      // T larger than what follows: refused before any record is read.
      {FormBytes().U32(1).U32(static_cast<uint32_t>(record.size() + 1)).Raw(record.str()).str(), false, 0},
      {FormBytes().U32(1).U32(0).Raw(record.str()).str(), true, 1},  // T = 0 is not checked
      // A record length that passes the end: the records before it stay.
      {FormBytes().U32(3).U32(0).Raw(record.str()).Raw(record.str()).U32(1000).Raw("xx").str(), false, 2},
      {FormBytes().U32(2).U32(0).Raw(record.str()).Raw(std::string("\x01\0", 2)).str(), false, 1},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    Keys keys(1);
    EXPECT_EQ(Read(cases[i].bytes, keys), cases[i].clean) << i;
    EXPECT_EQ(keys.size(), cases[i].keys) << i;
  }
  EXPECT_EQ(Written(Keys()), std::string(8, '\0'));
}

// Sub keys two levels deep below a key with every kind of value, and a deleted key. Data
// of any length is kept, as the registry keeps a REG_DWORD of 2 bytes.
TEST(RegRecordForm, ReadsAndWritesFieldByFieldBytes) {
  const FormBytes b = FormBytes().Text(u"HKEY_CURRENT_USER\\Software\\Z\\A\\B").U32(0).U32(1).Value(
      u"deep", kRegDword, std::string("\x07\0\0\0", 4));
  const FormBytes a = FormBytes().Text(u"HKEY_CURRENT_USER\\Software\\Z\\A").U32(1).Block(b).U32(0);
  const FormBytes top =
      FormBytes()
          .Text(u"HKEY_CURRENT_USER\\Software\\Z").U32(1).Block(a).U32(9)
          .Value(u"", kRegSz, std::string("h\0i\0\0\0", 6))
          .Value(u"unended", kRegSz, std::string("h\0i\0", 4))
          .Value(u"q", kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08")
          .Value(u"be", kRegDwordBigEndian, "\x12\x34\x56\x78")
          .Value(u"multi", kRegMultiSz, std::string("a\0\0\0\0\0b\0\0\0\0\0", 12))
          .Value(u"gone", kRegDeletedValue, "")
          .Value(u"raw", 0x1234, "\xDE\xAD")
          .Value(u"short", kRegDword, "\x01\x02")
          .Value(u"empty", kRegDwordBigEndian, "");
  const std::string sample = Container({top, Leaf(u"-HKEY_LOCAL_MACHINE\\Software\\Old")}).str();
  Keys keys;
  ASSERT_TRUE(Read(sample, keys));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(Written(keys), sample);

  // Equal bytes could hide a delete mark that reader and writer both miss; the fields
  // of each type are SetRawData's, tested with it.
  ASSERT_EQ(keys[0].values.size(), 9u);
  EXPECT_TRUE(keys[0].values[5].deleteMark);
  EXPECT_EQ(keys[0].values[5].type, kRegDeletedValue);
  EXPECT_EQ(keys[0].values[7].GetData(), (std::vector<unsigned char>{1, 2}));
  EXPECT_TRUE(keys[0].values[8].GetData().empty());
  EXPECT_TRUE(keys[1].deleteMark);
}

TEST(RegRecordForm, StoresWhatItCanHoldAndRefusesTheRest) {
  GMRegValueRecord deleted = Value(kRegSz, u"d");  // marked in text: REG_SZ, empty text
  deleted.deleteMark = true;
  GMRegValueRecord gone = Value(0x12345, u"w");  // a deleted value's type is not stored
  gone.deleteMark = true;
  GMRegValueRecord widest = Value(0xFFFF, u"t");
  widest.bytes = Buffer("\x01");
  GMBuffer<unsigned char> held;
  WriteRecord(Key(u"HKCU\\T", {deleted, gone, widest}), held);
  EXPECT_EQ(String(held), FormBytes()
                              .Text(u"HKEY_CURRENT_USER\\T").U32(0).U32(3)
                              .Value(u"d", kRegDeletedValue, std::string(2, '\0'))
                              .Value(u"w", kRegDeletedValue, "")
                              .Value(u"t", 0xFFFF, "\x01")
                              .str());

  const GMRegValueRecord refused[] = {
      Value(kRegDeletedValue),  // would read back as a deletion
      Value(0x10003),           // would read back as REG_BINARY
  };
  for (const GMRegValueRecord& value : refused) {
    EXPECT_FALSE(RecordFormHolds(value));
    GMRegKeyRecord parent = Key(u"HKCU\\T", {Value(kRegBinary, u"fine")});
    parent.subKeys.push_back(Key(u"HKCU\\T", {value}));
    GMBuffer<unsigned char> record = Buffer("kept");
    EXPECT_EQ(ThrownText<std::invalid_argument>([&] { WriteRecord(parent, record); }), kRegSaveValueFailed);
    EXPECT_EQ(ThrownText<std::invalid_argument>([&] { WriteRecords({Key(u"HKCU\\T"), parent}, record); }),
              kRegSaveValueFailed);
    EXPECT_EQ(String(record), "kept");
  }
}

FormBytes Nested(uint32_t depth) {
  FormBytes key = FormBytes().Text(u"HKCU\\n").U32(depth > 1 ? 1 : 0);
  if (depth > 1) key.Block(Nested(depth - 1));
  return key.U32(0);
}

TEST(RegRecordForm, MalformedRecordsAreSkippedWhole) {
  const FormBytes good = Leaf(u"HKCU\\Good");
  const FormBytes cases[] = {
      Leaf(u"HKEY_CLASSES_ROOT\\x"),
      Leaf(u"HKCUx\\Software"),
      FormBytes().Text(u"HKCU\\x").U32(1).Block(Leaf(u"HKEY_CLASSES_ROOT\\y")).U32(0),
      // Reads past the record's end: values, value count, name, sub key.
      FormBytes().Text(u"HKCU\\x").U32(0).U32(2).Value(u"a", kRegBinary, "\x01"),
      FormBytes().Text(u"HKCU\\x").U32(0),
      FormBytes().U32(100).Raw(std::string("H\0K\0", 4)),
      FormBytes().Text(u"HKCU\\x").U32(1).U32(50).Raw(Leaf(u"HKCU\\y").str()).U32(0),
      Nested(kMaxRegKeyDepth + 1),  // deeper than registry keys nest
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    Keys keys;
    EXPECT_FALSE(Read(Container({good, cases[i], good}).str(), keys)) << i;
    ASSERT_EQ(keys.size(), 2u) << i;
    EXPECT_EQ(keys[1].path, u"Good");
    EXPECT_TRUE(keys[0].subKeys.empty());
  }
  Keys keys;
  EXPECT_TRUE(Read(Container({Nested(kMaxRegKeyDepth)}).str(), keys));
}

TEST(RegRecordForm, MergePutsFirstInFront) {
  const GMBuffer<unsigned char> first = Buffer(Container({Leaf(u"HKCU\\1")}).str());
  GMBuffer<unsigned char> second = Buffer(Container({Leaf(u"HKLM\\2")}).str());
  EXPECT_TRUE(MergeRegRecords(first, second));
  EXPECT_EQ(String(second), Container({Leaf(u"HKEY_CURRENT_USER\\1"), Leaf(u"HKEY_LOCAL_MACHINE\\2")}).str());
  // What reads is merged even when the other side does not.
  GMBuffer<unsigned char> none;
  EXPECT_FALSE(MergeRegRecords(first, none));
  EXPECT_EQ(String(none), Container({Leaf(u"HKEY_CURRENT_USER\\1")}).str());
}

}  // namespace
}  // namespace Zavro
