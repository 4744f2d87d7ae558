// Asking the platform for the Windows and the System directory, the one way
// both programs ask: with the caller's own capacity, taking only a directory
// that arrived whole.
#ifndef RQ47_COMMON_PLATFORM_DIRECTORIES_H
#define RQ47_COMMON_PLATFORM_DIRECTORIES_H

#include <windows.h>

#include <cstddef>

enum class DirectoryAnswer {
  // The directory is in the buffer, terminated.
  kGiven,
  // The call failed: it reported no length.
  kNotGiven,
  // The directory with its terminator does not fit the capacity.
  kTooLong,
};

// The largest capacity asked with: MAX_PATH characters and the terminator.
inline constexpr size_t kLargestDirectoryCapacity = MAX_PATH + 1;

// Asks with `capacity` bytes (the buffer's whole size, at most the largest
// above; a larger one, or none, is not asked with and is kNotGiven). Only
// kGiven changes dst: on any other answer dst holds what it held, so each
// caller decides what a directory that cannot be had means to it.
[[nodiscard]] DirectoryAnswer AskWindowsDirectory(char* dst, size_t capacity);
[[nodiscard]] DirectoryAnswer AskSystemDirectory(char* dst, size_t capacity);

template <size_t N>
[[nodiscard]] DirectoryAnswer AskWindowsDirectory(char (&dst)[N]) {
  static_assert(N <= kLargestDirectoryCapacity, "a capacity the platform is asked with");
  return AskWindowsDirectory(dst, N);
}
template <size_t N>
[[nodiscard]] DirectoryAnswer AskSystemDirectory(char (&dst)[N]) {
  static_assert(N <= kLargestDirectoryCapacity, "a capacity the platform is asked with");
  return AskSystemDirectory(dst, N);
}

#endif  // RQ47_COMMON_PLATFORM_DIRECTORIES_H
