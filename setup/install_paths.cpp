#include "install_paths.h"

#include <windows.h>

#include <cstring>

#include "not_looked_at.h"
#include "paths.h"
#include "platform_directories.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

// The current directory is read with this capacity; a path that does not fit
// counts as having no drive letter.
constexpr DWORD kCurrentDirectoryCapacity = 260;
// The program folder builder asks for the Windows directory with this capacity.
constexpr size_t kWindowsDirectoryCapacity = 260;
// Drive roots exist for A: to P: only.
constexpr int kLastDriveNumber = 16;

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int CurrentDriveNumber() {
  char current[kCurrentDirectoryCapacity] = {};
  DWORD length = GetCurrentDirectoryA(kCurrentDirectoryCapacity, current);
  if (length == 0 || length >= kCurrentDirectoryCapacity || current[1] != ':') return 0;
  return UpperAscii(current[0]) - 'A' + 1;
}

}  // namespace

// A directory that cannot be had whole leaves the string as it was.
void RefreshWindowsDirectory(SetupContext& context) {
  NotLookedAt(AskWindowsDirectory(context.windowsDirectory));
}

void RefreshSystemDirectory(SetupContext& context) {
  NotLookedAt(AskSystemDirectory(context.systemDirectory));
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

  // Each way the directory cannot be had is told apart: the caller ends the run with it.
  char directory[kWindowsDirectoryCapacity] = {};
  switch (AskWindowsDirectory(directory)) {
    case DirectoryAnswer::kGiven: break;
    case DirectoryAnswer::kNotGiven: return ProgramFolderPath::kWindowsDirectoryEmpty;
    case DirectoryAnswer::kTooLong: return ProgramFolderPath::kWindowsDirectoryTooLong;
  }
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
