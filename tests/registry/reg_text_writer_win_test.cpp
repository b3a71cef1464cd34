// Registry text from the writer, imported by the system's registry editor
// (regedit.exe /s): every value must land with exactly the data that the records give.
#include "registry/reg_text_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reg_test_support.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};
using ScopedRegKey = ScopedHandle<RegKeyTraits>;

// A key below HKEY_CURRENT_USER that no other run uses, deleted with its values at the
// end, and with it Software\GmTest once no run has a key there.
class ThrowawayKey {
 public:
  ThrowawayKey()
      : path_(u"Software\\GmTest\\" + test::Decimal(GetCurrentProcessId()) + u"_" +
              test::Decimal(GetTickCount64())) {}
  ~ThrowawayKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, W(path_));
    // Fails, as it should, while another run still has its key there.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\GmTest");
  }
  ThrowawayKey(const ThrowawayKey&) = delete;
  ThrowawayKey& operator=(const ThrowawayKey&) = delete;

  const std::u16string& path() const { return path_; }

 private:
  std::u16string path_;
};

// Runs the registry editor of the Windows folder on `file` and gives its exit code.
DWORD ImportWithRegedit(const std::u16string& file) {
  wchar_t windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return ~DWORD{0};
  std::u16string command =
      u"\"" + U16(windows) + u"\\regedit.exe\" /s \"" + file + u"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, W(&command[0]), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return ~DWORD{0};
  }
  ScopedFileHandle thread(process.hThread);
  ScopedFileHandle owned(process.hProcess);
  DWORD code = ~DWORD{0};
  if (WaitForSingleObject(owned.Get(), 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(owned.Get(), &code);
  } else {
    TerminateProcess(owned.Get(), 1);
  }
  return code;
}

GMRegValueRecord Value(const std::u16string& name, uint32_t type) {
  GMRegValueRecord value;
  value.name = name;
  value.type = type;
  return value;
}

GMRegValueRecord Text(const std::u16string& name, uint32_t type, const std::u16string& text) {
  GMRegValueRecord value = Value(name, type);
  value.text = text;
  return value;
}

GMRegValueRecord Raw(const std::u16string& name, uint32_t type, const std::string& bytes) {
  GMRegValueRecord value = Value(name, type);
  value.KeepRawData(reinterpret_cast<const unsigned char*>(bytes.data()),
                    static_cast<uint32_t>(bytes.size()));
  return value;
}

TEST(RegTextWriterWinTest, RegistryEditorImportsExactlyTheWrittenData) {
  ThrowawayKey throwaway;
  GMRegKeyRecord key;
  key.root = kHKeyCurrentUser;
  key.path = throwaway.path();

  GMRegValueRecord dword = Value(u"dword", kRegDword);
  dword.dword = 0x8000000A;
  GMRegValueRecord qword = Value(u"qword", kRegQword);
  qword.qword = 0x0102030405060708;
  GMRegValueRecord multi = Value(u"multi", kRegMultiSz);
  multi.strings = {u"one \"1\"", u"C:\\two\\", u"3"};
  GMRegValueRecord binary = Value(u"binary", kRegBinary);
  binary.bytes = test::Buffer(std::string("\x00\xFF\x22\x5C", 4));
  key.values = {
      Text(u"", kRegSz, u"the default value"),
      Text(u"quotes", kRegSz, u"say \"hi\""),
      Text(u"backslashes", kRegSz, u"C:\\dir\\new\\"),
      Text(u"quote after backslash", kRegSz, u"a\\\"b\\\\\"c"),
      Text(u"only a quote", kRegSz, u"\""),
      Text(u"empty", kRegSz, u""),
      Text(u"name \"quoted\"", kRegSz, u"1"),
      Text(u"name\\with\\backslashes", kRegSz, u"2"),
      Text(u"name \\\" both", kRegSz, u"3"),
      Text(u"expand", kRegExpandSz, u"%SystemRoot%\\\"x\""),
      multi,
      qword,
      binary,
      dword,
      // Data kept raw reaches the registry as it is. Wine's editor, unlike the
      // system's, adds a NUL unit to hex(1):, hex(2): and hex(7): data whose last
      // whole unit is not NUL; these odd counts end in a NUL unit so that it does not.
      Raw(u"raw text", kRegSz, std::string("A\0\0\0\0", 5)),
      Raw(u"raw expand", kRegExpandSz, std::string("%\0\0\0A", 5)),
      Raw(u"raw dword", kRegDword, "\x01\x02"),
  };

  test::ScratchDir dir;
  GMBuffer<unsigned char> text;
  GMRegTextWriter writer(text);
  writer.WriteKeyText(key);
  test::WriteBytes(dir.fs_path() / "import.reg", test::String(text));
  ASSERT_EQ(ImportWithRegedit(dir.Join(u"import.reg")), 0u);

  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W(key.path), 0, KEY_READ, &opened), ERROR_SUCCESS);
  ScopedRegKey imported(opened);
  for (const GMRegValueRecord& value : key.values) {
    const std::string name = test::Narrow(value.name);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(imported.Get(), W(value.name), nullptr, &type, nullptr, &size),
              ERROR_SUCCESS)
        << name;
    std::vector<unsigned char> data(size);
    ASSERT_EQ(RegQueryValueExW(imported.Get(), W(value.name), nullptr, &type, data.data(), &size),
              ERROR_SUCCESS)
        << name;
    data.resize(size);
    EXPECT_EQ(type, value.type) << name;
    EXPECT_EQ(test::String(data), test::String(value.GetData())) << name;
  }
  DWORD count = 0;
  ASSERT_EQ(RegQueryInfoKeyW(imported.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(count, key.values.size());
}

}  // namespace
}  // namespace Zavro
