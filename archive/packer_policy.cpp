#include "archive/packer_policy.h"

#include "system/path_text.h"
#include "system/file_system.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

std::u16string Lower(std::u16string text) {
  ToLowerInPlace(text);
  return text;
}

// An extension as ExtensionPart gives it: "tmp" means ".tmp".
std::u16string Extension(const std::u16string& text) {
  if (text.empty() || text[0] == u'.') return Lower(text);
  return Lower(u"." + text);
}

}  // namespace

void GMFilePolicy::ExcludeExtension(const std::u16string& extension) {
  excluded_extensions_.insert(Extension(extension));
}

void GMFilePolicy::SetNameRule(const std::u16string& name, bool exclude) { name_rules_[Lower(name)] = exclude; }

void GMFilePolicy::SetSizeRange(uint64_t minimum, uint64_t maximum) {
  minimum_size_ = minimum;
  maximum_size_ = maximum;
}

void GMFilePolicy::AddMethodRule(uint32_t method, const std::u16string& extension) {
  method_rules_[method].insert(Extension(extension));
}

void GMFilePolicy::Decide(GMTocNode& entry, bool& exclude) {
  exclude = false;
  const std::u16string extension = Lower(ExtensionPart(entry.name));
  if (excluded_extensions_.count(extension) != 0) {
    exclude = true;
    return;
  }
  auto rule = name_rules_.find(Lower(entry.name));
  if (rule != name_rules_.end() && rule->second) {
    exclude = true;
    return;
  }
  if (entry.IsDirectory()) return;
  if (entry.size < minimum_size_ || entry.size > maximum_size_) entry.method = 0;
  if (method_rules_.empty()) return;
  for (const auto& [method, extensions] : method_rules_) {
    if (extensions.count(extension) != 0) {
      entry.method = method;
      return;
    }
  }
}

}  // namespace Zavro
