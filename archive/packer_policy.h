// What the writer asks for each entry it finds: leave it out, or store it with which
// method.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "archive/toc_node.h"

namespace Zavro {

// Includes everything unchanged; keeps the compression level for the encoders.
class GMPackerPolicy {
 public:
  virtual ~GMPackerPolicy() = default;
  virtual int32_t SetLevel(int32_t level) { return level_ = level; }
  virtual int32_t GetLevel() { return level_; }
  virtual void Decide(GMTocNode& entry, bool& exclude) { exclude = false; }

 private:
  int32_t level_ = 0;
};

// Rules by extension, by name and by size. Extensions and names compare without regard
// to case; an extension given without its dot gets one ("tmp" is ".tmp"). A new policy
// changes nothing.
class GMFilePolicy : public GMPackerPolicy {
 public:
  // Decides, in this order: an excluded extension; a name rule that excludes; (files
  // only) a size outside the range gives method 0; the first method, in ascending
  // order, whose extensions hold the entry's extension gives that method.
  void Decide(GMTocNode& entry, bool& exclude) override;

  void ExcludeExtension(const std::u16string& extension);
  // A rule with `exclude` false is kept but leaves the entry to the later rules.
  void SetNameRule(const std::u16string& name, bool exclude);
  // Files smaller than `minimum` or larger than `maximum` are stored (bounds included
  // in the range).
  void SetSizeRange(uint64_t minimum, uint64_t maximum);
  void AddMethodRule(uint32_t method, const std::u16string& extension);

 private:
  std::set<std::u16string> excluded_extensions_;
  std::map<std::u16string, bool> name_rules_;
  uint64_t minimum_size_ = 0;
  uint64_t maximum_size_ = UINT64_MAX;
  std::map<uint32_t, std::set<std::u16string>> method_rules_;
};

}  // namespace Zavro
