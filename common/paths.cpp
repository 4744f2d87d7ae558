#include "paths.h"

#include <cstring>

bool JoinPath(char* dst, size_t dstSize, const char* directory, const char* name) {
  size_t directoryLength = std::strlen(directory);
  size_t nameLength = std::strlen(name);
  if (dst == nullptr || directoryLength == 0) return false;
  size_t separator = directory[directoryLength - 1] == '\\' ? 0 : 1;
  // Counted so that no sum can wrap: the directory, the separator, the name
  // and the terminator must all fit.
  if (directoryLength >= dstSize || nameLength >= dstSize - directoryLength - separator) {
    return false;
  }
  std::memmove(dst, directory, directoryLength);
  if (separator != 0) dst[directoryLength] = '\\';
  std::memcpy(dst + directoryLength + separator, name, nameLength + 1);
  return true;
}
