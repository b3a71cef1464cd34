// The installer program's whole life, without its window system: the package bytes
// come in, messages go out through a sink, and the result is the exit code. WinMain
// (setup_main_win.cpp) only finds the package in the program's resources and shows the
// messages in boxes. Windows only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Zavro {

// The caption of the installer's message boxes, and its messages.
constexpr char16_t kSetupCaption[] = u"安装错误";
constexpr char16_t kSetupNoPackage[] = u"读取安装包资源出错，请重新获取安装包。";
constexpr char16_t kSetupFailed[] = u"安装失败:%s";
// The per-program numbers the installer leaves for the client's three programs.
constexpr uint32_t kProgramNumber = 11000;
extern const char16_t* const kClientPrograms[3];

class SetupMessages {
 public:
  virtual ~SetupMessages() = default;
  virtual void Show(const std::u16string& text, const std::u16string& caption) = 0;
};

struct SetupOptions {
  // Where the install folder goes; empty: the 32-bit program-files folder.
  std::u16string targetRoot;
  // The installer's file name for "SetupName"; empty: the running program's.
  std::u16string installerName;
};

// The class names of the client's windows that are closed before the install: the main
// window's (a build constant, GM_CLIENT_WINDOW_CLASS) and "GMBubbleWnd".
std::u16string ClientWindowClass();
constexpr char16_t kBubbleWindowClass[] = u"GMBubbleWnd";
// Closes both, when they are open (CloseWindowAndProcess).
void CloseClientWindows();

// Installs the package: 0 after a successful install, -1 after a failure, which is
// explained through `messages` (an empty package, or "安装失败:" with the reason).
int RunSetup(const void* package, size_t size, SetupMessages& messages, const SetupOptions& options = {});

}  // namespace Zavro
