#include "file_placement.h"

#include <windows.h>

#include "install_paths.h"
#include "package_files.h"
#include "paths.h"

namespace rq47set {
namespace {

// Copies folder\name to destinationFolder\destinationName, overwriting what is
// there. A path that does not fit, or a folder that is not known, is not
// copied at all.
void PlaceFile(const char* folder, const char* name, const char* destinationFolder,
               const char* destinationName) {
  char source[MAX_PATH];
  char destination[MAX_PATH];
  if (!JoinPath(source, folder, name) ||
      !JoinPath(destination, destinationFolder, destinationName)) {
    return;
  }
  CopyFileA(source, destination, FALSE);  // a file that cannot be placed is passed over
}

}  // namespace

void PlaceModemFiles(SetupContext& context) {
  RefreshWindowsDirectory(context);
  RefreshSystemDirectory(context);

  char programFolder[MAX_PATH];
  char helpFolder[MAX_PATH];
  // A program folder path that does not fit leaves nothing to copy; a help
  // folder path that does not fit leaves only the help file unplaced.
  if (!JoinPath(programFolder, context.windowsDirectory, kProgramFolder)) return;
  if (!JoinPath(helpFolder, context.windowsDirectory, kHelpFolder)) helpFolder[0] = '\0';

  for (const char* name : kSystemDirectoryFiles) {
    PlaceFile(programFolder, name, context.systemDirectory, name);
  }
  PlaceFile(programFolder, kHelpSourceFile, helpFolder, kAppletHelpFile);
}

}  // namespace rq47set
