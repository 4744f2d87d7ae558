// Bounds-checked text composition in fixed character buffers. Every function
// takes the destination's whole size and never writes past it; on failure the
// destination is left as it was, so a caller can skip what does not fit.
#ifndef RQ47_COMMON_TEXT_BUFFER_H
#define RQ47_COMMON_TEXT_BUFFER_H

#include <cstddef>

// Copies text with its terminator; false when it does not fit.
[[nodiscard]] bool CopyText(char* dst, size_t dstSize, const char* src);
// Appends text to the terminated text in dst; false when the result does not fit.
[[nodiscard]] bool AppendText(char* dst, size_t dstSize, const char* src);
// Length of the text in a buffer that may lack a terminator.
size_t BoundedLength(const char* text, size_t size);

template <size_t N>
[[nodiscard]] bool CopyText(char (&dst)[N], const char* src) {
  return CopyText(dst, N, src);
}
template <size_t N>
[[nodiscard]] bool AppendText(char (&dst)[N], const char* src) {
  return AppendText(dst, N, src);
}
// A constant text into a buffer that the compiler knows holds it: nothing to check at run time.
template <size_t N, size_t M>
void CopyConstantText(char (&dst)[N], const char (&src)[M]) {
  static_assert(M <= N, "the buffer is too small for the text");
  static_cast<void>(CopyText(dst, N, src));
}

#endif  // RQ47_COMMON_TEXT_BUFFER_H
