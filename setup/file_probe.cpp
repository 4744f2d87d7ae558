#include "file_probe.h"

#include <windows.h>

#include "unique_handle.h"

namespace rq47set {

FilePresence ProbeFile(const char* path) {
  UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) return FilePresence::kPresent;
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FilePresence::kMissing;
    case ERROR_SHARING_VIOLATION: return FilePresence::kPresent;
    default: return FilePresence::kUnknown;
  }
}

}  // namespace rq47set
