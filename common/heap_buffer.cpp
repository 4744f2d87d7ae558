#include "heap_buffer.h"

#include <cstring>

bool HeapBuffer::allocate(size_t size) {
  reset();
  data_ = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
  size_ = data_ != nullptr ? size : 0;
  return data_ != nullptr;
}

bool HeapBuffer::grow(size_t size, size_t keep) {
  if (size <= size_) return true;
  char* larger = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
  if (larger == nullptr) return false;
  if (data_ != nullptr) std::memcpy(larger, data_, keep < size_ ? keep : size_);
  reset();
  data_ = larger;
  size_ = size;
  return true;
}

void HeapBuffer::reset() {
  if (data_ != nullptr) HeapFree(GetProcessHeap(), 0, data_);
  data_ = nullptr;
  size_ = 0;
}
