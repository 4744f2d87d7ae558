// Reading and writing the modem's registry values the way the programs store
// them: every value is written with a fixed byte count, whatever the length of
// its text, and every read asks for a fixed capacity and ignores the type.
#ifndef RQ47_COMMON_REGISTRY_VALUES_H
#define RQ47_COMMON_REGISTRY_VALUES_H

#include <windows.h>

#include <cstddef>

// Writes exactly byteCount bytes of type `type`: the text of `field` up to and
// including its terminator, then zero bytes up to the count. A field whose
// text fills the whole count without a terminator (as a value of exactly that
// size reads back) is written as it stands. Text longer than the count is
// never cut: nothing is written and ERROR_INVALID_PARAMETER is returned.
LONG WriteFixedText(HKEY key, const char* name, DWORD type, const char* field, size_t fieldSize,
                    DWORD byteCount);

template <size_t N>
LONG WriteFixedString(HKEY key, const char* name, const char (&field)[N], DWORD byteCount) {
  return WriteFixedText(key, name, REG_SZ, field, N, byteCount);
}
// For a literal or a pointer to terminated text.
inline LONG WriteFixedString(HKEY key, const char* name, const char* text, DWORD byteCount) {
  return WriteFixedText(key, name, REG_SZ, text, static_cast<size_t>(-1), byteCount);
}

// Writes a one-byte REG_BINARY value.
LONG WriteByteValue(HKEY key, const char* name, BYTE value);

// Reads a value of at most `capacity` bytes, whatever its type, into a field
// that has room for the capacity and a terminator. On success the field holds
// the value's bytes followed by zero bytes to its end; on any failure
// (missing value, more than `capacity` bytes) the field is left as it was.
LONG ReadFixedText(HKEY key, const char* name, char* field, size_t fieldSize, DWORD capacity);

template <size_t N>
LONG ReadFixedString(HKEY key, const char* name, char (&field)[N], DWORD capacity) {
  static_assert(N >= 2, "a text field holds at least a character and a terminator");
  return ReadFixedText(key, name, field, N, capacity);
}

// Reads a value of at most one byte into `value`; left as it was on failure.
LONG ReadByteValue(HKEY key, const char* name, BYTE* value);

#endif  // RQ47_COMMON_REGISTRY_VALUES_H
