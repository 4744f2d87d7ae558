// Bounds-checked text composition in fixed character buffers. Every function
// takes the destination's whole size and never writes past it; on failure the
// destination is left as it was, so a caller can skip what does not fit.
#ifndef RQ47_COMMON_TEXT_BUFFER_H
#define RQ47_COMMON_TEXT_BUFFER_H

#include <cstddef>

// Copies text with its terminator; false when it does not fit.
bool CopyText(char* dst, size_t dstSize, const char* src);
// Appends text to the terminated text in dst; false when the result does not fit.
bool AppendText(char* dst, size_t dstSize, const char* src);
// Length of the text in a buffer that may lack a terminator.
size_t BoundedLength(const char* text, size_t size);

template <size_t N>
bool CopyText(char (&dst)[N], const char* src) {
  return CopyText(dst, N, src);
}
template <size_t N>
bool AppendText(char (&dst)[N], const char* src) {
  return AppendText(dst, N, src);
}

#endif  // RQ47_COMMON_TEXT_BUFFER_H
