// setup.exe: installs the package it carries as its resource "DATA" 105.
#include "installer/setup_entry.h"
#include "system/windows_support.h"

namespace {

class MessageBoxes : public Zavro::SetupMessages {
 public:
  void Show(const std::u16string& text, const std::u16string& caption) override {
    MessageBoxW(nullptr, Zavro::W(text), Zavro::W(caption), MB_OK);
  }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The resource stays mapped for the life of the program: the install reads it there.
  const void* package = nullptr;
  DWORD size = 0;
  if (HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(105), L"DATA")) {
    HGLOBAL loaded = LoadResource(nullptr, resource);
    size = SizeofResource(nullptr, resource);
    package = loaded != nullptr ? LockResource(loaded) : nullptr;
  }
  MessageBoxes messages;
  return Zavro::RunSetup(package, package != nullptr ? size : 0, messages);
}
