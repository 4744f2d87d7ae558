#include "host_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "handles.h"

namespace winsim::detail {

bool WriteAll(int fd, const char* data, size_t size, size_t& written) {
  written = 0;
  while (written < size) {
    ssize_t n = ::write(fd, data + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

namespace {

// Copies the open file `in` into the file that `create` makes (a new file,
// or -1 with errno).
CopyResult CopyInto(int in, std::string& temporary, const std::function<int(std::string&)>& create,
                    bool withContent, bool flush) {
  CopyResult result;
  struct stat info;
  if (in < 0 || ::fstat(in, &info) != 0) {
    result.error = errno;
    result.readFailed = true;
    return result;
  }
  UniqueFd out(create(temporary));
  if (out.get() < 0) {
    result.error = errno;
    return result;
  }
  char block[65536];
  size_t copied = 0;
  while (withContent && result.error == 0) {
    ssize_t got = ::pread(in, block, sizeof block, static_cast<off_t>(copied));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result.error = errno;
      result.readFailed = true;
    } else if (got == 0) {
      break;
    } else if (size_t written = 0; !WriteAll(out.get(), block, static_cast<size_t>(got), written)) {
      result.error = errno;
    } else {
      copied += written;
    }
  }
  // The copy keeps the source's read-only state and times, as Windows' copy does.
  if (result.error == 0 && ::fchmod(out.get(), info.st_mode & 0777) != 0) result.error = errno;
  if (result.error == 0) {
    struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(out.get(), times);
  }
  // On disk before it is renamed into place or a journal record names it.
  if (flush && result.error == 0 && ::fsync(out.get()) != 0) result.error = errno;
  if (result.error == 0 && ::close(out.release()) != 0) result.error = errno;
  if (result.error != 0) ::unlink(temporary.c_str());
  return result;
}

}  // namespace

int OpenFileToRead(int folder, const char* name) {
  // Not blocking: a pipe swapped in since the entry was looked at opens at once.
  UniqueFd file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat info;
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) return -1;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  return file.release();
}

bool ReadAll(int fd, std::string& text, size_t largest) {
  char block[65536];
  size_t taken = 0;
  for (;;) {
    ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    taken += static_cast<size_t>(got);
    if (taken > largest) {
      errno = EFBIG;
      return false;
    }
    text.append(block, static_cast<size_t>(got));
  }
}

CopyResult CopyToNewFile(int source, const std::filesystem::path& folder, bool withContent,
                         std::string& made, bool flush) {
  std::string temporary = (folder / ".winsim-copy-XXXXXX").string();
  CopyResult result = CopyInto(
      source, temporary, [](std::string& name) { return ::mkostemp(name.data(), O_CLOEXEC); },
      withContent, flush);
  if (result.error == 0) made = std::move(temporary);
  return result;
}

CopyResult CopyToNamedFile(int source, const std::string& path, bool withContent) {
  std::string name = path;
  return CopyInto(
      source, name,
      [](std::string& made) {
        return ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      },
      withContent, true);
}

}  // namespace winsim::detail
