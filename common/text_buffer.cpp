#include "text_buffer.h"

#include <cstring>

size_t BoundedLength(const char* text, size_t size) {
  const void* end = std::memchr(text, '\0', size);
  return end == nullptr ? size : static_cast<size_t>(static_cast<const char*>(end) - text);
}

bool CopyText(char* dst, size_t dstSize, const char* src) {
  size_t length = std::strlen(src);
  if (dst == nullptr || length >= dstSize) return false;
  std::memcpy(dst, src, length + 1);
  return true;
}

bool AppendText(char* dst, size_t dstSize, const char* src) {
  size_t used = BoundedLength(dst, dstSize);
  size_t length = std::strlen(src);
  if (used >= dstSize || length >= dstSize - used) return false;
  std::memcpy(dst + used, src, length + 1);
  return true;
}
