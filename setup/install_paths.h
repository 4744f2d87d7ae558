// The Windows and System directories, the current drive's root and the
// program folder, from which the setup composes its file paths.
#ifndef RQ47SET_INSTALL_PATHS_H
#define RQ47SET_INSTALL_PATHS_H

namespace rq47set {

// Fills the Windows directory, the System directory and the drive root;
// returns the current drive's number (1 for A:, 0 when it has no letter).
int InitInstallPaths();

// Fill the Windows or the System directory string again from the platform,
// as later steps do. False (the string unchanged) when the call fails or the
// directory does not fit.
bool RefreshWindowsDirectory();
bool RefreshSystemDirectory();

// Writes the Windows directory followed by "\Zelvaran\ZelSet95" into dst.
// 0 on success; 1 dst is null, 2 the Windows directory does not fit in 260
// bytes with its terminator, 3 it came back empty, 4 the path with its
// terminator does not fit in capacity bytes.
// On any failure dst is not touched.
int GetProgramFolderPath(char* dst, int capacity);

}  // namespace rq47set

#endif  // RQ47SET_INSTALL_PATHS_H
