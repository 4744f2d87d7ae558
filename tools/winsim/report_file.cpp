#include "report_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace winsim_tool {

std::string ReportPathProblem(const std::string& path) {
  std::error_code error;
  if (path.empty()) return "the file name is empty";
  if (fs::is_directory(path, error)) return path + " is a folder; name a file such as report.html";
  fs::path parent = fs::absolute(path, error).parent_path();
  if (!fs::is_directory(parent, error)) {
    return "the folder " + parent.string() + " for " + path + " does not exist; make it first";
  }
  if (::access(parent.c_str(), W_OK) != 0) {
    return "the folder " + parent.string() + " cannot be written; choose another place";
  }
  return "";
}

void WriteFileAtomically(const std::string& path, const std::string& content) {
  std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(temporary.c_str(), "wb"), &std::fclose);
  if (!file) {
    throw std::runtime_error("cannot write " + temporary + ": " + std::strerror(errno));
  }
  bool written = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
  written = std::fflush(file.get()) == 0 && written;
  int closed = std::fclose(file.release());
  if (!written || closed != 0) {
    int saved = errno;
    std::remove(temporary.c_str());
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(saved) +
                             "; check the free space");
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    int saved = errno;
    std::remove(temporary.c_str());
    throw std::runtime_error("cannot replace " + path + ": " + std::strerror(saved));
  }
}

}  // namespace winsim_tool
