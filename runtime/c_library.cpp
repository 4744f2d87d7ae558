// The C library functions that rq47set.exe and zuninst.exe need, under their
// C names, in place of a C runtime DLL: the compiler calls memcpy, memmove
// and memset for copies and zeroing of objects and memcmp and memchr for
// std::string_view, and the programs call strlen, strcmp, strncmp and strspn.
// A call of any other C library function fails the link, where it is seen at
// once, instead of reaching for a DLL that Windows 95 may not have.
#include <cstddef>

#include "memory_and_text.h"

extern "C" {

void* memcpy(void* to, const void* from, size_t count) {
  return rq47runtime::CopyBytes(to, from, count);
}
void* memmove(void* to, const void* from, size_t count) {
  return rq47runtime::MoveBytes(to, from, count);
}
void* memset(void* to, int value, size_t count) { return rq47runtime::FillBytes(to, value, count); }
int memcmp(const void* left, const void* right, size_t count) {
  return rq47runtime::CompareBytes(left, right, count);
}
void* memchr(const void* bytes, int value, size_t count) {
  return rq47runtime::FindByte(bytes, value, count);
}
size_t strlen(const char* text) { return rq47runtime::TextLength(text); }
int strcmp(const char* left, const char* right) { return rq47runtime::CompareText(left, right); }
int strncmp(const char* left, const char* right, size_t count) {
  return rq47runtime::CompareTextPrefix(left, right, count);
}
size_t strspn(const char* text, const char* accepted) {
  return rq47runtime::SpanOf(text, accepted);
}

}  // extern "C"
