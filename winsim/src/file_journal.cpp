#include "winsim/file_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "handles.h"
#include "host_copy.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace winsim {
namespace {

constexpr const char* kJournal = "journal";
constexpr const char* kDecided = "journal.done";
constexpr const char* kLog = "log";

fs::path PrivateFolder(const fs::path& machine) { return machine / kPrivateFolderName; }

std::string KeptName(unsigned number) { return "kept-" + std::to_string(number); }

bool Exists(const fs::path& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// A copy of the file as `kept`, for a file system without hard links or a
// drive on another file system than the machine folder.
int KeepCopy(const fs::path& host, const fs::path& journal, const fs::path& kept) {
  std::string made;
  detail::CopyResult copy = detail::CopyToNewFile(host, journal, true, made);
  if (copy.error != 0) return copy.error;
  if (::rename(made.c_str(), kept.c_str()) != 0) {
    int saved = errno;
    ::unlink(made.c_str());
    return saved;
  }
  return 0;
}

// One change of the log: a path made new, or a path whose file was kept.
struct Record {
  bool kept = false;
  unsigned number = 0;
  std::string path;  // relative to the machine folder
};

// "N <length> <path>\n" and "K <number> <length> <path>\n": the length makes
// any byte of a name safe. A record cut short by a kill is the last one, and
// its change was never begun.
std::vector<Record> ReadLog(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string text = bytes.str();
  std::vector<Record> records;
  size_t at = 0;
  auto number = [&](unsigned long long& value) {
    size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[at] - '0');
      ++at;
    }
    if (at == start || at >= text.size() || text[at] != ' ') return false;
    ++at;
    return true;
  };
  while (at + 2 < text.size()) {
    Record record;
    char kind = text[at];
    if ((kind != 'N' && kind != 'K') || text[at + 1] != ' ') break;
    at += 2;
    record.kept = kind == 'K';
    unsigned long long value = 0;
    if (record.kept) {
      if (!number(value)) break;
      record.number = static_cast<unsigned>(value);
    }
    if (!number(value) || value > text.size() - at || at + value >= text.size() ||
        text[at + value] != '\n') {
      break;
    }
    record.path = text.substr(at, value);
    at += value + 1;
    records.push_back(std::move(record));
  }
  return records;
}

// Puts back what the log of `journal` recorded, newest change first; the
// problems found, empty when everything is back.
std::string Undo(const fs::path& machine, const fs::path& journal) {
  std::vector<Record> records = ReadLog(journal / kLog);
  std::string problems;
  auto problem = [&problems](const std::string& what, const std::error_code& error) {
    problems += (problems.empty() ? "" : "; ") + what + ": " + error.message();
  };
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    fs::path target = machine / it->path;
    std::error_code error;
    if (!it->kept) {
      // Made by the run: it goes (with what the run put into a new folder).
      if (Exists(target)) fs::remove_all(target, error);
      if (error) problem("cannot remove " + target.string(), error);
      continue;
    }
    fs::path kept = journal / KeptName(it->number);
    if (!Exists(kept)) continue;  // the run never got to change it, or it is back already
    struct stat info;
    if (::lstat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      fs::remove_all(target, error);
    }
    if (!error) fs::rename(kept, target, error);
    if (error) problem("cannot put back " + target.string(), error);
  }
  return problems;
}

}  // namespace

FileJournal::FileJournal(const fs::path& machineFolder)
    : machine_(machineFolder), folder_(PrivateFolder(machineFolder) / kJournal) {
  if (::mkdir(folder_.c_str(), 0700) != 0) {
    throw MachineError(std::string(kPrivateFolderName) + "/" + kJournal, 0,
                       std::string("cannot be made: ") + std::strerror(errno) +
                           "; check the machine folder's permissions and free space");
  }
  log_ = ::open((folder_ / kLog).c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (log_ < 0) {
    int saved = errno;
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    throw MachineError(std::string(kPrivateFolderName) + "/" + kJournal + "/" + kLog, 0,
                       std::string("cannot be made: ") + std::strerror(saved));
  }
}

FileJournal::~FileJournal() {
  if (log_ >= 0) ::close(log_);
}

std::string FileJournal::relative(const fs::path& host) const {
  fs::path inside = host.lexically_relative(machine_);
  std::string text = inside.string();
  if (inside.empty() || text == "." || text.rfind("..", 0) == 0) return std::string();
  return text;
}

bool FileJournal::covers(const fs::path& host) const { return covered_.count(relative(host)) != 0; }

int FileJournal::append(const std::string& record) {
  if (log_ < 0) return EBADF;
  // One write for one record: a kill leaves whole records and at most one
  // cut short, which the reader passes over.
  size_t done = 0;
  while (done < record.size()) {
    ssize_t n = ::write(log_, record.data() + done, record.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? ENOSPC : errno;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int FileJournal::willCreate(const fs::path& host) {
  std::string path = relative(host);
  if (path.empty()) return EXDEV;
  if (covered_.count(path) != 0) return 0;
  if (int error = append("N " + std::to_string(path.size()) + " " + path + "\n")) return error;
  covered_.insert(path);
  return 0;
}

int FileJournal::recordKept(const std::string& path, fs::path& kept) {
  unsigned number = nextKept_++;
  kept = folder_ / KeptName(number);
  return append("K " + std::to_string(number) + " " + std::to_string(path.size()) + " " + path +
                "\n");
}

int FileJournal::willReplace(const fs::path& host) {
  std::string path = relative(host);
  if (path.empty()) return EXDEV;
  if (covered_.count(path) != 0) return 0;
  fs::path kept;
  if (int error = recordKept(path, kept)) return error;
  if (::link(host.c_str(), kept.c_str()) != 0) {
    if (errno != EXDEV && errno != EPERM && errno != EMLINK) return errno;
    if (int error = KeepCopy(host, folder_, kept)) return error;
  }
  covered_.insert(path);
  return 0;
}

int FileJournal::remove(const fs::path& host) {
  std::string path = relative(host);
  if (path.empty()) return EXDEV;
  if (covered_.count(path) != 0) return ::unlink(host.c_str()) == 0 ? 0 : errno;
  fs::path kept;
  if (int error = recordKept(path, kept)) return error;
  if (::rename(host.c_str(), kept.c_str()) != 0) {
    if (errno != EXDEV) return errno;
    if (int error = KeepCopy(host, folder_, kept)) return error;
    if (::unlink(host.c_str()) != 0) return errno;
  }
  covered_.insert(path);
  return 0;
}

void FileJournal::commit() {
  if (log_ >= 0) ::close(log_);
  log_ = -1;
  fs::path decided = folder_.parent_path() / kDecided;
  if (::rename(folder_.c_str(), decided.c_str()) != 0) {
    throw MachineError(std::string(kPrivateFolderName) + "/" + kJournal, 0,
                       std::string("cannot be closed: ") + std::strerror(errno));
  }
  decided_ = true;
  std::error_code ignored;
  fs::remove_all(decided, ignored);  // what stays is removed at the next start
}

void FileJournal::rollback() {
  if (log_ >= 0) ::close(log_);
  log_ = -1;
  std::string problems = Undo(machine_, folder_);
  if (!problems.empty()) {
    throw MachineError("", 0,
                       "the files of the run cannot all be put back (" + problems +
                           "); winsim tries again when the machine is next used");
  }
  decided_ = true;
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

bool FileJournal::LeftJournal(const fs::path& machineFolder) {
  fs::path folder = PrivateFolder(machineFolder);
  return Exists(folder / kJournal) || Exists(folder / kDecided);
}

bool FileJournal::FinishLeftJournal(const fs::path& machineFolder) {
  fs::path folder = PrivateFolder(machineFolder);
  std::error_code error;
  // A run whose changes were kept, killed while its journal was removed.
  if (Exists(folder / kDecided)) fs::remove_all(folder / kDecided, error);
  fs::path journal = folder / kJournal;
  if (!Exists(journal)) return false;
  std::string problems = Undo(machineFolder, journal);
  if (!problems.empty()) {
    throw MachineError(std::string(kPrivateFolderName) + "/" + kJournal, 0,
                       "a run that was stopped before it ended left changes that cannot all be "
                       "put back (" +
                           problems + "); fix that and use the machine again");
  }
  fs::remove_all(journal, error);
  return true;
}

}  // namespace winsim
