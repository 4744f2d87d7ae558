#include "archive.h"

#include <windows.h>

#include "backup_copy.h"
#include "file_probe.h"
#include "install_paths.h"
#include "paths.h"
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
  char kit[MAX_PATH] = "";
  char program[MAX_PATH] = "";
  char inf[MAX_PATH] = "";
  char backup[MAX_PATH] = "";
};

ArchiveFolders ComposeFolders(const SetupContext& context) {
  ArchiveFolders folders;
  // A path that does not fit leaves its folder empty, which skips its copies.
  static_cast<void>(JoinBelowDriveRoot(folders.kit, context, kKitFolder));
  static_cast<void>(JoinPath(folders.program, context.windowsDirectory, kProgramFolder));
  static_cast<void>(JoinPath(folders.inf, context.windowsDirectory, kInfFolder));
  static_cast<void>(JoinPath(folders.backup, context.windowsDirectory, kBackupFolder));
  return folders;
}

// Copies the files one by one into the backup folder, overwriting what is
// there, until one that is there cannot be copied; every copy after that is
// left undone.
class Archiver {
 public:
  Archiver(const ArchiveFolders& folders, char (&notArchived)[MAX_PATH])
      : folders_(folders), notArchived_(notArchived) {}

  // A file that is not there, or whose path does not fit, is left out.
  void copy(const char* sourceFolder, const char* name, const char* archivedName) {
    char source[MAX_PATH];
    char destination[MAX_PATH];
    if (failed_ || !JoinPath(source, sourceFolder, name) ||
        !JoinPath(destination, folders_.backup, archivedName)) {
      return;
    }
    failed_ = CopyIntoBackup(source, destination) == BackupCopy::kFailed;
    if (failed_) CopyConstantText(notArchived_, source);  // both MAX_PATH
  }
  void copy(const char* sourceFolder, const char* name) { copy(sourceFolder, name, name); }

  // A name the kit and the program folder may both hold: the program
  // folder's file is the one kept. The kit's is not copied first where the
  // program folder's is there to replace it: a read-only kit file (a kit
  // copied from a CD) makes a read-only copy that nothing could replace.
  void copyKeepingProgramFolders(const char* name) {
    if (failed_) return;
    char programSource[MAX_PATH];
    if (!JoinPath(programSource, folders_.program, name) ||
        ProbeFile(programSource) != FilePresence::kPresent) {
      copy(folders_.kit, name);
    }
    copy(folders_.program, name);
  }

  bool complete() const { return !failed_; }

 private:
  const ArchiveFolders& folders_;
  char (&notArchived_)[MAX_PATH];
  bool failed_ = false;
};

}  // namespace

Archive ArchivePreviousVersion(SetupContext& context) {
  RefreshWindowsDirectory(context);
  RefreshSystemDirectory(context);
  const ArchiveFolders folders = ComposeFolders(context);
  Archiver archive(folders, context.notArchived);

  archive.copyKeepingProgramFolders("brazil.hlp");
  for (const char* name : kKitSetupFiles) archive.copy(folders.kit, name);
  archive.copy(folders.program, "rq47set.exe");
  for (const char* name : kKitDataFiles) archive.copy(folders.kit, name);
  for (const char* name : kModemFiles) archive.copyKeepingProgramFolders(name);
  for (const InfCopy& inf : kInfFiles) archive.copy(folders.inf, inf.shortName, inf.archivedName);
  return archive.complete() ? Archive::kMade : Archive::kFailed;
}

}  // namespace rq47set
