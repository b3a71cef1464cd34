// An owned block of bytes with a capacity and a length in use.
//
// When an allocation fails the buffer is left empty: capacity 0 and no block. Its
// users check Capacity() after Resize and treat a short buffer as a failed operation.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

namespace Zavro {

template <typename T>
class GMBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "GMBuffer holds plain bytes");

 public:
  GMBuffer() = default;
  explicit GMBuffer(uint32_t capacity) { Allocate(capacity); }
  GMBuffer(const GMBuffer& other) { CopyFrom(other); }
  GMBuffer(GMBuffer&& other) noexcept
      : capacity_(other.capacity_), data_(other.data_), length_(other.length_) {
    other.capacity_ = 0;
    other.data_ = nullptr;
    other.length_ = 0;
  }
  virtual ~GMBuffer() { delete[] data_; }

  GMBuffer& operator=(const GMBuffer& other) {
    if (this != &other) {
      Free();
      CopyFrom(other);
    }
    return *this;
  }
  GMBuffer& operator=(GMBuffer&& other) noexcept {
    if (this != &other) {
      Free();
      std::swap(capacity_, other.capacity_);
      std::swap(data_, other.data_);
      std::swap(length_, other.length_);
    }
    return *this;
  }

  // Reallocates to exactly `capacity` elements, keeping the first min(old, new) of them.
  // The length stays unless it no longer fits: then it becomes the new capacity.
  void Resize(uint32_t capacity) {
    if (capacity == capacity_) return;
    T* block = nullptr;
    if (capacity != 0) {
      block = new (std::nothrow) T[capacity];
      if (block == nullptr) {
        Free();
        return;
      }
      if (data_ != nullptr) std::memcpy(block, data_, sizeof(T) * std::min(capacity, capacity_));
    }
    delete[] data_;
    data_ = block;
    capacity_ = capacity;
    length_ = std::min(length_, capacity_);
  }

  T* Data() { return data_; }
  const T* Data() const { return data_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t Length() const { return length_; }
  // Sets the length in use, clamped to the capacity.
  void SetLength(uint32_t length) { length_ = std::min(length, capacity_); }

 private:
  void Allocate(uint32_t capacity) {
    if (capacity == 0) return;
    data_ = new (std::nothrow) T[capacity];
    capacity_ = data_ != nullptr ? capacity : 0;
  }
  void Free() {
    delete[] data_;
    data_ = nullptr;
    capacity_ = 0;
    length_ = 0;
  }
  void CopyFrom(const GMBuffer& other) {
    if (other.capacity_ == 0) return;
    Allocate(other.capacity_);
    if (data_ == nullptr) return;
    std::memcpy(data_, other.data_, sizeof(T) * capacity_);
    length_ = std::min(other.length_, capacity_);
  }

  uint32_t capacity_ = 0;
  T* data_ = nullptr;
  uint32_t length_ = 0;
};

// Bytes into a buffer of their length (empty, capacity 0, when it cannot be had), and
// a buffer's bytes in use out of it.
inline GMBuffer<unsigned char> BufferOf(const std::vector<unsigned char>& bytes) {
  GMBuffer<unsigned char> buffer(static_cast<uint32_t>(bytes.size()));
  if (buffer.Capacity() != bytes.size()) return GMBuffer<unsigned char>();
  std::copy(bytes.begin(), bytes.end(), buffer.Data());
  buffer.SetLength(buffer.Capacity());
  return buffer;
}
inline std::vector<unsigned char> BytesOf(const GMBuffer<unsigned char>& buffer) {
  return std::vector<unsigned char>(buffer.Data(), buffer.Data() + buffer.Length());
}

}  // namespace Zavro
