#include "install_paths.h"

#include <windows.h>

#include <cstring>

#include "setup_state.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

constexpr char kProgramFolderSuffix[] = "\\Zelvaran\\ZelSet95";
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
bool FillDirectory(char (&directory)[N], UINT (*query)(LPSTR, UINT)) {
  char scratch[N] = {};
  UINT length = query(scratch, static_cast<UINT>(N));
  if (length == 0 || length >= N) return false;
  scratch[length] = '\0';
  std::memcpy(directory, scratch, N);
  return true;
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

bool RefreshWindowsDirectory() {
  return FillDirectory(g_setup.windowsDirectory, QueryWindowsDirectory);
}

bool RefreshSystemDirectory() {
  return FillDirectory(g_setup.systemDirectory, QuerySystemDirectory);
}

int InitInstallPaths() {
  RefreshWindowsDirectory();
  RefreshSystemDirectory();

  int drive = CurrentDriveNumber();
  if (drive >= 1 && drive <= kLastDriveNumber) {
    const char root[] = {static_cast<char>('A' + drive - 1), ':', '\\', '\0'};
    CopyText(g_setup.driveRoot, root);
  }
  return drive;
}

int GetProgramFolderPath(char* dst, int capacity) {
  if (dst == nullptr) return 1;

  // Room for the longest directory, the suffix and the terminator.
  char path[kWindowsDirectoryCapacity + sizeof kProgramFolderSuffix] = {};
  UINT reported = GetWindowsDirectoryA(path, kWindowsDirectoryCapacity);
  if (reported >= kWindowsDirectoryCapacity) return 2;
  path[reported] = '\0';
  size_t length = std::strlen(path);
  if (length == 0) return 3;

  // A root directory ("D:\") ends in the backslash the suffix brings.
  if (path[length - 1] == '\\') path[--length] = '\0';
  if (!AppendText(path, kProgramFolderSuffix)) return 4;  // cannot happen: sized for it

  length = std::strlen(path);
  if (capacity <= 0 || length + 1 > static_cast<size_t>(capacity)) return 4;
  std::memcpy(dst, path, length + 1);
  return 0;
}

}  // namespace rq47set
