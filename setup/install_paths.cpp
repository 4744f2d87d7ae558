#include "install_paths.h"

#include <windows.h>

#include <cstring>

#include "paths.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

// The current directory is read with this capacity; a path that does not fit
// counts as having no drive letter.
constexpr DWORD kCurrentDirectoryCapacity = 260;
// The program folder builder reads the Windows directory with this capacity.
constexpr UINT kWindowsDirectoryCapacity = 260;
// Drive roots exist for A: to P: only.
constexpr int kLastDriveNumber = 16;

// The directory calls report the length on success and the size they would
// need when the buffer is too small; only a length that fits counts. The
// scratch copy keeps the string as it was when the call fails or does not fit.
template <size_t N>
void FillDirectory(char (&directory)[N], UINT (*query)(LPSTR, UINT)) {
  char scratch[N] = {};
  UINT length = query(scratch, static_cast<UINT>(N));
  if (length == 0 || length >= N) return;
  scratch[length] = '\0';
  std::memcpy(directory, scratch, N);
}

UINT QueryWindowsDirectory(LPSTR buffer, UINT size) { return GetWindowsDirectoryA(buffer, size); }
UINT QuerySystemDirectory(LPSTR buffer, UINT size) { return GetSystemDirectoryA(buffer, size); }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int CurrentDriveNumber() {
  char current[kCurrentDirectoryCapacity] = {};
  DWORD length = GetCurrentDirectoryA(kCurrentDirectoryCapacity, current);
  if (length == 0 || length >= kCurrentDirectoryCapacity || current[1] != ':') return 0;
  return UpperAscii(current[0]) - 'A' + 1;
}

}  // namespace

void RefreshWindowsDirectory(SetupContext& context) {
  FillDirectory(context.windowsDirectory, QueryWindowsDirectory);
}

void RefreshSystemDirectory(SetupContext& context) {
  FillDirectory(context.systemDirectory, QuerySystemDirectory);
}

void InitInstallPaths(SetupContext& context) {
  RefreshWindowsDirectory(context);
  RefreshSystemDirectory(context);

  int drive = CurrentDriveNumber();
  if (drive >= 1 && drive <= kLastDriveNumber) {
    const char root[] = {static_cast<char>('A' + drive - 1), ':', '\\', '\0'};
    static_cast<void>(CopyText(context.driveRoot, root));  // four bytes, as the root is
  }
}

bool JoinBelowDriveRoot(char* dst, size_t dstSize, const SetupContext& context,
                        const char* folder) {
  if (context.driveRoot[0] == '\0') return CopyText(dst, dstSize, folder);
  return JoinPath(dst, dstSize, context.driveRoot, folder);
}

ProgramFolderPath GetProgramFolderPath(char* dst, int capacity) {
  if (dst == nullptr) return ProgramFolderPath::kNoDestination;

  char directory[kWindowsDirectoryCapacity] = {};
  UINT reported = GetWindowsDirectoryA(directory, kWindowsDirectoryCapacity);
  if (reported >= kWindowsDirectoryCapacity) return ProgramFolderPath::kWindowsDirectoryTooLong;
  directory[reported] = '\0';
  if (directory[0] == '\0') return ProgramFolderPath::kWindowsDirectoryEmpty;

  // Room for the longest directory, a backslash, the folder and the terminator.
  char path[kWindowsDirectoryCapacity + sizeof kProgramFolder];
  if (!JoinPath(path, directory, kProgramFolder)) return ProgramFolderPath::kDoesNotFit;

  size_t length = std::strlen(path);
  if (capacity <= 0 || length + 1 > static_cast<size_t>(capacity)) {
    return ProgramFolderPath::kDoesNotFit;
  }
  std::memcpy(dst, path, length + 1);
  return ProgramFolderPath::kFound;
}

}  // namespace rq47set
