// One copy of a file of the previous version into the backup folder.
#ifndef RQ47SET_BACKUP_COPY_H
#define RQ47SET_BACKUP_COPY_H

namespace rq47set {

enum class BackupCopy {
  // The backup folder holds the file as it is: copied now, or already
  // there with the same bytes.
  kCopied,
  kSourceMissing,
  // It could not be copied (a full disk, a file in use, no backup folder).
  kFailed,
};

// Copies source over destination. A destination that cannot be replaced but
// holds the source's bytes already counts as the copy: an earlier run that
// stopped made it, and a read-only source (a package copied from a CD) makes
// a read-only copy that no later copy could replace.
BackupCopy CopyIntoBackup(const char* source, const char* destination);

}  // namespace rq47set

#endif  // RQ47SET_BACKUP_COPY_H
