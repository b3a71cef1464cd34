// The registry access layer and the apply engine against the registry itself (Wine's in
// the test run), below throwaway keys.
#include "registry/reg_applier.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "reg_test_support.h"
#include "reg_win_test_support.h"
#include "registry/reg_key.h"
#include "registry/reg_record_form.h"
#include "system/string_utils.h"

namespace Zavro {
namespace {

using test::DumpKey;
using test::ThrowawayKey;
using test::Utf8;
using Records = std::deque<GMRegKeyRecord>;

// Registry text with "\n" line ends, in which "~" stands for the key `name`.
Records Parse(const std::u16string& name, const std::string& text) {
  std::u16string lines = test::U(text.c_str());
  ReplaceAll(lines, u"~", name.c_str());
  ReplaceAll(lines, u"\n", u"\r\n");
  return test::ParseBytes(test::Version5Utf16(lines));
}

Records Parse(const ThrowawayKey& key, const std::string& text) {
  return Parse(u"HKEY_CURRENT_USER\\" + key.path(), text);
}

std::string Dump(const ThrowawayKey& key) { return DumpKey(HKEY_CURRENT_USER, key.path()); }

// A record of a lasting key below a volatile one: it cannot be created.
std::string Uncreatable(const test::VolatileKey& key) {
  return "[HKEY_CURRENT_USER\\" + Utf8(key.path()) + "\\Lasting]\n\"v\"=\"1\"\n";
}

// The undo records the applier saved, read back from the record form.
Records SavedUndo(const GMRegApplier& applier) {
  GMBuffer<unsigned char> saved;
  applier.SaveUndo(saved);
  Records undo;
  EXPECT_TRUE(ReadRecords(saved, undo));
  return undo;
}

// Each record's key below `key`, "-" first for a key it deletes, with its numbers of
// values and of sub keys.
std::string Outline(const ThrowawayKey& key, const Records& records) {
  std::string outline;
  for (const GMRegKeyRecord& record : records) {
    outline += (record.deleteMark ? "-" : "") + Utf8(record.path.substr(key.path().size() + 1)) + " " +
               std::to_string(record.values.size()) + " " + std::to_string(record.subKeys.size()) + "; ";
  }
  return outline;
}

// Sets a key's access list to allow everyone only `allowed`.
void RestrictKey(const std::u16string& path, DWORD allowed) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, WRITE_DAC, &key), ERROR_SUCCESS);
  test::ScopedRegKey open(key);
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
  // Sign-extended: 0x80000001 is HKEY_CURRENT_USER on 64-bit builds too.
  EXPECT_EQ(RootKey(kHKeyCurrentUser), static_cast<RegKey>(HKEY_CURRENT_USER));

  GMRegKeyHandle key;
  ASSERT_TRUE(key.OpenKey(RootKey(kHKeyCurrentUser), throwaway.path(), kKeyReadWrite, true));
  // An open key is named by its kernel path.
  const std::u16string kernel = KeyNameFromHandle(key.Key());
  EXPECT_TRUE(StartsWithNoCase(kernel, u"\\REGISTRY\\USER\\")) << Utf8(kernel);
  EXPECT_TRUE(EndsWithNoCase(kernel, u"\\" + throwaway.path())) << Utf8(kernel);

  std::vector<std::u16string> subKeys{u"stale"}, values{u"stale"};
  ASSERT_TRUE(key.EnumKey(subKeys, values));
  EXPECT_TRUE(subKeys.empty() && values.empty());
  EXPECT_TRUE(key.DeleteValue(u"missing"));
  GMRegValueRecord value;
  EXPECT_FALSE(key.QueryValue(u"missing", value));
  EXPECT_EQ(key.LastError(), 2u);
  // A name with a NUL would be cut short by the system: refused.
  EXPECT_FALSE(key.SetValue(std::u16string(u"a\0b", 3), value));
  EXPECT_EQ(key.LastError(), 87u);

  // Text data is stored exactly as given, without a NUL the system would add.
  ASSERT_TRUE(SetStringValue(kHKeyCurrentUser, throwaway.Below(u"s"), u"SetupName", u"abc", 0));
  value = test::RawValue(kRegExpandSz, std::string("x\0y\0", 4));
  ASSERT_TRUE(key.SetValue(u"raw", value));
  EXPECT_EQ(DumpKey(HKEY_CURRENT_USER, throwaway.Below(u"s")), " \"SetupName\" 1 610062006300\n");
  EXPECT_NE(DumpKey(HKEY_CURRENT_USER, throwaway.path()).find(" \"raw\" 2 78007900\n"), std::string::npos);

  // The per-program number is written when it is missing and when it differs.
  const std::u16string numbers = ProgramNumbersKey();
  auto number = [&] {
    DWORD type = 0, data = 0, size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, W(numbers), L"gm-test.exe", RRF_RT_ANY, &type, &data, &size) != ERROR_SUCCESS) {
      return std::string("<missing>");
    }
    return std::to_string(type) + ":" + std::to_string(data);
  };
  RegDeleteKeyValueW(HKEY_CURRENT_USER, W(numbers), L"gm-test.exe");
  ASSERT_EQ(number(), "<missing>");
  SetDwordIfDifferent(u"gm-test.exe", 11000);
  EXPECT_EQ(number(), "4:11000");
  const DWORD other = 5;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, W(numbers), L"gm-test.exe", REG_DWORD, &other, sizeof other),
            ERROR_SUCCESS);
  SetDwordIfDifferent(u"gm-test.exe", 11000);
  EXPECT_EQ(number(), "4:11000");
  ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, W(numbers), L"gm-test.exe"), ERROR_SUCCESS);
}

// Saved, read back and applied, the undo records restore everything, a REG_DWORD of 2
// bytes too. They come in the order that takes the apply back, the deleted tree made
// again first; with both views, one record per view with each value once, the 64-bit
// view's first (on HKEY_CURRENT_USER both views are one key).
TEST(RegApplierWin, UndoRecordsPutEverythingBack) {
  ThrowawayKey key;
  const std::string setup =
      "[~\\Existing]\n\"keep\"=\"1\"\n\"change\"=\"old\"\n\"gone\"=hex:00,01\n\"odd\"=hex(4):01,02\n"
      "[~\\Doomed\\A\\B]\n\"deep\"=dword:00000007\n[~\\Doomed]\n@=\"default\"\n";
  const std::string change =
      "[~\\New]\n\"one\"=\"1\"\n\"two\"=dword:00000002\n"
      "[~\\Existing]\n\"change\"=\"new\"\n\"gone\"=-\n\"odd\"=dword:00000003\n[-~\\Doomed]\n";
  ASSERT_TRUE(GMRegApplier().Apply(Parse(key, setup), false));
  const std::string before = Dump(key);
  EXPECT_NE(before.find("\"odd\" 4 0102\n"), std::string::npos) << before;
  const struct {
    uint32_t mode;
    const char* undo;
  } cases[] = {
      {0, "Doomed 1 1; Existing 3 0; -New 0 0; "},
      {2, "Doomed 1 1; Existing 3 0; Existing 3 0; New 2 0; -New 0 0; "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    GMRegApplier applier(c.mode);
    ASSERT_TRUE(applier.Apply(Parse(key, change), false));
    EXPECT_EQ(Dump(key),
              "\\Existing\n\\Existing \"change\" 1 6e00650077000000\n\\Existing \"keep\" 1 31000000\n"
              "\\Existing \"odd\" 4 03000000\n\\New\n\\New \"one\" 1 31000000\n\\New \"two\" 4 02000000\n");
    const Records undo = SavedUndo(applier);
    EXPECT_EQ(Outline(key, undo), c.undo);
    ASSERT_TRUE(GMRegApplier().Apply(undo, false));
    EXPECT_EQ(Dump(key), before);
  }
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
  for (const char* firstTwo : {"[~\\Existing]\n\"v\"=\"first\"\n\"w\"=\"new\"\n[~\\Existing]\n\"v\"=\"second\"\n",
                               "[~\\New\\Deep]\n\"n\"=\"1\"\n[~\\New]\n\"m\"=\"2\"\n"}) {
    ThrowawayKey key;
    ASSERT_TRUE(GMRegApplier().Apply(Parse(key, "[~\\Existing]\n\"v\"=\"old\"\n[~\\Racy]\n"), false));
    const std::string before = Dump(key);
    const std::u16string racy = key.Below(u"Racy");
    const Records all = Parse(key, firstTwo + std::string("[~\\Racy]\n\"r\"=\"1\"\n"));
    HookedApplier memory(racy, [] { throw std::bad_alloc(); });
    EXPECT_FALSE(memory.Apply(all, false));
    EXPECT_EQ(memory.LastError().Code(), 8u);
    EXPECT_EQ(memory.LastError().Key(), u"HKEY_CURRENT_USER\\" + racy);
    EXPECT_EQ(Dump(key), before);
    HookedApplier fault(racy, [] { throw std::runtime_error("fault"); });
    EXPECT_THROW(fault.Apply(all, false), std::runtime_error);
    EXPECT_EQ(Dump(key), before);

    HookedApplier raced(racy, [&] { RegDeleteKeyW(HKEY_CURRENT_USER, W(racy)); });
    EXPECT_FALSE(raced.Apply(all, false));
    EXPECT_EQ(raced.LastError().Code(), 2u);
    EXPECT_TRUE(raced.LastError().WriteFlag());
    EXPECT_EQ(raced.LastError().Key(), u"HKEY_CURRENT_USER\\" + racy);
    // As before, but for the key the other program removed.
    EXPECT_EQ(Dump(key), "\\Existing\n\\Existing \"v\" 1 6f006c0064000000\n");
  }
}

// Keys that deny access or cannot be made are skipped or fail the apply; nothing is
// changed that cannot be given back, and no record is applied anywhere but at its key.
TEST(RegApplierWin, WhatCannotBeWrittenOrGivenBack) {
  ThrowawayKey key;
  ASSERT_TRUE(GMRegApplier().Apply(
      Parse(key, "[~\\ReadOnly]\n\"v\"=\"old\"\n[~\\Closed]\n[~\\Tree\\Sub]\n\"s\"=\"1\"\n[~]\n\"Foo\"=\"1\"\n"),
      false));
  // A value of type 255, which the record form takes for a delete mark.
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, W(key.path()), L"odd", 255, "\1", 1), ERROR_SUCCESS);
  const std::string original = Dump(key);
  RestrictKey(key.Below(u"ReadOnly"), KEY_READ);
  RestrictKey(key.Below(u"Closed"), 0);
  RestrictKey(key.Below(u"Tree\\Sub"), 0);
  const std::string before = Dump(key);
  test::VolatileKey volatileKey;
  const std::string lasting = Uncreatable(volatileKey);
  const std::string next = "[~\\Next]\n\"n\"=\"1\"\n";

  const struct {
    const char* what;
    std::string record;
    bool tolerant;
    uint32_t code;  // 0: the apply succeeds and skips the record
  } cases[] = {
      {"access denied to writing", "[~\\ReadOnly]\n\"v\"=\"new\"\n", false, 0},
      {"access denied to everything", "[~\\Closed]\n\"v\"=\"new\"\n", false, 0},
      {"a name longer than keys may have", "[~\\" + std::string(300, 'x') + "]\n\"v\"=\"1\"\n", false, 0},
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

  GMRegApplier applier;
  ASSERT_TRUE(applier.Apply(Parse(key, "[~]\n\"odd\"=\"x\"\n\"foo\"=\"2\"\n[-~\\Tree]\n"), true));
  // The value the undo could not hold is left alone; the tree whose copy would miss a
  // part stays whole.
  const std::string applied = Dump(key);
  EXPECT_NE(applied.find("\"odd\" 255 01"), std::string::npos) << applied;
  EXPECT_NE(applied.find("\\Tree\\Sub"), std::string::npos) << applied;
  // Without tolerance the same delete fails, changing nothing.
  GMRegApplier strict;
  EXPECT_FALSE(strict.Apply(Parse(key, "[-~\\Tree]\n"), false));
  EXPECT_EQ(strict.LastError().Code(), 5u);
  for (const char16_t* restricted : {u"ReadOnly", u"Closed", u"Tree\\Sub"}) {
    RestrictKey(key.Below(restricted), KEY_ALL_ACCESS);
  }
  // The rollback gives the value its spelling back ("Foo", not "foo").
  applier.Rollback();
  EXPECT_EQ(Dump(key), original);

  // A root the table does not have, and a sub record outside its key: refused before
  // anything is written.
  Records records = Parse(key, "[~\\Classes]\n\"v\"=\"1\"\n[~\\Elsewhere]\n\"v\"=\"1\"\n");
  GMRegKeyRecord classes = records[0];
  classes.root = kHKeyClassesRoot;
  records[0].subKeys.push_back(records[1]);
  for (const GMRegKeyRecord& record : {classes, records[0]}) {
    EXPECT_FALSE(applier.Apply({record}, true));
    EXPECT_EQ(applier.LastError().Code(), 1010u);
  }
  EXPECT_EQ(Dump(key), original);
}

// A vendor's own key right below a root is created, deleted and taken back like any
// other; the keys the system keeps there are never deleted by a record, and saying so
// fails the apply.
TEST(RegApplierWin, KeysRightBelowARoot) {
  const std::u16string vendor = u"GmTestVendor" + test::Decimal(GetCurrentProcessId());
  auto parse = [&](const std::string& text) { return Parse(u"HKEY_CURRENT_USER\\" + vendor, text); };
  auto vendorKey = [&] { return DumpKey(HKEY_CURRENT_USER, vendor); };
  const std::string created = "[~\\Game]\n\"v\"=\"1\"\n";

  // Created, then a failure: gone again.
  test::VolatileKey volatileKey;
  EXPECT_FALSE(GMRegApplier().Apply(parse(created + Uncreatable(volatileKey)), false));
  EXPECT_EQ(vendorKey(), "<missing>");

  // Created, then its saved undo applied: gone again.
  GMRegApplier applier;
  ASSERT_TRUE(applier.Apply(parse("[~]\n\"top\"=\"1\"\n" + created), false));
  EXPECT_NE(vendorKey(), "<missing>");
  ASSERT_TRUE(GMRegApplier().Apply(SavedUndo(applier), false));
  EXPECT_EQ(vendorKey(), "<missing>");

  // Deleted when a record asks, and given back by the rollback.
  ASSERT_TRUE(GMRegApplier().Apply(parse(created), false));
  const std::string before = vendorKey();
  GMRegApplier deleter;
  ASSERT_TRUE(deleter.Apply(parse("[-~]\n"), false));
  EXPECT_EQ(vendorKey(), "<missing>");
  deleter.Rollback();
  EXPECT_EQ(vendorKey(), before);

  // The system's own keys: refused with the key, or skipped when tolerated.
  for (const char* system : {"HKEY_CURRENT_USER\\Software", "HKEY_CURRENT_USER\\control panel",
                             "HKEY_LOCAL_MACHINE\\SYSTEM", "HKEY_USERS\\.DEFAULT"}) {
    SCOPED_TRACE(system);
    GMRegApplier refusing;
    EXPECT_FALSE(refusing.Apply(parse(created + "[-" + system + "]\n"), false));
    EXPECT_EQ(Utf8(refusing.LastError().Key()), system);
    EXPECT_EQ(refusing.LastError().Code(), 5u);
    EXPECT_TRUE(refusing.LastError().WriteFlag());
    EXPECT_EQ(vendorKey(), before);
    EXPECT_TRUE(GMRegApplier().Apply(parse(std::string("[-") + system + "]\n"), true));
  }
  EXPECT_NE(DumpKey(HKEY_CURRENT_USER, u"Control Panel"), "<missing>");
  RegDeleteTreeW(HKEY_CURRENT_USER, W(vendor));
}

// HKEY_LOCAL_MACHINE\Software has two views on a 64-bit system; a 32-bit program's own
// is the 32-bit one, kept below Wow6432Node. Each view mode writes exactly the views it
// names, and a rollback within the run puts each view back as it was.
TEST(RegApplierWin, ViewModesOfLocalMachineSoftware) {
  const REGSAM own = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;  // on a 64-bit system
  const std::u16string path = u"Software\\GmTest\\Views" + test::Decimal(GetCurrentProcessId());
  auto deleteBoth = [&] {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) continue;
      RegDeleteTreeW(key, nullptr);
      RegCloseKey(key);
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, W(path), view, 0);
    }
  };
  // Each view starts with a value of its own, so that a change in the wrong view shows.
  deleteBoth();
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExW(key, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(view == KEY_WOW64_32KEY ? L"32" : L"64"), 6);
    RegCloseKey(key);
  }
  auto dump = [&](REGSAM view) { return DumpKey(HKEY_LOCAL_MACHINE, path, view); };
  const std::string before32 = dump(KEY_WOW64_32KEY), before64 = dump(KEY_WOW64_64KEY);
  // The 32-bit view is the 64-bit view's Wow6432Node.
  EXPECT_EQ(before32, DumpKey(HKEY_LOCAL_MACHINE, u"Software\\Wow6432Node\\" + path.substr(9), KEY_WOW64_64KEY));
  EXPECT_NE(before32, before64);

  const std::string text = "[~]\n\"v\"=\"new\"\n[~\\App]\n\"Path\"=\"C:\\\\App\"\n";
  const std::string changed = " \"v\" 1 6e00650077000000\n\\App\n\\App \"Path\" 1 43003a005c004100700070000000\n";
  test::VolatileKey volatileKey;
  const struct {
    uint32_t mode;
    REGSAM written;
  } cases[] = {{0, own}, {1, KEY_WOW64_64KEY}, {2, KEY_WOW64_32KEY | KEY_WOW64_64KEY}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    GMRegApplier applier(c.mode);
    ASSERT_TRUE(applier.Apply(Parse(u"HKEY_LOCAL_MACHINE\\" + path, text), false));
    EXPECT_EQ(dump(KEY_WOW64_32KEY), (c.written & KEY_WOW64_32KEY) != 0 ? changed : before32);
    EXPECT_EQ(dump(KEY_WOW64_64KEY), (c.written & KEY_WOW64_64KEY) != 0 ? changed : before64);
    applier.Rollback();
    EXPECT_EQ(dump(KEY_WOW64_32KEY), before32);
    EXPECT_EQ(dump(KEY_WOW64_64KEY), before64);

    // A failure after both records: everything taken back, in each view.
    GMRegApplier failing(c.mode);
    EXPECT_FALSE(failing.Apply(Parse(u"HKEY_LOCAL_MACHINE\\" + path, text + Uncreatable(volatileKey)), false));
    EXPECT_EQ(dump(KEY_WOW64_32KEY), before32);
    EXPECT_EQ(dump(KEY_WOW64_64KEY), before64);
  }
  deleteBoth();
}

}  // namespace
}  // namespace Zavro
