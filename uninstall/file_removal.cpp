#include "file_removal.h"

#include <windows.h>

#include "modem_names.h"
#include "not_looked_at.h"
#include "paths.h"
#include "platform_directories.h"

namespace zuninst {
namespace {

// Directories and file names are held in 256 bytes: a file whose name does
// not fit is skipped, never cut. A directory that cannot be had whole stays
// empty, so no file is looked for in the wrong place: no path is joined below
// an empty directory.
constexpr size_t kPathChars = 256;
using PathBuffer = char[kPathChars];

// The drivers and the uninstaller, in the order they are deleted.
constexpr const char* kDriverFiles[] = {kUninstallerFile, kDosBoxDriverFile, kPciDriverFile,
                                        kPciDriver1File};
constexpr char kControlPanelMessage[] =
    "Unable to delete Control Panel entry\r\n\r\nPlease close the Control Panel and continue";

}  // namespace

void RemoveDriverFiles() {
  PathBuffer systemDirectory = "";
  NotLookedAt(AskSystemDirectory(systemDirectory));
  PathBuffer path = "";
  for (const char* name : kDriverFiles) {
    // The uninstaller's own file stays when it is running from it; that is
    // passed over like any other failure.
    if (JoinPath(path, systemDirectory, name)) DeleteFileA(path);
  }
}

void RemoveControlPanelApplet() {
  PathBuffer windowsDirectory = "";
  PathBuffer systemDirectory = "";
  NotLookedAt(AskWindowsDirectory(windowsDirectory));
  NotLookedAt(AskSystemDirectory(systemDirectory));
  PathBuffer path = "";

  if (JoinPath(path, systemDirectory, kAppletFile)) {
    // The Control Panel holds the applet while it is open. The message also
    // comes when the applet is already gone.
    if (!DeleteFileA(path)) MessageBoxA(nullptr, kControlPanelMessage, kModemCaption, MB_OK);
    DeleteFileA(path);
  }
  PathBuffer helpFolder = "";
  if (JoinPath(helpFolder, windowsDirectory, kHelpFolder) &&
      JoinPath(path, helpFolder, kAppletHelpFile)) {
    DeleteFileA(path);
  }
}

}  // namespace zuninst
