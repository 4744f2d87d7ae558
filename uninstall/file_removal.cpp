#include "file_removal.h"

#include <windows.h>

#include "modem_names.h"
#include "text_buffer.h"

namespace zuninst {
namespace {

constexpr UINT kPathChars = 256;
// The drivers and the uninstaller, in the order they are deleted.
constexpr const char* kDriverFileSuffixes[] = {"\\zuninst.exe", "\\zelvcd.vxd", "\\rq47pci.vxd",
                                               "\\rq47pci1.vxd"};
constexpr char kControlPanelMessage[] =
    "Unable to delete Control Panel entry\r\n\r\nPlease close the Control Panel and continue";

// The directory the platform reports; false (and the buffer empty) when the
// call fails or the directory does not fit, so no file is looked for in the
// wrong place.
bool FetchDirectory(UINT(WINAPI* fetch)(LPSTR, UINT), char (&directory)[kPathChars]) {
  UINT length = fetch(directory, kPathChars);
  if (length == 0 || length >= kPathChars) {
    directory[0] = '\0';
    return false;
  }
  return true;
}

// Composes directory + suffix; false when the directory is unknown or the
// file name does not fit, and the file is then skipped.
bool ComposeFileName(char (&path)[kPathChars], bool haveDirectory, const char* directory,
                     const char* suffix) {
  return haveDirectory && ComposePath(path, directory, suffix);
}

}  // namespace

int RemoveDriverFiles() {
  char systemDirectory[kPathChars] = "";
  bool haveSystem = FetchDirectory(GetSystemDirectoryA, systemDirectory);
  char path[kPathChars] = "";
  for (const char* suffix : kDriverFileSuffixes) {
    // The uninstaller's own file stays when it is running from it; that is
    // passed over like any other failure.
    if (ComposeFileName(path, haveSystem, systemDirectory, suffix)) DeleteFileA(path);
  }
  return 1;
}

int RemoveControlPanelApplet() {
  char windowsDirectory[kPathChars] = "";
  char systemDirectory[kPathChars] = "";
  bool haveWindows = FetchDirectory(GetWindowsDirectoryA, windowsDirectory);
  bool haveSystem = FetchDirectory(GetSystemDirectoryA, systemDirectory);
  char path[kPathChars] = "";

  if (ComposeFileName(path, haveSystem, systemDirectory, "\\zca.cpl")) {
    // The Control Panel holds the applet while it is open. The message also
    // comes when the applet is already gone.
    if (!DeleteFileA(path)) MessageBoxA(nullptr, kControlPanelMessage, kModemCaption, MB_OK);
    DeleteFileA(path);
  }
  if (ComposeFileName(path, haveWindows, windowsDirectory, "\\Help\\zca.hlp")) DeleteFileA(path);
  return 1;
}

}  // namespace zuninst
