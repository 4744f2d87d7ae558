#include "registry_values.h"

#include <cstring>

#include "text_buffer.h"

namespace {
// Large enough for every fixed count the programs use (at most 54 bytes).
constexpr DWORD kMaxFixedBytes = 256;
}  // namespace

LONG WriteFixedText(HKEY key, const char* name, DWORD type, const char* field, size_t fieldSize,
                    DWORD byteCount) {
  if (byteCount == 0 || byteCount > kMaxFixedBytes) return ERROR_INVALID_PARAMETER;
  // One byte more than any count, always zero: Windows 95/98 read a string on
  // to its terminator, past the count when the text fills it.
  BYTE bytes[kMaxFixedBytes + 1] = {};
  size_t limit = byteCount < fieldSize ? byteCount : fieldSize;
  size_t length = BoundedLength(field, limit);
  if (length == limit && limit < fieldSize && field[limit] != '\0') {
    return ERROR_INVALID_PARAMETER;  // the text goes on past the count
  }
  std::memcpy(bytes, field, length);
  return RegSetValueExA(key, name, 0, type, bytes, byteCount);
}

LONG WriteByteValue(HKEY key, const char* name, BYTE value) {
  return RegSetValueExA(key, name, 0, REG_BINARY, &value, 1);
}

LONG ReadFixedText(HKEY key, const char* name, char* field, size_t fieldSize, DWORD capacity) {
  if (capacity > kMaxFixedBytes || fieldSize <= capacity) return ERROR_INVALID_PARAMETER;
  // Windows leaves the buffer's contents undefined when the value does not fit,
  // so the value is read into scratch space and copied only on success.
  BYTE scratch[kMaxFixedBytes];
  DWORD size = capacity;
  LONG status = RegQueryValueExA(key, name, nullptr, nullptr, scratch, &size);
  if (status != ERROR_SUCCESS) return status;
  if (size > capacity) return ERROR_MORE_DATA;
  std::memcpy(field, scratch, size);
  std::memset(field + size, 0, fieldSize - size);
  return ERROR_SUCCESS;
}

LONG ReadByteValue(HKEY key, const char* name, BYTE* value) {
  BYTE scratch = 0;
  DWORD size = 1;
  LONG status = RegQueryValueExA(key, name, nullptr, nullptr, &scratch, &size);
  if (status != ERROR_SUCCESS) return status;
  if (size == 1) *value = scratch;
  return size == 1 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}
