#include "file_placement.h"

#include <windows.h>

#include <cstring>

#include "install_paths.h"
#include "setup_state.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

constexpr char kProgramFolderSuffix[] = "\\Zelvaran\\zelset95";
constexpr char kHelpFolderSuffix[] = "\\help";

// Files that go from the program folder into the System directory, in the order
// they are placed.
constexpr const char* kSystemFiles[] = {
    "\\zelvcd.vxd",   // the virtual comm driver that system.ini loads
    "\\rq47pci.vxd",  // the PCI drivers
    "\\rq47pci1.vxd",
    "\\zca.cpl",      // the control panel applet
    "\\zuninst.exe",  // the uninstaller
};
// The applet's help is always the domestic one, under the applet's help name.
constexpr char kHelpSource[] = "\\Domestic.hlp";
constexpr char kHelpDestination[] = "\\zca.hlp";

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

// Copies folder + name to destinationFolder + destinationName, overwriting
// what is there. A path that does not fit is not copied at all.
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

void PlaceModemFiles() {
  RefreshWindowsDirectory();
  RefreshSystemDirectory();

  char programFolder[MAX_PATH];
  char helpFolder[MAX_PATH];
  // A program folder path that does not fit leaves nothing to copy; a help
  // folder path that does not fit leaves only the help file unplaced.
  if (!JoinPath(programFolder, g_setup.windowsDirectory, kProgramFolderSuffix)) return;
  if (!JoinPath(helpFolder, g_setup.windowsDirectory, kHelpFolderSuffix)) helpFolder[0] = '\0';

  for (const char* name : kSystemFiles) {
    PlaceFile(programFolder, name, g_setup.systemDirectory, name);
  }
  PlaceFile(programFolder, kHelpSource, helpFolder, kHelpDestination);
}

}  // namespace rq47set
