#include "report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "html_report.h"
#include "winsim/guarded_run.h"

namespace fs = std::filesystem;

namespace winsim_tool {
namespace {

bool HoldsMachine(const fs::path& folder) {
  std::error_code error;
  return fs::is_regular_file(folder / "machine.ini", error) &&
         fs::is_regular_file(folder / "registry.reg", error);
}

// The machine folder that holds the path, if any (links resolved).
fs::path EnclosingMachine(const fs::path& path) {
  std::error_code error;
  fs::path folder = fs::weakly_canonical(fs::absolute(path, error).parent_path(), error);
  for (; !folder.empty(); folder = folder.parent_path()) {
    if (HoldsMachine(folder)) return folder;
    if (folder == folder.root_path()) break;
  }
  return fs::path();
}

// Whether the file at the path is a page winsim wrote (or there is none).
std::string ExistingFileProblem(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return std::string();
  if (S_ISLNK(info.st_mode)) {
    return path + " is a symbolic link; name the report file itself, or a new file";
  }
  if (!S_ISREG(info.st_mode)) return path + " is not a file; name a file such as report.html";
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  std::string start(1024, '\0');
  ssize_t got = fd >= 0 ? ::read(fd, start.data(), start.size()) : -1;
  if (fd >= 0) ::close(fd);
  start.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (start.find(kReportMarker) != std::string::npos) return std::string();
  return path +
         " exists and is not a winsim report; a report replaces only an earlier report, so "
         "name a new file or remove that one";
}

}  // namespace

std::string OutputPathProblem(const std::string& path) {
  std::error_code error;
  if (path.empty()) return "the file name is empty";
  if (fs::is_directory(path, error)) return path + " is a folder; name a file";
  fs::path parent = fs::absolute(path, error).parent_path();
  if (!fs::is_directory(parent, error)) {
    return "the folder " + parent.string() + " for " + path + " does not exist; make it first";
  }
  struct stat info;
  if (::stat(parent.c_str(), &info) != 0 || (info.st_mode & S_IWUSR) == 0 ||
      ::access(parent.c_str(), W_OK) != 0) {
    return "the folder " + parent.string() + " cannot be written; choose another place";
  }
  return "";
}

std::string MachineFileProblem(const std::string& path, const std::string& machineFolder,
                               const char* what) {
  fs::path machine = EnclosingMachine(path);
  if (!machine.empty()) {
    return path + " is inside the machine folder " + machine.string() + ", where the " + what +
           " would become part of the machine; write it elsewhere";
  }
  struct stat info;
  if (!machineFolder.empty() && ::stat(path.c_str(), &info) == 0 &&
      winsim::IsFileOf(info, machineFolder)) {
    return path + " is also a file of the machine folder " + machineFolder +
           " (a link to it); name a new file";
  }
  return "";
}

std::string ReportPathProblem(const std::string& path, const std::string& machineFolder) {
  std::string problem = OutputPathProblem(path);
  if (problem.empty()) problem = MachineFileProblem(path, machineFolder, "page");
  if (!problem.empty()) return problem;
  return ExistingFileProblem(path);
}

void WriteFileAtomically(const std::string& path, const std::string& content) {
  std::error_code ignored;
  fs::path target = fs::absolute(path, ignored);
  std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + ".winsim-XXXXXX")).string();
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    throw std::runtime_error("cannot write a temporary file beside " + path + ": " +
                             std::strerror(errno));
  }
  auto fail = [&](const std::string& what) {
    int saved = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    throw std::runtime_error(what + path + ": " + std::strerror(saved) + "; check the free space");
  };
  ::fchmod(fd, 0644);
  size_t done = 0;
  while (done < content.size()) {
    ssize_t written = ::write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      fail("cannot write ");
    }
    done += static_cast<size_t>(written);
  }
  if (::close(fd) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(saved));
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    throw std::runtime_error("cannot replace " + path + ": " + std::strerror(saved));
  }
}

void WriteReportFile(const std::string& path, const std::string& content,
                     const std::string& machineFolder) {
  std::string problem = ReportPathProblem(path, machineFolder);
  if (!problem.empty()) throw std::runtime_error(problem);
  WriteFileAtomically(path, content);
}

}  // namespace winsim_tool
