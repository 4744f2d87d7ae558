// Owner of a block of the process heap, freed with HeapFree when the owner
// goes. The programs take their large buffers (the text files' blocks) from
// the heap: a block the heap cannot give is a failure the caller reports, as
// it reports a failed read or write, never a crash.
#ifndef RQ47_COMMON_HEAP_BUFFER_H
#define RQ47_COMMON_HEAP_BUFFER_H

#include <windows.h>

#include <cstddef>

class HeapBuffer {
 public:
  HeapBuffer() = default;
  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;
  ~HeapBuffer() { reset(); }

  // Holds a new block of `size` bytes in place of what it held; false, and
  // nothing held, when the heap cannot give one.
  bool allocate(size_t size);
  // Holds at least `size` bytes, the first `keep` bytes held kept; false, and
  // the block as it was, when the heap cannot give one.
  bool grow(size_t size, size_t keep);
  void reset();

  char* data() const { return data_; }
  size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
};

#endif  // RQ47_COMMON_HEAP_BUFFER_H
