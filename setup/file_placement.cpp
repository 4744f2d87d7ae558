#include "file_placement.h"

#include <windows.h>

#include <cstring>

#include "install_paths.h"
#include "package_files.h"
#include "setup_state.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

constexpr char kProgramFolderSuffix[] = "\\Zelvaran\\zelset95";
constexpr char kHelpFolderSuffix[] = "\\help";

// directory followed by suffix (which begins with a backslash). A directory
// that is a drive root ("D:\") already ends in the separator and does not get
// a second one. False, with dst untouched, when the directory is unknown or
// the path does not fit.
template <size_t N>
bool JoinPath(char (&dst)[N], const char* directory, const char* suffix) {
  size_t length = std::strlen(directory);
  if (length == 0) return false;
  if (directory[length - 1] == '\\' && suffix[0] == '\\') ++suffix;
  return ComposePath(dst, directory, suffix);
}

// directory, a backslash and the file name; false when it does not fit.
template <size_t N>
bool JoinName(char (&dst)[N], const char* directory, const char* name) {
  return JoinPath(dst, directory, "\\") && AppendText(dst, name);
}

// Copies folder\name to destinationFolder\destinationName, overwriting what is
// there. A path that does not fit is not copied at all.
void PlaceFile(const char* folder, const char* name, const char* destinationFolder,
               const char* destinationName) {
  char source[MAX_PATH];
  char destination[MAX_PATH];
  if (!JoinName(source, folder, name) ||
      !JoinName(destination, destinationFolder, destinationName)) {
    return;
  }
  CopyFileA(source, destination, FALSE);  // a file that cannot be placed is passed over
}

}  // namespace

void PlaceModemFiles() {
  RefreshWindowsDirectory();
  RefreshSystemDirectory();

  char programFolder[MAX_PATH];
  char helpFolder[MAX_PATH];
  // A program folder path that does not fit leaves nothing to copy; a help
  // folder path that does not fit leaves only the help file unplaced.
  if (!JoinPath(programFolder, g_setup.windowsDirectory, kProgramFolderSuffix)) return;
  if (!JoinPath(helpFolder, g_setup.windowsDirectory, kHelpFolderSuffix)) helpFolder[0] = '\0';

  for (const char* name : kSystemDirectoryFiles) {
    PlaceFile(programFolder, name, g_setup.systemDirectory, name);
  }
  PlaceFile(programFolder, kHelpSourceFile, helpFolder, kHelpFile);
}

}  // namespace rq47set
