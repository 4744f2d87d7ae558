#include "host_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

CopyResult CopyToNewFile(const std::filesystem::path& source, const std::filesystem::path& folder,
                         bool withContent, std::string& made) {
  CopyResult result;
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (in.get() < 0 || ::fstat(in.get(), &info) != 0) {
    result.error = errno;
    result.readFailed = true;
    return result;
  }
  std::string temporary = (folder / ".winsim-copy-XXXXXX").string();
  UniqueFd out(::mkostemp(temporary.data(), O_CLOEXEC));
  if (out.get() < 0) {
    result.error = errno;
    return result;
  }
  char block[65536];
  while (withContent && result.error == 0) {
    ssize_t got = ::read(in.get(), block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result.error = errno;
      result.readFailed = true;
    } else if (got == 0) {
      break;
    } else if (size_t written = 0; !WriteAll(out.get(), block, static_cast<size_t>(got), written)) {
      result.error = errno;
    }
  }
  // The copy keeps the source's read-only state and times, as Windows' copy does.
  if (result.error == 0 && ::fchmod(out.get(), info.st_mode & 0777) != 0) result.error = errno;
  if (result.error == 0) {
    struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(out.get(), times);
  }
  if (result.error == 0 && ::close(out.release()) != 0) result.error = errno;
  if (result.error != 0) {
    ::unlink(temporary.c_str());
    return result;
  }
  made = std::move(temporary);
  return result;
}

}  // namespace winsim::detail
