#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace Zavro::test {

ScopedEnv::ScopedEnv(const char* name, const char16_t* value) : name_(name) {
  if (const char* old = getenv(name)) {
    saved_ = U(old);
    had_ = true;
  }
  if (value != nullptr) {
    setenv(name, Utf8(value).c_str(), 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), Utf8(saved_).c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

fs::path BuiltProgram(const std::string& relative) {
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / relative;
}

int RunProgram(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& output,
               const fs::path& errors) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace Zavro::test
