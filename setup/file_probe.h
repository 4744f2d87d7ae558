// Whether a file is there, asked by opening it for reading: the one way the
// programs' platform calls have.
#ifndef RQ47SET_FILE_PROBE_H
#define RQ47SET_FILE_PROBE_H

namespace rq47set {

enum class FilePresence {
  kPresent,  // it opened, or another program holds it
  kMissing,  // the file, or a folder on its path, is not there
  kUnknown,  // the open failed for another reason
};

// Callers take kUnknown the way that loses nothing.
FilePresence ProbeFile(const char* path);

}  // namespace rq47set

#endif  // RQ47SET_FILE_PROBE_H
