// The Windows and System directories, the current drive's root and the
// program folder, from which the setup composes its file paths.
#ifndef RQ47SET_INSTALL_PATHS_H
#define RQ47SET_INSTALL_PATHS_H

#include <cstddef>

#include "setup_context.h"

namespace rq47set {

// Fills the Windows directory, the System directory and the drive root.
void InitInstallPaths(SetupContext& context);

// Fill the Windows or the System directory string again from the platform,
// as later steps do. When the call fails or the directory does not fit, the
// string keeps what it held.
void RefreshWindowsDirectory(SetupContext& context);
void RefreshSystemDirectory(SetupContext& context);

// dst = the current drive's root followed by folder, or the folder alone
// (relative to the current directory) when that drive has no root. False,
// with dst untouched, when it does not fit.
[[nodiscard]] bool JoinBelowDriveRoot(char* dst, size_t dstSize, const SetupContext& context,
                                      const char* folder);
template <size_t N>
[[nodiscard]] bool JoinBelowDriveRoot(char (&dst)[N], const SetupContext& context,
                                      const char* folder) {
  return JoinBelowDriveRoot(dst, N, context, folder);
}

enum class ProgramFolderPath {
  kFound,
  kNoDestination,
  // The Windows directory does not fit in 260 bytes with its terminator.
  kWindowsDirectoryTooLong,
  // The platform gave no Windows directory.
  kWindowsDirectoryEmpty,
  // The program folder path with its terminator does not fit the capacity.
  kDoesNotFit,
};

// Writes the Windows directory followed by the program folder into dst, as
// the platform reports the directory now. On any failure dst is not touched.
ProgramFolderPath GetProgramFolderPath(char* dst, int capacity);

}  // namespace rq47set

#endif  // RQ47SET_INSTALL_PATHS_H
