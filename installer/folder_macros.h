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

}  // namespace Zavro
