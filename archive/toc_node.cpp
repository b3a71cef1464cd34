#include "archive/toc_node.h"

#include <algorithm>

#include "archive/gmz_format.h"

namespace Zavro {

namespace {

// Walks the tree in table order (pre-order) without recursion: a table of contents can
// be deeper than the stack.
template <typename Visit>
void ForEachBelow(const GMTocNode& top, Visit visit) {
  std::vector<const GMTocNode*> pending{&top};
  while (!pending.empty()) {
    const GMTocNode* node = pending.back();
    pending.pop_back();
    visit(*node);
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.push_back(it->get());
  }
}

}  // namespace

GMTocNode::~GMTocNode() {
  // Dismantles the subtree without recursion, so a deep tree cannot exhaust the stack.
  std::vector<Ptr> pending = std::move(children);
  while (!pending.empty()) {
    Ptr node = std::move(pending.back());
    pending.pop_back();
    if (node && node.use_count() == 1) {
      for (auto& child : node->children) pending.push_back(std::move(child));
      node->children.clear();
    }
  }
}

uint32_t GMTocNode::Depth() const {
  uint32_t depth = 0;
  for (const GMTocNode* p = parent; p != nullptr; p = p->parent) ++depth;
  return depth;
}

uint64_t GMTocNode::TotalSize() const {
  uint64_t total = 0;
  ForEachBelow(*this, [&](const GMTocNode& n) { total += n.size; });
  return total;
}

uint64_t GMTocNode::TotalCompressedSize() const {
  uint64_t total = 0;
  ForEachBelow(*this, [&](const GMTocNode& n) { total += n.compressedSize; });
  return total;
}

uint64_t GMTocNode::DataEnd() const {
  uint64_t end = 0;
  ForEachBelow(*this, [&](const GMTocNode& n) {
    if ((n.IsFile() || n.IsMemory()) && n.compressedSize != 0) {
      const uint64_t last = n.dataOffset + n.compressedSize;
      end = std::max(end, last < n.dataOffset ? UINT64_MAX : last);
    }
  });
  return end;
}

bool IsSolidMember(const GMTocNode& entry) {
  return entry.IsNotDirectory() && !entry.IsInline() && entry.method == kMethodSolid;
}

SolidBlock FindSolidBlock(const GMTocNode& root) {
  SolidBlock block;
  ForEachBelow(root, [&](const GMTocNode& n) {
    if (&n == &root || !IsSolidMember(n)) return;
    ++block.members;
    // A second last member, or any member after the last one, is a second block.
    if (block.last != nullptr) block.consistent = false;
    if (n.compressedSize != 0) {
      if (block.last == nullptr) block.last = &n;
    } else {
      block.othersSize += n.size;
      if (block.othersSize < n.size) block.consistent = false;
    }
  });
  if (block.last == nullptr ? block.othersSize != 0 : block.othersSize > block.last->size) block.consistent = false;
  return block;
}

GMTocNode& GMTocNode::AddChild(Ptr child) {
  child->parent = this;
  children.push_back(std::move(child));
  return *children.back();
}

}  // namespace Zavro
