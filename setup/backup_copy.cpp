#include "backup_copy.h"

#include <windows.h>

#include <cstring>

#include "file_probe.h"
#include "unique_handle.h"

namespace rq47set {
namespace {

// Two blocks on the stack, small enough to need no stack probe.
constexpr DWORD kCompareBlock = 1024;

HANDLE OpenToRead(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// True only when both files could be read to their ends and hold the same bytes.
bool SameBytes(const char* first, const char* second) {
  UniqueHandle a(OpenToRead(first));
  UniqueHandle b(OpenToRead(second));
  if (!a || !b) return false;
  char blockA[kCompareBlock];
  char blockB[kCompareBlock];
  for (;;) {
    DWORD gotA = 0;
    DWORD gotB = 0;
    if (!ReadFile(a.get(), blockA, kCompareBlock, &gotA, nullptr) ||
        !ReadFile(b.get(), blockB, kCompareBlock, &gotB, nullptr) || gotA != gotB ||
        gotA > kCompareBlock) {
      return false;
    }
    if (gotA == 0) return true;
    if (std::memcmp(blockA, blockB, gotA) != 0) return false;
  }
}

}  // namespace

BackupCopy CopyIntoBackup(const char* source, const char* destination) {
  if (CopyFileA(source, destination, FALSE)) return BackupCopy::kCopied;
  // Whatever error the copy gives, only the source itself tells whether it
  // is missing: a backup folder that is not there fails the same way.
  if (ProbeFile(source) == FilePresence::kMissing) return BackupCopy::kSourceMissing;
  return SameBytes(source, destination) ? BackupCopy::kCopied : BackupCopy::kFailed;
}

}  // namespace rq47set
