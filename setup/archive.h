// Copies the previous version's files into the backup folder.
#ifndef RQ47SET_ARCHIVE_H
#define RQ47SET_ARCHIVE_H

#include "setup_context.h"

namespace rq47set {

// Windows' copies of the previous version's INF files, as they are archived.
inline constexpr char kArchivedModemInf[] = "ZQRTMODM.INF";
inline constexpr char kArchivedWaveInf[] = "SERWAVE.INF";

enum class Archive {
  // Every file of the previous version that is there was copied; a file that
  // is not there is passed over.
  kMade,
  // A copy failed for another reason (a full disk, a file in use); the
  // copies after it were not made.
  kFailed,
};

Archive ArchivePreviousVersion(SetupContext& context);

}  // namespace rq47set

#endif  // RQ47SET_ARCHIVE_H
