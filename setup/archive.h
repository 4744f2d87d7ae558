// Copies the previous version's files into the backup folder.
#ifndef RQ47SET_ARCHIVE_H
#define RQ47SET_ARCHIVE_H

namespace rq47set {

// Windows' copies of the previous version's INF files, as they are archived.
inline constexpr char kArchivedModemInf[] = "ZQRTMODM.INF";
inline constexpr char kArchivedWaveInf[] = "SERWAVE.INF";

// True when every file of the previous version that is there was copied; a
// file that is not there is passed over. Stops at the first copy that fails
// for another reason (a full disk, a file in use), and returns false.
bool ArchivePreviousVersion();

// Whether the backup folder holds a file of this name.
bool IsArchived(const char* archivedName);

}  // namespace rq47set

#endif  // RQ47SET_ARCHIVE_H
