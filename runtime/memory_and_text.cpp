// Plain loops: the programs move at most a few hundred kilobytes at a time,
// and these stay small. The Windows builds compile this file so that the
// compiler does not turn a loop back into a call of the function it
// implements (see CMakeLists.txt).
#include "memory_and_text.h"

#include <cstdint>

namespace rq47runtime {

void* CopyBytes(void* to, const void* from, size_t count) {
  unsigned char* out = static_cast<unsigned char*>(to);
  const unsigned char* in = static_cast<const unsigned char*>(from);
  while (count-- > 0) *out++ = *in++;
  return to;
}

void* MoveBytes(void* to, const void* from, size_t count) {
  unsigned char* out = static_cast<unsigned char*>(to);
  const unsigned char* in = static_cast<const unsigned char*>(from);
  // Copied from the end when the destination lies after the source, so an
  // overlap is never read after it was written.
  if (reinterpret_cast<uintptr_t>(out) <= reinterpret_cast<uintptr_t>(in)) {
    while (count-- > 0) *out++ = *in++;
  } else {
    while (count-- > 0) out[count] = in[count];
  }
  return to;
}

void* FillBytes(void* to, int value, size_t count) {
  unsigned char* out = static_cast<unsigned char*>(to);
  while (count-- > 0) *out++ = static_cast<unsigned char>(value);
  return to;
}

int CompareBytes(const void* left, const void* right, size_t count) {
  const unsigned char* a = static_cast<const unsigned char*>(left);
  const unsigned char* b = static_cast<const unsigned char*>(right);
  for (; count > 0; --count, ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
  }
  return 0;
}

void* FindByte(const void* bytes, int value, size_t count) {
  const unsigned char* at = static_cast<const unsigned char*>(bytes);
  const unsigned char wanted = static_cast<unsigned char>(value);
  for (; count > 0; --count, ++at) {
    if (*at == wanted) return const_cast<unsigned char*>(at);
  }
  return nullptr;
}

size_t TextLength(const char* text) {
  const char* end = text;
  while (*end != '\0') ++end;
  return static_cast<size_t>(end - text);
}

// Characters compare as unsigned char, as the C library's do.
int CompareTextPrefix(const char* left, const char* right, size_t count) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(left);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(right);
  for (; count > 0; --count, ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (*a == '\0') return 0;
  }
  return 0;
}

int CompareText(const char* left, const char* right) {
  return CompareTextPrefix(left, right, SIZE_MAX);
}

size_t SpanOf(const char* text, const char* accepted) {
  size_t length = 0;
  while (text[length] != '\0') {
    const char* in = accepted;
    while (*in != '\0' && *in != text[length]) ++in;
    if (*in == '\0') break;
    ++length;
  }
  return length;
}

}  // namespace rq47runtime
