// Folder macros: names between "##" marks ("##my_doc##\a.txt") that stand for folders
// of the machine (built in, from the special folders) or of the install run (custom,
// "install" above all). Names compare without regard to case.
#pragma once

#include <map>
#include <string>

namespace Zavro {

class FolderMacros {
 public:
  // Fills the built-in macros from the special folders (all empty on POSIX).
  FolderMacros();
  // The built-in macros of another machine (a test's), name to folder.
  explicit FolderMacros(const std::map<std::u16string, std::u16string>& builtIn);

  // Defines (or redefines) a custom macro; an empty name does nothing.
  void DefineMacro(const std::u16string& name, const std::u16string& value);
  bool IsMacroDefined(const std::u16string& name) const;
  // A custom macro hides a built-in one of the same name; empty when undefined.
  std::u16string LookupMacro(const std::u16string& name) const;
  // Replaces every occurrence of the first "##name##" token by its value and goes on
  // with the next token; an undefined name stops the expansion there. A token that a
  // macro's value brings back, directly or through other macros, stays as it is and
  // stops the expansion too: a value that holds its own token is expanded once, not
  // forever.
  std::u16string ExpandMacros(const std::u16string& text) const;

  const std::map<std::u16string, std::u16string>& BuiltIn() const { return built_in_; }

 private:
  std::map<std::u16string, std::u16string> built_in_;
  std::map<std::u16string, std::u16string> custom_;
};

// The install folder a package asks for with its metadata value "gmfolder" (macros
// expanded, backslashes): the target root joined with a relative value, an absolute
// value as it stands ("##program_files##\Game", "D:\Games\Game"), the target root itself
// for an empty value. False for a value no install may use: a "." or ".." component or a
// name Windows cannot hold, the root of a drive or share, or exactly the folder of a
// built-in macro (an install into the Windows folder itself); `folder` then holds the
// folder the value names, for the message.
bool ResolveInstallFolder(const std::u16string& targetRoot, const std::u16string& value, const FolderMacros& macros,
                          std::u16string& folder);

}  // namespace Zavro
