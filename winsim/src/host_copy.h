// Copies of host files that the file calls and the journal put into place by
// a rename: made whole under a new, unpredictable name first, so that a copy
// cut short never stands where the file is.
#ifndef WINSIM_HOST_COPY_H
#define WINSIM_HOST_COPY_H

#include <cstdint>
#include <filesystem>
#include <string>

namespace winsim::detail {

struct CopyResult {
  int error = 0;            // errno; 0 on success
  bool readFailed = false;  // the source could not be read (else the copy could not be written)
};

// Writes all of it, or says how much was written before the host failed
// (errno set; ENOSPC when a write took nothing).
bool WriteAll(int fd, const char* data, size_t size, size_t& written);

// Opens the file `name` in the open folder `folder` for reading: never
// through a link, and only a file (a pipe is not waited on, a device not
// opened as one). -1 with errno (EINVAL when it is no file).
int OpenFileToRead(int folder, const char* name);

// The most winsim reads whole of a machine file of a few lines or records
// (machine.ini, short-names.txt, the journal's log): a file larger than that
// (a sparse file, a disk image put in its place) is taken for damage, not
// read into memory.
constexpr size_t kLargestLinesFile = size_t{64} << 20;

// Appends the rest of the open file to `text`; false (errno set) when a read
// fails, or (errno EFBIG) when the file holds more than `largest` bytes.
bool ReadAll(int fd, std::string& text, size_t largest = SIZE_MAX);

// Makes a new file in `folder` (".winsim-copy-XXXXXX", created exclusively)
// with the bytes of the open file `source` from its start (none when
// withContent is false), its permission bits and its times. On success `made`
// names the new file; on failure nothing is left. The copy is flushed to the
// disk unless `flush` is false: for a copy whose keeping a journal decides,
// and flushes with the whole file system before it counts.
CopyResult CopyToNewFile(int source, const std::filesystem::path& folder, bool withContent,
                         std::string& made, bool flush = true);

// The same into the new file `path`, which must not exist (O_EXCL); on
// failure it is removed again.
CopyResult CopyToNamedFile(int source, const std::string& path, bool withContent);

}  // namespace winsim::detail

#endif  // WINSIM_HOST_COPY_H
