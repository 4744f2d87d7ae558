// The byte and text functions of the Windows builds' runtime, under names of
// their own so that the host can test them beside its C library.
// c_library.cpp gives them their C names (memcpy, strlen, ...) in the
// Windows builds, where no C library is linked.
#ifndef RQ47_RUNTIME_MEMORY_AND_TEXT_H
#define RQ47_RUNTIME_MEMORY_AND_TEXT_H

#include <cstddef>

namespace rq47runtime {

// memcpy, memmove, memset, memcmp, memchr: what the compiler calls for
// copies, moves and zeroing of objects, and what the programs call.
void* CopyBytes(void* to, const void* from, size_t count);
void* MoveBytes(void* to, const void* from, size_t count);
void* FillBytes(void* to, int value, size_t count);
int CompareBytes(const void* left, const void* right, size_t count);
void* FindByte(const void* bytes, int value, size_t count);

// strlen, strcmp, strncmp, strspn: what the programs call on terminated text.
size_t TextLength(const char* text);
int CompareText(const char* left, const char* right);
int CompareTextPrefix(const char* left, const char* right, size_t count);
size_t SpanOf(const char* text, const char* accepted);

}  // namespace rq47runtime

#endif  // RQ47_RUNTIME_MEMORY_AND_TEXT_H
