#include "platform_directories.h"

#include <cstring>

namespace {

// The calls report the length on success and the size they would need when
// the buffer is too small; what they leave in a buffer that is too small is
// not promised. The directory is read aside and copied only when it fits.
DirectoryAnswer AskDirectory(UINT(WINAPI* query)(LPSTR, UINT), char* dst, size_t capacity) {
  if (dst == nullptr || capacity == 0 || capacity > kLargestDirectoryCapacity) {
    return DirectoryAnswer::kNotGiven;
  }
  char scratch[kLargestDirectoryCapacity] = {};
  UINT length = query(scratch, static_cast<UINT>(capacity));
  if (length == 0) return DirectoryAnswer::kNotGiven;
  if (length >= capacity) return DirectoryAnswer::kTooLong;
  scratch[length] = '\0';
  std::memcpy(dst, scratch, length + 1);
  return DirectoryAnswer::kGiven;
}

}  // namespace

DirectoryAnswer AskWindowsDirectory(char* dst, size_t capacity) {
  return AskDirectory(GetWindowsDirectoryA, dst, capacity);
}

DirectoryAnswer AskSystemDirectory(char* dst, size_t capacity) {
  return AskDirectory(GetSystemDirectoryA, dst, capacity);
}
