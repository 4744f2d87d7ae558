#include "archive.h"

#include <windows.h>

#include "file_probe.h"
#include "install_paths.h"
#include "setup_state.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

// The previous kit's own files, which only its kit folder holds.
constexpr const char* kKitSetupFiles[] = {"zdll.dll",     "_isuser.dll", "_setup.dll", "setup.ins",
                                          "_inst32i.ex_", "_isdel.exe",  "setup.exe"};
constexpr const char* kKitDataFiles[] = {"_sys1.cab", "_user1.cab", "data.tag", "data1.cab",
                                         "lang.dat",  "layout.bin", "os.dat",   "setup.ini",
                                         "setup.lid", "_isres.dll"};
// The modem's files, which may lie in the kit folder and in the program folder;
// the program folder's copy is archived last and so is the one kept.
constexpr const char* kModemFiles[] = {
    "zca.cpl",     "zelvcd.vxd",   "zuninst.exe",  "domestic.hlp", "french.hlp",  "german.hlp",
    "italian.hlp", "spanish.hlp",  "chinese.hlp",  "japanese.hlp", "ui.hlp",      "revhist.doc",
    "readme.doc",  "rq47_ctl.vxd", "rq47dfv1.vxd", "rq47pci.vxd",  "rq47pci1.vxd"};

// Windows keeps the previous version's INF files under long names; they are
// read by their short names and archived under the names the kit gave them.
struct InfCopy {
  const char* shortName;
  const char* archivedName;
};
constexpr InfCopy kInfFiles[] = {{"Zelvar~1.INF", kArchivedModemInf},
                                 {"zelvar~2.INF", kArchivedWaveInf}};

// The folders, each empty when its path does not fit (its copies are then skipped).
struct ArchiveFolders {
  char kit[256] = "";
  char program[256] = "";
  char inf[256] = "";
  char backup[256] = "";
};

// A folder below the Windows directory; left empty when it does not fit.
template <size_t N>
void ComposeBelowWindows(char (&folder)[N], const char* suffix) {
  if (!ComposePath(folder, g_setup.windowsDirectory, suffix)) folder[0] = '\0';
}

ArchiveFolders ComposeFolders() {
  ArchiveFolders folders;
  // On the current directory's drive; relative to the current directory when
  // that drive has no root string.
  if (!CopyText(folders.kit, g_setup.driveRoot) || !AppendText(folders.kit, "Progra~1\\Zelset95")) {
    folders.kit[0] = '\0';
  }
  ComposeBelowWindows(folders.program, "\\Zelvaran\\zelset95");
  ComposeBelowWindows(folders.inf, "\\INF\\Other");
  ComposeBelowWindows(folders.backup, "\\Zelvaran\\zelbak95");
  return folders;
}

// folder + "\" + name; false when the folder is unknown or the path does not fit.
bool ComposeFilePath(char (&path)[256], const char* folder, const char* name) {
  if (folder[0] == '\0') return false;
  return CopyText(path, folder) && AppendText(path, "\\") && AppendText(path, name);
}

// Copies the files one by one into the backup folder, overwriting what is
// there, until one that is there cannot be copied; every copy after that is
// left undone.
class Archiver {
 public:
  explicit Archiver(const ArchiveFolders& folders) : folders_(folders) {}

  // A file that is not there, or whose path does not fit, is left out.
  void copy(const char* sourceFolder, const char* name, const char* archivedName) {
    char source[256];
    char destination[256];
    if (failed_ || !ComposeFilePath(source, sourceFolder, name) ||
        !ComposeFilePath(destination, folders_.backup, archivedName)) {
      return;
    }
    // Whatever error the copy gives, only the source itself tells whether it
    // is missing: a backup folder that is not there fails the same way.
    failed_ = !CopyFileA(source, destination, FALSE) && ProbeFile(source) != FilePresence::kMissing;
  }
  void copy(const char* sourceFolder, const char* name) { copy(sourceFolder, name, name); }

  bool complete() const { return !failed_; }

 private:
  const ArchiveFolders& folders_;
  bool failed_ = false;
};

}  // namespace

bool ArchivePreviousVersion() {
  RefreshWindowsDirectory();
  RefreshSystemDirectory();
  const ArchiveFolders folders = ComposeFolders();
  Archiver archive(folders);

  archive.copy(folders.kit, "brazil.hlp");
  archive.copy(folders.program, "brazil.hlp");
  for (const char* name : kKitSetupFiles) archive.copy(folders.kit, name);
  archive.copy(folders.program, "rq47set.exe");
  for (const char* name : kKitDataFiles) archive.copy(folders.kit, name);
  for (const char* name : kModemFiles) {
    archive.copy(folders.kit, name);
    archive.copy(folders.program, name);
  }
  for (const InfCopy& inf : kInfFiles) archive.copy(folders.inf, inf.shortName, inf.archivedName);
  return archive.complete();
}

bool IsArchived(const char* archivedName) {
  const ArchiveFolders folders = ComposeFolders();
  char path[256];
  return ComposeFilePath(path, folders.backup, archivedName) &&
         ProbeFile(path) == FilePresence::kPresent;
}

}  // namespace rq47set
