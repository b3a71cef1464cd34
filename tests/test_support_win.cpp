#include "test_support.h"

#include <vector>

#include "system/encoding.h"
#include "system/known_folders.h"
#include "system/windows_support.h"

namespace Zavro::test {

ScopedEnv::ScopedEnv(const char* name, const char16_t* value) : name_(name) {
  const std::u16string wide(name_.begin(), name_.end());
  const DWORD size = GetEnvironmentVariableW(W(wide), nullptr, 0);
  if (size != 0) {
    std::vector<wchar_t> buffer(size);
    saved_ = U16(buffer.data(), GetEnvironmentVariableW(W(wide), buffer.data(), size));
    had_ = true;
  }
  SetEnvironmentVariableW(W(wide), value != nullptr ? W(value) : nullptr);
}

ScopedEnv::~ScopedEnv() {
  const std::u16string wide(name_.begin(), name_.end());
  SetEnvironmentVariableW(W(wide), had_ ? W(saved_) : nullptr);
}

namespace {

// One argument as CommandLineToArgvW reads it back: quoted, a quote escaped, and the
// backslashes before a quote (or before the closing quote) doubled.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

HANDLE Inheritable(const fs::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, TRUE};
  return CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

fs::path BuiltProgram(const std::string& relative) {
  return FsPath(ModuleFilePath()).parent_path().parent_path() / (relative + ".exe");
}

int RunProgram(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& output,
               const fs::path& errors) {
  std::wstring line;
  AppendQuoted(line, program.wstring());
  for (const std::string& argument : arguments) {
    line += L' ';
    AppendQuoted(line, W(FromCodePage(argument, kCodePageUtf8)));
  }
  ScopedFileHandle in(Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING));
  ScopedFileHandle out(Inheritable(output, GENERIC_WRITE, CREATE_ALWAYS));
  ScopedFileHandle err(Inheritable(errors, GENERIC_WRITE, CREATE_ALWAYS));
  if (!in.IsValid() || !out.IsValid() || !err.IsValid()) return -1;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.Get();
  startup.hStdOutput = out.Get();
  startup.hStdError = err.Get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  const BOOL got = GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return got ? static_cast<int>(code) : -1;
}

}  // namespace Zavro::test
