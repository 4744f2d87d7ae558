// Copies the previous version's files into the backup folder.
#ifndef RQ47SET_ARCHIVE_H
#define RQ47SET_ARCHIVE_H

namespace rq47set {

void ArchivePreviousVersion();

}  // namespace rq47set

#endif  // RQ47SET_ARCHIVE_H
