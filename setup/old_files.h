// The previous version's files that an upgrade deletes: its drivers in the
// System and the Windows directory, and Windows' copies of its INF files.
// Each is first copied, as it is, into a folder of its own below the backup
// folder, and deleted only once that copy is made: the archive's own copies
// are taken from the kit and program folders and may hold other bytes (the
// new package, another maker's INF that bears the short name it reads).
#ifndef RQ47SET_OLD_FILES_H
#define RQ47SET_OLD_FILES_H

#include <cstddef>

#include "archive.h"
#include "setup_context.h"

namespace rq47set {

// Below the backup folder: where the deleted files are kept, by the folder
// they were deleted from.
inline constexpr char kKeptSystemFolder[] = "System";
inline constexpr char kKeptWindowsFolder[] = "Windows";
inline constexpr char kKeptInfFolder[] = "INF";

inline constexpr size_t kOldDriverCount = 3;
inline constexpr size_t kOldInfCount = 2;

// Which of the files were copied into the backup folder by this run.
struct KeptOldFiles {
  bool systemDrivers[kOldDriverCount] = {};
  bool windowsDrivers[kOldDriverCount] = {};
  bool infCopies[kOldInfCount] = {};
};

// Copies every one of the files that is there. kFailed when one that is
// there could not be copied (a full disk, a file in use, no backup folder, a
// path that does not fit); the copies after it are not made, and the file is
// named in context.notArchived.
Archive KeepOldFiles(SetupContext& context, KeptOldFiles& kept);

// Deletes the drivers that were kept, then the INF copies that were kept;
// the driver line goes between the two, as the upgrade has always ordered it.
void DeleteKeptDrivers(const SetupContext& context, const KeptOldFiles& kept);
void DeleteKeptInfCopies(const SetupContext& context, const KeptOldFiles& kept);

}  // namespace rq47set

#endif  // RQ47SET_OLD_FILES_H
