// Helpers for tests: scratch folders and files set up and checked with the standard
// library, independently of the code under test.
#pragma once

#include <filesystem>
#include <cstdint>
#include <string>
#include <vector>

namespace Zavro::test {

namespace fs = std::filesystem;

// A system path (backslashes) for a standard path, and back.
std::u16string SysPath(const fs::path& path);
fs::path FsPath(const std::u16string& path);

// A fresh folder below the system's temporary folder, removed with its contents at
// the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const fs::path& fs_path() const { return path_; }
  // The folder in system form, and a name below it in system form.
  std::u16string path() const { return SysPath(path_); }
  std::u16string Join(const std::u16string& relative) const;

 private:
  fs::path path_;
};

// Restores the process's current folder at the end of a test that moves it.
class CurrentDirGuard {
 public:
  CurrentDirGuard() : saved_(fs::current_path()) {}
  ~CurrentDirGuard() {
    std::error_code ec;
    fs::current_path(saved_, ec);
  }

 private:
  fs::path saved_;
};

// Sets an environment variable of the process (null: removes it) for the length of a
// test, as the system's own lookups see it, and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char16_t* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::u16string saved_;
  bool had_ = false;
};

// Runs a program of this build the way a user would, for tests of the command-line
// tools: arguments in UTF-8, standard input empty, standard output and error captured
// in files (a pipe could be held open by a child the program leaves behind).
// BuiltProgram gives the path of one built beside the test program ("tools/gmz/gmz");
// RunProgram its exit status, or -1 when it could not be started or did not exit.
fs::path BuiltProgram(const std::string& relative);
int RunProgram(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& output,
               const fs::path& errors);

void WriteBytes(const fs::path& path, const std::string& bytes);
std::string ReadBytes(const fs::path& path);

// UTF-8 literal text to UTF-16, for readable expectations, and back for messages.
std::u16string U(const char* utf8);
std::string Utf8(const std::u16string& text);
std::u16string Decimal(uint64_t value);
bool StartsWithText(const std::u16string& text, const std::u16string& prefix);
// The system's text for an error number, as messages quote it.
std::u16string SystemText(uint32_t code);

}  // namespace Zavro::test
