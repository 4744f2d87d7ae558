#include "file_placement.h"

#include <windows.h>

#include "file_message.h"
#include "install_paths.h"
#include "modem_names.h"
#include "package_files.h"
#include "paths.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

// Lines separated by a carriage return alone, as the setup's other messages.
constexpr char kNotPlacedBefore[] = "The file ";
constexpr char kNotPlacedBetween[] = " could not be copied into the folder\r";
constexpr char kNotPlacedAfter[] =
    "\r\rMake sure that folder is there, has room for the file and that no program uses the\r"
    "file, then run Setup again. The installation is not finished.";

// Copies folder\name to destinationFolder\destinationName, overwriting what is
// there. False when it was not copied: the copy failed, or a path does not
// fit (it is never cut).
bool PlaceFile(const char* folder, const char* name, const char* destinationFolder,
               const char* destinationName) {
  char source[MAX_PATH];
  char destination[MAX_PATH];
  return JoinPath(source, folder, name) &&
         JoinPath(destination, destinationFolder, destinationName) &&
         CopyFileA(source, destination, FALSE);
}

void ReportNotPlaced(const char* name, const char* folder) {
  ShowFileMessage(kNotPlacedBefore, name, kNotPlacedBetween, folder, kNotPlacedAfter);
}

}  // namespace

Placement PlaceModemFiles(SetupContext& context) {
  RefreshWindowsDirectory(context);
  RefreshSystemDirectory(context);

  char programFolder[MAX_PATH];
  char helpFolder[MAX_PATH];
  // A program folder path that does not fit leaves nothing to copy: the run
  // stops with its own exit code when it asks for that folder again.
  if (!JoinPath(programFolder, context.windowsDirectory, kProgramFolder)) return Placement::kPlaced;
  if (!JoinPath(helpFolder, context.windowsDirectory, kHelpFolder)) helpFolder[0] = '\0';

  // Every file is tried; the first that could not be placed is named.
  const char* notPlaced = nullptr;
  const char* notPlacedIn = nullptr;
  for (const char* name : kSystemDirectoryFiles) {
    if (!PlaceFile(programFolder, name, context.systemDirectory, name) && notPlaced == nullptr) {
      notPlaced = name;
      notPlacedIn = context.systemDirectory;
    }
  }
  if (!PlaceFile(programFolder, kHelpSourceFile, helpFolder, kAppletHelpFile) &&
      notPlaced == nullptr) {
    notPlaced = kAppletHelpFile;
    // A help folder that cannot be named lies below the Windows directory.
    notPlacedIn = helpFolder[0] != '\0' ? helpFolder : context.windowsDirectory;
  }
  if (notPlaced == nullptr) return Placement::kPlaced;
  ReportNotPlaced(notPlaced, notPlacedIn);
  return Placement::kNotPlaced;
}

}  // namespace rq47set
