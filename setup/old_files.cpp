#include "old_files.h"

#include <windows.h>

#include "backup_copy.h"
#include "file_probe.h"
#include "paths.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

// The previous version's drivers: installation placed them in the System
// directory; copies of them in the Windows directory are removed as well.
constexpr const char* kOldDriverNames[kOldDriverCount] = {"RQ47pci.vxd", "RQ47pci1.vxd",
                                                          "zelvcd.vxd"};
// Windows' own copies of the previous version's INF files, in its INF folder.
constexpr const char* kOldInfNames[kOldInfCount] = {"Zelvaran IncZQRTMODM.inf",
                                                    "ZelvaranSERWAVE.inf"};

enum class Kept { kCopied, kNotThere, kFailed };

// folder\name copied into keptFolder\name; one that could not be is named
// in notKept.
Kept KeepFile(const char* folder, const char* name, const char* keptFolder,
              char (&notKept)[MAX_PATH]) {
  char source[MAX_PATH];
  char destination[MAX_PATH];
  // A file that cannot be named is not deleted either.
  if (!JoinPath(source, folder, name)) return Kept::kNotThere;
  if (!JoinPath(destination, keptFolder, name)) {
    if (ProbeFile(source) == FilePresence::kMissing) return Kept::kNotThere;
  } else {
    switch (CopyIntoBackup(source, destination)) {
      case BackupCopy::kCopied: return Kept::kCopied;
      case BackupCopy::kSourceMissing: return Kept::kNotThere;
      case BackupCopy::kFailed: break;
    }
  }
  CopyConstantText(notKept, source);  // both MAX_PATH
  return Kept::kFailed;
}

// The kept folder below the backup folder, made when it is not there; empty
// when its path does not fit (every copy into it then fails).
void MakeKeptFolder(char (&keptFolder)[MAX_PATH], const char* backupFolder, const char* name) {
  if (JoinPath(keptFolder, backupFolder, name)) {
    CreateDirectoryA(keptFolder, nullptr);  // one that is there already is passed over
  } else {
    keptFolder[0] = '\0';
  }
}

template <size_t N>
bool KeepAll(const char* folder, const char* const (&names)[N], const char* backupFolder,
             const char* keptName, bool (&kept)[N], char (&notKept)[MAX_PATH]) {
  char keptFolder[MAX_PATH];
  MakeKeptFolder(keptFolder, backupFolder, keptName);
  for (size_t i = 0; i < N; ++i) {
    Kept result = KeepFile(folder, names[i], keptFolder, notKept);
    if (result == Kept::kFailed) return false;
    kept[i] = result == Kept::kCopied;
  }
  return true;
}

void DeleteIn(const char* folder, const char* name) {
  char path[MAX_PATH];
  if (JoinPath(path, folder, name)) DeleteFileA(path);
}

}  // namespace

Archive KeepOldFiles(SetupContext& context, KeptOldFiles& kept) {
  kept = KeptOldFiles{};
  char backupFolder[MAX_PATH];
  char infFolder[MAX_PATH];
  // Without a backup folder nothing can be kept, and nothing is deleted.
  if (!JoinPath(backupFolder, context.windowsDirectory, kBackupFolder)) return Archive::kMade;
  bool allKept = KeepAll(context.systemDirectory, kOldDriverNames, backupFolder, kKeptSystemFolder,
                         kept.systemDrivers, context.notArchived) &&
                 KeepAll(context.windowsDirectory, kOldDriverNames, backupFolder,
                         kKeptWindowsFolder, kept.windowsDrivers, context.notArchived) &&
                 (!JoinPath(infFolder, context.windowsDirectory, kInfFolder) ||
                  KeepAll(infFolder, kOldInfNames, backupFolder, kKeptInfFolder, kept.infCopies,
                          context.notArchived));
  return allKept ? Archive::kMade : Archive::kFailed;
}

void DeleteKeptDrivers(const SetupContext& context, const KeptOldFiles& kept) {
  for (size_t i = 0; i < kOldDriverCount; ++i) {
    if (kept.systemDrivers[i]) DeleteIn(context.systemDirectory, kOldDriverNames[i]);
    if (kept.windowsDrivers[i]) DeleteIn(context.windowsDirectory, kOldDriverNames[i]);
  }
}

void DeleteKeptInfCopies(const SetupContext& context, const KeptOldFiles& kept) {
  char infFolder[MAX_PATH];
  if (!JoinPath(infFolder, context.windowsDirectory, kInfFolder)) return;
  for (size_t i = 0; i < kOldInfCount; ++i) {
    if (kept.infCopies[i]) DeleteIn(infFolder, kOldInfNames[i]);
  }
}

}  // namespace rq47set
