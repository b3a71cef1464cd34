// One entry of an archive's table of contents: a folder, a file, a memory entry (its
// data lands in `buffer` instead of a file) or an inline entry (a small named block
// held in the table itself).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/io/buffer.h"
#include "system/file_types.h"

namespace Zavro {

enum GMTocType : uint32_t {
  kTocDirectory = 0,
  kTocFile = 1,
  kTocMemory = 2,
  kTocInline = 3,
};

class GMTocNode {
 public:
  using Ptr = std::shared_ptr<GMTocNode>;

  explicit GMTocNode(uint32_t type = kTocFile, GMTocNode* parent = nullptr)
      : type(type), parent(parent) {}
  ~GMTocNode();
  GMTocNode(const GMTocNode&) = delete;
  GMTocNode& operator=(const GMTocNode&) = delete;

  bool IsDirectory() const { return type == kTocDirectory; }
  bool IsFile() const { return type == kTocFile; }
  bool IsMemory() const { return type == kTocMemory; }
  bool IsInline() const { return type == kTocInline; }
  bool IsNotDirectory() const { return type != kTocDirectory; }
  GMTocNode* Parent() const { return parent; }
  // Number of parents up to the root (0 for the root).
  uint32_t Depth() const;
  uint32_t NameBytes() const { return static_cast<uint32_t>(name.size() * 2); }

  // Sums of the size (compressed size) fields of this entry and everything below it.
  uint64_t TotalSize() const;
  uint64_t TotalCompressedSize() const;
  // Where the stored data of this entry and everything below it ends (UINT64_MAX when
  // an offset and size overflow).
  uint64_t DataEnd() const;

  // Appends a child and makes this entry its parent.
  GMTocNode& AddChild(Ptr child);
  void ClearChildren() { children.clear(); }

  std::vector<Ptr> children;
  std::u16string name;
  // The entry's file on disk: the source when packing, the target when extracting.
  std::u16string path;
  FileTime creationTime;
  FileTime lastAccessTime;
  FileTime lastWriteTime;
  uint32_t attributes = 0;
  uint64_t size = 0;
  uint32_t method = 0;
  uint64_t dataOffset = 0;
  uint64_t compressedSize = 0;
  // An inline entry's data, or a memory entry's data.
  GMBuffer<unsigned char> buffer;
  uint32_t type;
  GMTocNode* parent;
};

// The one solid block's members: files and memory entries of method 3, in table order.
// The member with a compressed size (the last) locates the block and carries in its
// size the block's whole decoded size; each other member's size is its own.
bool IsSolidMember(const GMTocNode& entry);
// The solid block as the table describes it. It is consistent when it has one last
// member, no member after it, and members before it that fit in the block's size (or
// no members at all).
struct SolidBlock {
  const GMTocNode* last = nullptr;  // the first last member; null without one
  size_t members = 0;
  uint64_t othersSize = 0;  // the members before the last, together
  bool consistent = true;
  uint64_t Size() const { return last ? last->size : 0; }
  // A member's own decoded size: the last one's is what the others leave of the block.
  uint64_t MemberSize(const GMTocNode& member) const {
    return &member == last ? (last->size >= othersSize ? last->size - othersSize : 0) : member.size;
  }
};
SolidBlock FindSolidBlock(const GMTocNode& root);

}  // namespace Zavro
