// The registry access layer and the apply engine against the registry itself (Wine's in
// the test run), below throwaway keys.
#include "registry/reg_applier.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "registry/reg_key.h"
#include "registry/reg_parser.h"
#include "registry/reg_record_form.h"
#include "reg_win_test_support.h"
#include "system/string_utils.h"

namespace Zavro {
namespace {

using test::DumpKey;
using test::ScopedRegKey;
using test::ThrowawayKey;
using test::Utf8;
using Records = std::deque<GMRegKeyRecord>;

// Registry text after a version 5 header.
Records ParseText(const std::string& records) {
  const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + records;
  GMRegParser parser;
  parser.Parse(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  return parser.Keys();
}

// Registry text in which "@" stands for `key`'s path.
Records Parse(const ThrowawayKey& key, std::string text) {
  const std::string path = Utf8(key.path());
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + path.size())) {
    text.replace(at, 1, path);
  }
  return ParseText(text);
}

void Apply(const ThrowawayKey& key, const std::string& text) {
  ASSERT_TRUE(GMRegApplier().Apply(Parse(key, text), false));
}

std::string Dump(const ThrowawayKey& key) { return DumpKey(HKEY_CURRENT_USER, key.path()); }

// Deletes a key below HKEY_CURRENT_USER with everything in it.
void DeleteKey(const std::u16string& path) {
  RegDeleteTreeW(HKEY_CURRENT_USER, W(path));
  RegDeleteKeyW(HKEY_CURRENT_USER, W(path));
}

// A record of a lasting key below a volatile one: it cannot be created.
std::string Uncreatable(const test::VolatileKey& key) {
  return "[HKEY_CURRENT_USER\\" + Utf8(key.path()) + "\\Lasting]\r\n\"v\"=\"1\"\r\n";
}

// The undo records the applier saved, read back from the record form.
Records SavedUndo(const GMRegApplier& applier) {
  GMBuffer<unsigned char> saved;
  applier.SaveUndo(saved);
  Records undo;
  EXPECT_TRUE(ReadRecords(saved, undo));
  return undo;
}

// Sets a key's access list to allow everyone only `allowed`.
void RestrictKey(const std::u16string& path, DWORD allowed) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, WRITE_DAC, &key), ERROR_SUCCESS);
  ScopedRegKey open(key);
  alignas(8) unsigned char buffer[256];
  ACL* acl = reinterpret_cast<ACL*>(buffer);
  ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  // Changing the list and deleting stay allowed, so that the key can be removed.
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, allowed | WRITE_DAC | DELETE, everyone));
  FreeSid(everyone);
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
  ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
}

TEST(RegKeyWin, AccessLayer) {
  ThrowawayKey throwaway;
  EXPECT_EQ(RootKey(kHKeyCurrentUser), static_cast<RegKey>(HKEY_CURRENT_USER));
  EXPECT_EQ(KeyNameFromHandle(HKEY_LOCAL_MACHINE), u"HKEY_LOCAL_MACHINE");
  EXPECT_EQ(KeyNameFromHandle(nullptr), u"");

  GMRegKeyHandle key;
  ASSERT_TRUE(key.OpenKey(RootKey(kHKeyCurrentUser), throwaway.path(), kKeyReadWrite, true));
  EXPECT_EQ(key.LastError(), 0u);
  EXPECT_EQ(key.FullName(), u"HKEY_CURRENT_USER\\" + throwaway.path());
  // An open key is named by its kernel path.
  const std::u16string kernel = KeyNameFromHandle(key.Key());
  EXPECT_TRUE(StartsWithNoCase(kernel, u"\\REGISTRY\\USER\\")) << Utf8(kernel);
  EXPECT_TRUE(EndsWithNoCase(kernel, u"\\" + throwaway.path())) << Utf8(kernel);

  std::vector<std::u16string> subKeys{u"stale"}, values{u"stale"};
  ASSERT_TRUE(key.EnumKey(subKeys, values));
  EXPECT_TRUE(subKeys.empty() && values.empty());
  EXPECT_TRUE(key.DeleteValue(u"missing"));
  GMRegValueRecord missing;
  EXPECT_FALSE(key.QueryValue(u"missing", missing));
  EXPECT_EQ(key.LastError(), 2u);

  // A REG_DWORD the registry keeps with 2 bytes comes back with those 2 bytes.
  const BYTE two[] = {1, 2};
  ASSERT_EQ(RegSetValueExW(static_cast<HKEY>(key.Key()), L"short", 0, REG_DWORD, two, 2), ERROR_SUCCESS);
  GMRegValueRecord value;
  ASSERT_TRUE(key.QueryValue(u"short", value));
  EXPECT_EQ(value.type, kRegDword);
  EXPECT_EQ(value.GetData(), (std::vector<unsigned char>{1, 2}));
  EXPECT_EQ(value.ownerKey, key.FullName());
  // A name with a NUL would be cut short by the system: refused.
  EXPECT_FALSE(key.SetValue(std::u16string(u"a\0b", 3), value));
  EXPECT_EQ(key.LastError(), 87u);

  // Text data is stored exactly as given, without a NUL the system would add.
  ASSERT_TRUE(SetStringValue(kHKeyCurrentUser, throwaway.Below(u"s"), u"SetupName", u"abc", 0));
  GMRegValueRecord raw;
  raw.type = kRegExpandSz;
  raw.KeepRawData(reinterpret_cast<const unsigned char*>("x\0y\0"), 4);
  ASSERT_TRUE(key.SetValue(u"raw", raw));
  EXPECT_EQ(DumpKey(HKEY_CURRENT_USER, throwaway.Below(u"s")), " \"SetupName\" 1 610062006300\n");
  EXPECT_NE(DumpKey(HKEY_CURRENT_USER, throwaway.path()).find(" \"raw\" 2 78007900\n"), std::string::npos);

  // The per-program number is written when it is missing and when it differs.
  const std::u16string numbers = ProgramNumbersKey();
  auto number = [&] {
    GMRegKeyHandle reader;
    GMRegValueRecord value;
    if (!reader.OpenKey(RootKey(kHKeyCurrentUser), numbers, kKeyRead, false) ||
        !reader.QueryValue(u"gm-test.exe", value)) {
      return std::u16string(u"<missing>");
    }
    return test::Decimal(value.type) + u":" + test::Decimal(value.dword);
  };
  RegDeleteKeyValueW(HKEY_CURRENT_USER, W(numbers), L"gm-test.exe");
  ASSERT_EQ(number(), u"<missing>");
  SetDwordIfDifferent(u"gm-test.exe", 11000);
  EXPECT_EQ(number(), u"4:11000");
  const DWORD other = 5;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, W(numbers), L"gm-test.exe", REG_DWORD, &other, sizeof other),
            ERROR_SUCCESS);
  SetDwordIfDifferent(u"gm-test.exe", 11000);
  EXPECT_EQ(number(), u"4:11000");
  ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, W(numbers), L"gm-test.exe"), ERROR_SUCCESS);
}

TEST(RegApplierWin, UndoRecordsPutEverythingBack) {
  ThrowawayKey key;
  Apply(key,
        "[HKEY_CURRENT_USER\\@\\Existing]\r\n\"keep\"=\"1\"\r\n\"change\"=\"old\"\r\n\"gone\"=hex:00,01\r\n"
        "[HKEY_CURRENT_USER\\@\\Doomed\\A\\B]\r\n\"deep\"=dword:00000007\r\n"
        "[HKEY_CURRENT_USER\\@\\Doomed]\r\n@=\"default\"\r\n");
  const std::string before = Dump(key);

  GMRegApplier applier;
  ASSERT_TRUE(applier.Apply(Parse(key, "[HKEY_CURRENT_USER\\@\\New]\r\n\"one\"=\"1\"\r\n\"two\"=dword:00000002\r\n"
                                       "[HKEY_CURRENT_USER\\@\\Existing]\r\n\"change\"=\"new\"\r\n\"gone\"=-\r\n"
                                       "[-HKEY_CURRENT_USER\\@\\Doomed]\r\n"),
                            false));
  EXPECT_EQ(Dump(key),
            "\\Existing\n\\Existing \"change\" 1 6e00650077000000\n\\Existing \"keep\" 1 31000000\n"
            "\\New\n\\New \"one\" 1 31000000\n\\New \"two\" 4 02000000\n");

  // Saved, read back and applied, the undo records restore it all; the undo of the
  // last record (the deleted tree, to be made again) comes first.
  const Records undo = SavedUndo(applier);
  ASSERT_EQ(undo.size(), 3u);
  EXPECT_FALSE(undo[0].deleteMark);
  EXPECT_EQ(undo[0].path, key.Below(u"Doomed"));
  EXPECT_EQ(undo[0].subKeys.size(), 1u);
  EXPECT_TRUE(undo[2].deleteMark);
  EXPECT_EQ(undo[2].path, key.Below(u"New"));
  ASSERT_TRUE(GMRegApplier().Apply(undo, false));
  EXPECT_EQ(Dump(key), before);
}

// Runs `hook` between the probe of the key at `path` and its opening: another program
// deleting the key, or a lack of memory or a fault inside the apply.
class HookedApplier : public GMRegApplier {
 public:
  HookedApplier(std::u16string path, std::function<void()> hook) : path_(std::move(path)), hook_(std::move(hook)) {}

 protected:
  void OnProbed(const GMRegKeyRecord& record) override {
    if (record.path == path_) hook_();
  }

 private:
  std::u16string path_;
  std::function<void()> hook_;
};

// A failure half way takes back everything applied: a lack of memory (reported as
// error 8, never as the last registry failure), a fault (rethrown), or a key that
// vanishes between its probe and its opening, as another program might delete it.
TEST(RegApplierWin, AFailureTakesEverythingBack) {
  // Two records that change one value, or that make a key and write into it, before the
  // failing one.
  const std::string firstTwo[] = {
      "[HKEY_CURRENT_USER\\@\\Existing]\r\n\"v\"=\"first\"\r\n\"w\"=\"new\"\r\n"
      "[HKEY_CURRENT_USER\\@\\Existing]\r\n\"v\"=\"second\"\r\n",
      "[HKEY_CURRENT_USER\\@\\New\\Deep]\r\n\"n\"=\"1\"\r\n"
      "[HKEY_CURRENT_USER\\@\\New]\r\n\"m\"=\"2\"\r\n",
  };
  for (const std::string& records : firstTwo) {
    ThrowawayKey key;
    Apply(key, "[HKEY_CURRENT_USER\\@\\Existing]\r\n\"v\"=\"old\"\r\n[HKEY_CURRENT_USER\\@\\Racy]\r\n");
    const std::string before = Dump(key);
    const std::u16string racy = key.Below(u"Racy");
    const Records all = Parse(key, records + "[HKEY_CURRENT_USER\\@\\Racy]\r\n\"r\"=\"1\"\r\n");
    HookedApplier memory(racy, [] { throw std::bad_alloc(); });
    EXPECT_FALSE(memory.Apply(all, false));
    EXPECT_EQ(memory.LastError().Code(), 8u);
    EXPECT_EQ(memory.LastError().Key(), u"HKEY_CURRENT_USER\\" + racy);
    EXPECT_EQ(Dump(key), before);
    HookedApplier fault(racy, [] { throw std::runtime_error("fault"); });
    EXPECT_THROW(fault.Apply(all, false), std::runtime_error);
    EXPECT_EQ(Dump(key), before);

    HookedApplier raced(racy, [&] { DeleteKey(racy); });
    EXPECT_FALSE(raced.Apply(all, false));
    EXPECT_EQ(raced.LastError().Code(), 2u);
    EXPECT_TRUE(raced.LastError().WriteFlag());
    EXPECT_EQ(raced.LastError().Key(), u"HKEY_CURRENT_USER\\" + racy);
    // As before, but for the key the other program removed.
    EXPECT_EQ(Dump(key), "\\Existing\n\\Existing \"v\" 1 6f006c0064000000\n");
  }
}

TEST(RegApplierWin, KeysThatCannotBeWritten) {
  ThrowawayKey key;
  Apply(key, "[HKEY_CURRENT_USER\\@\\ReadOnly]\r\n\"v\"=\"old\"\r\n[HKEY_CURRENT_USER\\@\\Closed]\r\n");
  const std::string original = Dump(key);
  RestrictKey(key.Below(u"ReadOnly"), KEY_READ);
  RestrictKey(key.Below(u"Closed"), 0);
  const std::string before = Dump(key);
  test::VolatileKey volatileKey;
  const std::string lasting = Uncreatable(volatileKey);
  const std::string next = "[HKEY_CURRENT_USER\\@\\Next]\r\n\"n\"=\"1\"\r\n";

  const struct {
    const char* what;
    std::string record;
    bool tolerant;
    uint32_t code;  // 0: the apply succeeds and skips the record
  } cases[] = {
      {"access denied to writing", "[HKEY_CURRENT_USER\\@\\ReadOnly]\r\n\"v\"=\"new\"\r\n", false, 0},
      {"access denied to everything", "[HKEY_CURRENT_USER\\@\\Closed]\r\n\"v\"=\"new\"\r\n", false, 0},
      {"a name longer than keys may have", "[HKEY_CURRENT_USER\\@\\" + std::string(300, 'x') + "]\r\n\"v\"=\"1\"\r\n",
       false, 0},
      {"a key that cannot be created", lasting, false, 1021},
      {"the same, tolerated", lasting, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    GMRegApplier applier;
    Records records = Parse(key, next + c.record + next);
    records[2].values[0].text = u"2";
    EXPECT_EQ(applier.Apply(records, c.tolerant), c.code == 0);
    EXPECT_EQ(applier.LastError().Code(), c.code);
    if (c.code != 0) {
      EXPECT_EQ(Dump(key), before);
      continue;
    }
    // The record is skipped, the ones around it applied and taken back.
    const std::string applied = Dump(key);
    EXPECT_NE(applied.find("\\Next \"n\" 1 32000000"), std::string::npos) << applied;
    EXPECT_NE(applied.find("\\ReadOnly \"v\" 1 6f006c0064000000"), std::string::npos) << applied;
    applier.Rollback();
    EXPECT_EQ(Dump(key), before);
  }

  // A root the table does not have is never taken for another.
  GMRegKeyRecord classes = Parse(key, "[HKEY_CURRENT_USER\\@\\Classes]\r\n\"v\"=\"1\"\r\n")[0];
  classes.root = kHKeyClassesRoot;
  GMRegApplier applier;
  EXPECT_FALSE(applier.Apply({classes}, true));
  EXPECT_EQ(applier.LastError().Code(), 1010u);
  RestrictKey(key.Below(u"ReadOnly"), KEY_ALL_ACCESS);
  RestrictKey(key.Below(u"Closed"), KEY_ALL_ACCESS);
  EXPECT_EQ(Dump(key), original);
}

TEST(RegApplierWin, NothingChangesThatCannotBeGivenBack) {
  ThrowawayKey key;
  Apply(key, "[HKEY_CURRENT_USER\\@\\Tree\\Sub]\r\n\"s\"=\"1\"\r\n[HKEY_CURRENT_USER\\@]\r\n\"Foo\"=\"1\"\r\n");
  // A value of type 255, which the record form takes for a delete mark.
  HKEY open = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W(key.path()), 0, KEY_ALL_ACCESS, &open), ERROR_SUCCESS);
  RegSetValueExW(open, L"odd", 0, 255, reinterpret_cast<const BYTE*>("\1"), 1);
  RegCloseKey(open);
  const std::string before = Dump(key);
  RestrictKey(key.Below(u"Tree\\Sub"), 0);

  GMRegApplier applier;
  ASSERT_TRUE(applier.Apply(Parse(key, "[HKEY_CURRENT_USER\\@]\r\n\"odd\"=\"x\"\r\n\"foo\"=\"2\"\r\n"
                                       "[-HKEY_CURRENT_USER\\@\\Tree]\r\n"),
                            true));
  // The value the undo could not hold is left alone; the tree whose copy would miss a
  // part stays whole.
  const std::string applied = Dump(key);
  EXPECT_NE(applied.find("\"odd\" 255 01"), std::string::npos) << applied;
  EXPECT_NE(applied.find("\\Tree\\Sub"), std::string::npos) << applied;
  // Without tolerance the same delete fails, changing nothing.
  GMRegApplier strict;
  EXPECT_FALSE(strict.Apply(Parse(key, "[-HKEY_CURRENT_USER\\@\\Tree]\r\n"), false));
  EXPECT_EQ(strict.LastError().Code(), 5u);
  RestrictKey(key.Below(u"Tree\\Sub"), KEY_ALL_ACCESS);
  // The rollback gives the value its spelling back ("Foo", not "foo").
  applier.Rollback();
  EXPECT_EQ(Dump(key), before);

  // A sub record outside its key is refused before anything is written.
  GMRegKeyRecord parent = Parse(key, "[HKEY_CURRENT_USER\\@\\P]\r\n\"v\"=\"1\"\r\n")[0];
  GMRegKeyRecord stray = Parse(key, "[HKEY_CURRENT_USER\\@\\Elsewhere]\r\n\"v\"=\"1\"\r\n")[0];
  parent.subKeys.push_back(stray);
  EXPECT_FALSE(applier.Apply({parent}, false));
  EXPECT_EQ(applier.LastError().Code(), 1010u);
  EXPECT_EQ(Dump(key), before);
}

TEST(RegApplierWin, OddDataAndBothViews) {
  ThrowawayKey key;
  // A REG_DWORD of 2 bytes is written as it is, and given back as it was.
  Apply(key, "[HKEY_CURRENT_USER\\@]\r\n\"odd\"=hex(4):01,02\r\n");
  const std::string before = Dump(key);
  EXPECT_NE(before.find("\"odd\" 4 0102\n"), std::string::npos) << before;
  GMRegApplier applier(2);
  ASSERT_TRUE(
      applier.Apply(Parse(key, "[HKEY_CURRENT_USER\\@]\r\n\"odd\"=dword:00000003\r\n\"new\"=\"n\"\r\n"), false));
  // One undo record per view, each value once in each.
  const Records undoRecords = applier.UndoRecords();
  ASSERT_EQ(undoRecords.size(), 2u);
  EXPECT_EQ(undoRecords[0].values.size(), 2u);
  EXPECT_EQ(undoRecords[1].values.size(), 2u);
  ASSERT_TRUE(GMRegApplier().Apply(SavedUndo(applier), false));
  EXPECT_EQ(Dump(key), before);
}

// A vendor's own key right below a root is created, deleted and taken back like any
// other; the keys the system keeps there are never deleted by a record, and saying so
// fails the apply.
TEST(RegApplierWin, KeysRightBelowARoot) {
  const std::u16string vendor = u"GmTestVendor" + test::Decimal(GetCurrentProcessId());
  const std::string key = "[HKEY_CURRENT_USER\\" + Utf8(vendor);
  auto vendorKey = [&] { return DumpKey(HKEY_CURRENT_USER, vendor); };
  const std::string created = key + "\\Game]\r\n\"v\"=\"1\"\r\n";

  // Created, then a failure: gone again.
  test::VolatileKey volatileKey;
  GMRegApplier failing;
  EXPECT_FALSE(failing.Apply(ParseText(created + Uncreatable(volatileKey)), false));
  EXPECT_EQ(vendorKey(), "<missing>");

  // Created, then its saved undo applied: gone again.
  GMRegApplier applier;
  ASSERT_TRUE(applier.Apply(ParseText(key + "]\r\n\"top\"=\"1\"\r\n" + created), false));
  EXPECT_NE(vendorKey(), "<missing>");
  ASSERT_TRUE(GMRegApplier().Apply(SavedUndo(applier), false));
  EXPECT_EQ(vendorKey(), "<missing>");

  // Deleted when a record asks, and given back by the rollback.
  ASSERT_TRUE(GMRegApplier().Apply(ParseText(created), false));
  const std::string before = vendorKey();
  GMRegApplier deleter;
  ASSERT_TRUE(deleter.Apply(ParseText("[-HKEY_CURRENT_USER\\" + Utf8(vendor) + "]\r\n"), false));
  EXPECT_EQ(vendorKey(), "<missing>");
  deleter.Rollback();
  EXPECT_EQ(vendorKey(), before);

  // The system's own keys: refused with the key, or skipped when tolerated.
  for (const char* system : {"HKEY_CURRENT_USER\\Software", "HKEY_CURRENT_USER\\control panel",
                             "HKEY_LOCAL_MACHINE\\SYSTEM", "HKEY_USERS\\.DEFAULT"}) {
    SCOPED_TRACE(system);
    GMRegApplier refusing;
    EXPECT_FALSE(refusing.Apply(ParseText(created + "[-" + system + "]\r\n"), false));
    EXPECT_EQ(Utf8(refusing.LastError().Key()), system);
    EXPECT_EQ(refusing.LastError().Code(), 5u);
    EXPECT_TRUE(refusing.LastError().WriteFlag());
    EXPECT_EQ(vendorKey(), before);
    EXPECT_TRUE(GMRegApplier().Apply(ParseText(std::string("[-") + system + "]\r\n"), true));
  }
  EXPECT_NE(DumpKey(HKEY_CURRENT_USER, u"Control Panel"), "<missing>");
  DeleteKey(vendor);
}

// HKEY_LOCAL_MACHINE\Software has two views on a 64-bit system; a 32-bit program's own
// is the 32-bit one, kept below Wow6432Node. Each view mode writes exactly the views it
// names, and a rollback within the run puts each view back as it was.
TEST(RegApplierWin, ViewModesOfLocalMachineSoftware) {
  const bool wow64 = sizeof(void*) == 4;  // the test runs on a 64-bit system
  const REGSAM own = wow64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  const std::u16string path = u"Software\\GmTest\\Views" + test::Decimal(GetCurrentProcessId());
  auto deleteBoth = [&] {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
      }
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, W(path), view, 0);
    }
  };
  auto dump = [&](REGSAM view) { return DumpKey(HKEY_LOCAL_MACHINE, path, view); };
  // Each view starts with a value of its own, so that a change in the wrong view shows.
  auto prepare = [&] {
    deleteBoth();
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                                nullptr),
                ERROR_SUCCESS);
      const wchar_t* text = view == KEY_WOW64_32KEY ? L"32" : L"64";
      RegSetValueExW(key, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 6);
      RegCloseKey(key);
    }
  };
  // The 32-bit view is the 64-bit view's Wow6432Node.
  prepare();
  EXPECT_EQ(dump(KEY_WOW64_32KEY),
            DumpKey(HKEY_LOCAL_MACHINE, u"Software\\Wow6432Node\\" + path.substr(9), KEY_WOW64_64KEY));
  EXPECT_NE(dump(KEY_WOW64_32KEY), dump(KEY_WOW64_64KEY));

  const std::string text = "[HKEY_LOCAL_MACHINE\\" + Utf8(path) + "]\r\n\"v\"=\"new\"\r\n[HKEY_LOCAL_MACHINE\\" +
                           Utf8(path) + "\\App]\r\n\"Path\"=\"C:\\\\App\"\r\n";
  const std::string changed = " \"v\" 1 6e00650077000000\n\\App\n\\App \"Path\" 1 43003a005c004100700070000000\n";
  struct Case {
    uint32_t mode;
    std::vector<REGSAM> written;
  };
  const Case cases[] = {{0, {own}}, {1, {KEY_WOW64_64KEY}}, {2, {KEY_WOW64_32KEY, KEY_WOW64_64KEY}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    prepare();
    const std::string before32 = dump(KEY_WOW64_32KEY), before64 = dump(KEY_WOW64_64KEY);
    GMRegApplier applier(c.mode);
    ASSERT_TRUE(applier.Apply(ParseText(text), false));
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      const bool written = std::find(c.written.begin(), c.written.end(), view) != c.written.end();
      EXPECT_EQ(dump(view), written ? changed : view == KEY_WOW64_32KEY ? before32 : before64) << view;
    }
    applier.Rollback();
    EXPECT_EQ(dump(KEY_WOW64_32KEY), before32);
    EXPECT_EQ(dump(KEY_WOW64_64KEY), before64);

    // A failure after both records: everything taken back, in each view.
    test::VolatileKey volatileKey;
    GMRegApplier failing(c.mode);
    EXPECT_FALSE(failing.Apply(ParseText(text + Uncreatable(volatileKey)), false));
    EXPECT_EQ(dump(KEY_WOW64_32KEY), before32);
    EXPECT_EQ(dump(KEY_WOW64_64KEY), before64);
  }
  deleteBoth();
}

}  // namespace
}  // namespace Zavro
