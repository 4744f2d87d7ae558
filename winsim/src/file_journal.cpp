#include "winsim/file_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <set>
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
constexpr const char* kLogName = ".winsim/journal/log";
// The machine's own files that a run's save replaces.
constexpr std::string_view kMachineFiles[] = {"registry.reg", "short-names.txt", "machine.ini"};
constexpr unsigned kMostKept = 1u << 30;

std::string KeptName(unsigned number) { return "kept-" + std::to_string(number); }

std::string Error(int error) { return std::strerror(error); }

int OpenFolder(int at, const char* name) {
  return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool ExistsAt(int folder, const std::string& name) {
  struct stat info;
  return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// Opens the folder that holds `path` (relative to the machine folder) one
// name at a time, never through a link, so that a folder swapped for a link
// cannot lead outside; -1 with errno (ELOOP or ENOTDIR for a link).
int OpenParent(int machine, const std::string& path, std::string& leaf) {
  UniqueFd folder(::fcntl(machine, F_DUPFD_CLOEXEC, 0));
  size_t start = 0;
  for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', start)) {
    std::string name = path.substr(start, slash - start);
    UniqueFd next(OpenFolder(folder.get(), name.c_str()));
    if (next.get() < 0) return -1;
    folder = std::move(next);
    start = slash + 1;
  }
  leaf = path.substr(start);
  return folder.release();
}

// Removes an entry and, for a folder, what it holds, without following links.
int RemoveTree(int parent, const std::string& name) {
  struct stat info;
  if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? 0 : errno;
  }
  if (!S_ISDIR(info.st_mode)) return ::unlinkat(parent, name.c_str(), 0) == 0 ? 0 : errno;
  int fd = OpenFolder(parent, name.c_str());
  if (fd < 0) return errno;
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    int saved = errno;
    ::close(fd);
    return saved;
  }
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(listing)) {
    std::string child = entry->d_name;
    if (child != "." && child != "..") names.push_back(child);
  }
  int error = 0;
  for (const std::string& child : names) {
    if (int failed = RemoveTree(::dirfd(listing), child)) error = failed;
  }
  ::closedir(listing);
  if (error == 0 && ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) error = errno;
  return error;
}

void Flush(int fd) {
  if (fd >= 0) ::fsync(fd);
}

// A copy of the file as `kept` in the journal, for a file system without hard
// links or a drive on another file system than the machine folder.
int KeepCopy(int parent, const std::string& leaf, const fs::path& journal, int journalFd,
             const std::string& kept) {
  UniqueFd source(detail::OpenFileToRead(parent, leaf.c_str()));
  if (source.get() < 0) return errno;
  std::string made;
  detail::CopyResult copy = detail::CopyToNewFile(source.get(), journal, true, made);
  if (copy.error != 0) return copy.error;
  std::string name = fs::path(made).filename().string();
  if (::renameat(journalFd, name.c_str(), journalFd, kept.c_str()) != 0) {
    int saved = errno;
    ::unlinkat(journalFd, name.c_str(), 0);
    return saved;
  }
  return 0;
}

// One change of the log.
struct Record {
  char kind = 'N';  // N made new, K kept, C a new one that was not made
  unsigned number = 0;
  std::string path;  // relative to the machine folder
};

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

[[noreturn]] void Refuse(size_t record, const std::string& what) {
  throw JournalRefused(kLogName, 0,
                       "record " + std::to_string(record) + " " + what +
                           "; nothing was put back and the journal and its kept files stay as "
                           "they are: look at the machine, then remove .winsim/journal to use it "
                           "as it is");
}

// The log of a journal found in the folder, opened only when it is a file of
// its own: a pipe put there would keep winsim waiting for ever, a device would
// be opened and read. -1 with errno (ENOENT: no log; EINVAL: not a file).
int OpenFoundLog(int journal) {
  struct stat info;
  if (::fstatat(journal, kLog, &info, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (S_ISREG(info.st_mode)) {
    // Not blocking, should it have been swapped for a pipe since it was looked at.
    UniqueFd log(
        ::openat(journal, kLog, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (log.get() < 0 || ::fstat(log.get(), &info) != 0) return -1;
    if (S_ISREG(info.st_mode)) return log.release();
  }
  errno = EINVAL;
  return -1;
}

// "N <length> <path>\n", "C <length> <path>\n" and "K <number> <length>
// <path>\n": the length makes any byte of a name safe. Only the last record
// may be cut short (a kill while it was written; its change was never begun);
// any other byte out of place is damage.
std::vector<Record> ReadLog(int journal) {
  std::string text;
  UniqueFd in(OpenFoundLog(journal));
  if (in.get() < 0) {
    if (errno == ENOENT) return {};
    if (errno == EINVAL) {
      throw JournalRefused(kLogName, 0,
                           "is not a file (a link, a pipe or a device); nothing was put back: "
                           "look at the machine, then remove .winsim/journal to use it as it is");
    }
    throw JournalRefused(kLogName, 0, "cannot be read: " + Error(errno));
  }
  // A run's records take a few kilobytes.
  if (!detail::ReadAll(in.get(), text, detail::kLargestLinesFile)) {
    if (errno == EFBIG) {
      throw JournalRefused(kLogName, 0,
                           "is more than " + std::to_string(detail::kLargestLinesFile >> 20) +
                               " MB, far more than a run's records take; nothing was put back and "
                               "the journal and its kept files stay as they are: look at the "
                               "machine, then remove .winsim/journal to use it as it is");
    }
    throw JournalRefused(kLogName, 0, "cannot be read: " + Error(errno));
  }
  std::vector<Record> records;
  size_t at = 0;
  enum class Read { Whole, Short, Bad };
  auto number = [&](unsigned long long& value) {
    size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 12) {
      value = value * 10 + static_cast<unsigned>(text[at] - '0');
      ++at;
    }
    if (at >= text.size()) return Read::Short;
    if (at == start || text[at] != ' ') return Read::Bad;
    ++at;
    return Read::Whole;
  };
  auto one = [&](Record& record) {
    record.kind = text[at];
    if (record.kind != 'N' && record.kind != 'K' && record.kind != 'C') return Read::Bad;
    if (at + 1 >= text.size()) return Read::Short;
    if (text[at + 1] != ' ') return Read::Bad;
    at += 2;
    unsigned long long value = 0;
    if (record.kind == 'K') {
      if (Read read = number(value); read != Read::Whole) return read;
      if (value == 0 || value > kMostKept) return Read::Bad;
      record.number = static_cast<unsigned>(value);
    }
    if (Read read = number(value); read != Read::Whole) return read;
    if (value > text.size() - at || text.size() - at - value < 1) return Read::Short;
    if (text[at + value] != '\n') return Read::Bad;
    record.path = text.substr(at, value);
    at += value + 1;
    return Read::Whole;
  };
  while (at < text.size()) {
    Record record;
    Read read = one(record);
    if (read == Read::Short) break;
    if (read == Read::Bad) Refuse(records.size() + 1, "is damaged (a byte out of place)");
    records.push_back(std::move(record));
  }
  return records;
}

// A plain path in a drive or one of the machine's own files: relative, no
// "." or "..", nothing of winsim's own.
bool PlainMachinePath(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  for (std::string_view file : kMachineFiles) {
    if (path == file) return true;
  }
  size_t start = 0;
  bool first = true;
  for (;;) {
    size_t slash = path.find('/', start);
    std::string_view name = std::string_view(path).substr(
        start, slash == std::string::npos ? std::string::npos : slash - start);
    if (name.empty() || name == "." || name == "..") return false;
    if (first &&
        (name.size() != 7 || name.substr(0, 6) != "drive_" || name[6] < 'a' || name[6] > 'z')) {
      return false;
    }
    if (first && slash == std::string::npos) return false;  // a drive itself
    first = false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

// Checks the whole log before anything is put back: each path plain and
// reached through no link, each kept file there (those of a rollback cut
// short aside: it puts back the newest first), no kept file without a record.
void Check(int machine, int journal, const std::vector<Record>& records) {
  size_t missingKept = 0;  // the first record whose kept file is missing
  unsigned expected = 1;
  for (size_t i = 0; i < records.size(); ++i) {
    const Record& record = records[i];
    if (!PlainMachinePath(record.path)) {
      Refuse(i + 1, "names " + Quoted(record.path) +
                        ", which is not a plain path to a file of the machine folder");
    }
    std::string leaf;
    UniqueFd parent(OpenParent(machine, record.path, leaf));
    if (parent.get() < 0 && errno != ENOENT) {
      Refuse(i + 1, "names " + Quoted(record.path) + ", which leads through a link or a file");
    }
    if (record.kind != 'K') continue;
    if (record.number != expected++) {
      Refuse(i + 1, "keeps " + KeptName(record.number) + " out of turn");
    }
    bool there = ExistsAt(journal, KeptName(record.number));
    if (there && missingKept != 0) {
      Refuse(missingKept, "names a kept file that is missing (" +
                              KeptName(records[missingKept - 1].number) + ")");
    }
    if (!there && missingKept == 0) missingKept = i + 1;
  }
  // A kept file is made before its record; one without, past the last, was
  // never used. Any other means records were lost.
  if (ExistsAt(journal, KeptName(expected + 1))) {
    Refuse(records.size() + 1, "is missing: " + KeptName(expected + 1) + " has no record");
  }
}

// Puts back what the log of the journal recorded, newest change first; the
// problems found, empty when everything is back.
std::string Undo(int machine, int journal) {
  std::vector<Record> records = ReadLog(journal);
  Check(machine, journal, records);
  std::string problems;
  auto problem = [&problems](const std::string& what, int error) {
    problems += (problems.empty() ? "" : "; ") + what + ": " + Error(error);
  };
  std::multiset<std::string> notMade;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->kind == 'C') {
      notMade.insert(it->path);
      continue;
    }
    if (it->kind == 'N' && notMade.count(it->path) != 0) {
      notMade.erase(notMade.find(it->path));
      continue;
    }
    std::string kept = KeptName(it->number);
    if (it->kind == 'K' && !ExistsAt(journal, kept)) continue;  // back already
    std::string leaf;
    UniqueFd parent(OpenParent(machine, it->path, leaf));
    if (parent.get() < 0) {
      if (errno != ENOENT || it->kind == 'K') problem("cannot reach " + it->path, errno);
      continue;
    }
    struct stat info;
    bool exists = ::fstatat(parent.get(), leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (it->kind == 'N') {
      // Made by the run. A folder goes only when empty: what the run put in
      // it went before it, so anything else there is someone else's.
      if (!exists) continue;
      if (S_ISDIR(info.st_mode)) {
        if (::unlinkat(parent.get(), leaf.c_str(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY &&
            errno != EEXIST) {
          problem("cannot remove " + it->path, errno);
        }
      } else if (::unlinkat(parent.get(), leaf.c_str(), 0) != 0 && errno != ENOENT) {
        problem("cannot remove " + it->path, errno);
      }
      Flush(parent.get());
      continue;
    }
    if (exists && S_ISDIR(info.st_mode)) {
      if (int error = RemoveTree(parent.get(), leaf)) {
        problem("cannot put back " + it->path, error);
        continue;
      }
    }
    if (::renameat(journal, kept.c_str(), parent.get(), leaf.c_str()) != 0) {
      problem("cannot put back " + it->path, errno);
    }
    Flush(parent.get());
  }
  return problems;
}

// The run that writes a journal holds a lock on its log to its end.
bool HeldByARun(int journal) {
  UniqueFd log(OpenFoundLog(journal));
  if (log.get() < 0) return false;
  return ::flock(log.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

}  // namespace

FileJournal::FileJournal(const fs::path& machineFolder)
    : machine_(machineFolder), folder_(machineFolder / kPrivateFolderName / kJournal) {
  const std::string name = std::string(kPrivateFolderName) + "/" + kJournal;
  // The machine folder as the person named it (a link there is their own name
  // for it); below it no link is followed.
  machineFd_ = ::open(machine_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  UniqueFd privateFd(machineFd_ < 0 ? -1 : OpenFolder(machineFd_, kPrivateFolderName));
  if (privateFd.get() < 0 || ::mkdirat(privateFd.get(), kJournal, 0700) != 0) {
    int saved = errno;
    if (machineFd_ >= 0) ::close(machineFd_);
    throw MachineError(name, 0,
                       "cannot be made: " + Error(saved) +
                           "; check the machine folder's permissions and free space");
  }
  folderFd_ = OpenFolder(privateFd.get(), kJournal);
  log_ = folderFd_ < 0
             ? -1
             : ::openat(folderFd_, kLog,
                        O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (log_ < 0 || ::flock(log_, LOCK_EX | LOCK_NB) != 0) {
    int saved = errno;
    if (log_ >= 0) ::close(log_);
    if (folderFd_ >= 0) ::close(folderFd_);
    ::close(machineFd_);
    RemoveTree(privateFd.get(), kJournal);
    throw MachineError(name + "/" + kLog, 0, "cannot be made: " + Error(saved));
  }
  Flush(folderFd_);
  Flush(privateFd.get());
}

FileJournal::~FileJournal() {
  for (int fd : {log_, folderFd_, machineFd_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::string FileJournal::relative(const fs::path& host) const {
  fs::path inside = host.lexically_relative(machine_);
  std::string text = inside.string();
  if (!PlainMachinePath(text)) return std::string();
  return text;
}

bool FileJournal::covers(const fs::path& host) const { return covered_.count(relative(host)) != 0; }

int FileJournal::append(const std::string& record) {
  if (log_ < 0) return EBADF;
  // One write for one record: a kill leaves whole records and at most one
  // cut short, which the reader passes over. Flushed before the change it
  // announces is made, so that a host crash cannot lose it either.
  size_t done = 0;
  while (done < record.size()) {
    ssize_t n = ::write(log_, record.data() + done, record.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? ENOSPC : errno;
    done += static_cast<size_t>(n);
  }
  return ::fdatasync(log_) == 0 ? 0 : errno;
}

int FileJournal::willCreate(const fs::path& host) {
  std::string path = relative(host);
  if (path.empty()) return EXDEV;
  if (covered_.count(path) != 0) return 0;
  if (int error = append("N " + std::to_string(path.size()) + " " + path + "\n")) return error;
  covered_.insert(path);
  created_.insert(path);
  return 0;
}

void FileJournal::notCreated(const fs::path& host) {
  std::string path = relative(host);
  if (path.empty() || created_.erase(path) == 0) return;
  covered_.erase(path);
  append("C " + std::to_string(path.size()) + " " + path + "\n");
}

int FileJournal::newTemporary(const fs::path& folder, std::string& name) {
  static std::mt19937_64 random(std::random_device{}());
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix;
  for (int i = 0; i < 12; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
  fs::path file = folder / (".winsim-copy-" + suffix);
  if (int error = willCreate(file)) return error;
  name = file.string();
  return 0;
}

int FileJournal::recordKept(const std::string& path, fs::path& kept) {
  unsigned number = nextKept_;
  kept = folder_ / KeptName(number);
  int error =
      append("K " + std::to_string(number) + " " + std::to_string(path.size()) + " " + path + "\n");
  if (error == 0) ++nextKept_;
  return error;
}

// The file is linked (or copied) into the journal first, then recorded: a
// record always has its kept file, and a kill between leaves only an unused
// copy in the journal.
int FileJournal::willReplace(const fs::path& host) {
  std::string path = relative(host);
  if (path.empty()) return EXDEV;
  if (covered_.count(path) != 0) return 0;
  std::string leaf;
  UniqueFd parent(OpenParent(machineFd_, path, leaf));
  if (parent.get() < 0) return errno;
  const std::string kept = KeptName(nextKept_);
  if (::linkat(parent.get(), leaf.c_str(), folderFd_, kept.c_str(), 0) != 0) {
    if (errno != EXDEV && errno != EPERM && errno != EMLINK) return errno;
    if (int error = KeepCopy(parent.get(), leaf, folder_, folderFd_, kept)) return error;
  }
  Flush(folderFd_);
  fs::path named;
  if (int error = recordKept(path, named)) {
    ::unlinkat(folderFd_, kept.c_str(), 0);
    return error;
  }
  covered_.insert(path);
  return 0;
}

int FileJournal::remove(const fs::path& host) {
  std::string path = relative(host);
  if (path.empty()) return EXDEV;
  std::string leaf;
  UniqueFd parent(OpenParent(machineFd_, path, leaf));
  if (parent.get() < 0) return errno;
  if (covered_.count(path) == 0) {
    if (int error = willReplace(host)) return error;
  }
  if (::unlinkat(parent.get(), leaf.c_str(), 0) != 0) return errno;
  Flush(parent.get());
  return 0;
}

namespace {

// The folders, other than the machine folder's file system, that hold what
// the run changed: a drive may be another disk mounted in the machine folder,
// which a flush of the machine folder's file system does not reach. One
// folder for each such file system, opened name by name, never through a
// link (a folder reached through one was not written through it either).
std::vector<UniqueFd> FoldersOnOtherFileSystems(int machine, const std::set<std::string>& changed) {
  std::vector<UniqueFd> folders;
  struct stat machineInfo;
  if (::fstat(machine, &machineInfo) != 0) return folders;
  std::vector<dev_t> seen{machineInfo.st_dev};
  std::set<std::string> parents;
  for (const std::string& path : changed) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) parents.insert(path.substr(0, slash));
  }
  for (std::string folder : parents) {
    // A folder the run removed: the one that held it holds the change.
    struct stat info;
    bool found = false;
    while (!(found = ::fstatat(machine, folder.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)) {
      size_t slash = folder.rfind('/');
      if (slash == std::string::npos) break;
      folder.resize(slash);
    }
    if (!found || std::find(seen.begin(), seen.end(), info.st_dev) != seen.end()) continue;
    std::string leaf;  // "." below the folder
    UniqueFd opened(OpenParent(machine, folder + "/.", leaf));
    if (opened.get() < 0) continue;
    struct stat openedInfo;
    if (::fstat(opened.get(), &openedInfo) != 0 || openedInfo.st_dev != info.st_dev) continue;
    seen.push_back(info.st_dev);
    folders.push_back(std::move(opened));
  }
  return folders;
}

}  // namespace

void FileJournal::commit() {
  if (log_ >= 0) ::close(log_);
  log_ = -1;
  // What the run wrote reaches the disk before the decision to keep it: the
  // files it placed and the machine files saved were not flushed one by one.
  // A disk that cannot take them keeps the journal, so the run is put back.
  auto unflushed = [](int error) {
    return MachineError(
        std::string(kPrivateFolderName) + "/" + kJournal, 0,
        "cannot be closed: what the run wrote could not be flushed to the disk: " + Error(error));
  };
  if (machineFd_ < 0 || ::syncfs(machineFd_) != 0) throw unflushed(errno);
  for (const UniqueFd& folder : FoldersOnOtherFileSystems(machineFd_, covered_)) {
    if (::syncfs(folder.get()) != 0) throw unflushed(errno);
  }
  fs::path decided = folder_.parent_path() / kDecided;
  if (::rename(folder_.c_str(), decided.c_str()) != 0) {
    throw MachineError(std::string(kPrivateFolderName) + "/" + kJournal, 0,
                       "cannot be closed: " + Error(errno));
  }
  decided_ = true;
  UniqueFd privateFd(OpenFolder(machineFd_, kPrivateFolderName));
  Flush(privateFd.get());
  if (privateFd.get() >= 0) RemoveTree(privateFd.get(), kDecided);  // else at the next start
}

void FileJournal::rollback() {
  // A journal removed or replaced while the run went cannot say what to put back.
  struct stat open;
  struct stat named;
  if (folderFd_ < 0 || ::fstat(folderFd_, &open) != 0 || open.st_nlink == 0 ||
      ::lstat(folder_.c_str(), &named) != 0 || named.st_ino != open.st_ino ||
      named.st_dev != open.st_dev) {
    throw MachineError("", 0,
                       "the files of the run cannot be put back: its journal (" +
                           std::string(kPrivateFolderName) + "/" + kJournal +
                           ") was removed while it ran; compare the machine with a copy "
                           "made before the run");
  }
  std::string problems;
  try {
    problems = Undo(machineFd_, folderFd_);
  } catch (const JournalRefused& refused) {
    problems = refused.what();
  }
  if (log_ >= 0) ::close(log_);
  log_ = -1;
  if (!problems.empty()) {
    throw MachineError("", 0,
                       "the files of the run cannot all be put back (" + problems +
                           "); winsim tries again when the machine is next used");
  }
  decided_ = true;
  UniqueFd privateFd(OpenFolder(machineFd_, kPrivateFolderName));
  if (privateFd.get() >= 0) RemoveTree(privateFd.get(), kJournal);
}

bool FileJournal::LeftJournal(const fs::path& machineFolder) {
  struct stat info;
  fs::path folder = machineFolder / kPrivateFolderName;
  return ::lstat((folder / kJournal).c_str(), &info) == 0 ||
         ::lstat((folder / kDecided).c_str(), &info) == 0;
}

bool FileJournal::FinishLeftJournal(const fs::path& machineFolder) {
  // Named as the person named it, as the journal that was left opened it.
  UniqueFd machine(::open(machineFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  UniqueFd privateFd(machine.get() < 0 ? -1 : OpenFolder(machine.get(), kPrivateFolderName));
  if (privateFd.get() < 0) return false;
  // A run whose changes were kept, killed while its journal was removed.
  RemoveTree(privateFd.get(), kDecided);
  UniqueFd journal(OpenFolder(privateFd.get(), kJournal));
  if (journal.get() < 0) {
    if (errno == ENOENT) return false;
    throw JournalRefused(std::string(kPrivateFolderName) + "/" + kJournal, 0,
                         "is not winsim's own folder (it is a link or a file); nothing was put "
                         "back: look at the machine, then remove it");
  }
  if (HeldByARun(journal.get())) {
    throw JournalRefused(std::string(kPrivateFolderName) + "/" + kJournal, 0,
                         "belongs to a run that is still going (its lock file was removed "
                         "meanwhile); nothing was changed: wait for that run to end");
  }
  std::string problems = Undo(machine.get(), journal.get());
  if (!problems.empty()) {
    throw MachineError(std::string(kPrivateFolderName) + "/" + kJournal, 0,
                       "a run that was stopped before it ended left changes that cannot all be "
                       "put back (" +
                           problems + "); fix that and use the machine again");
  }
  RemoveTree(privateFd.get(), kJournal);
  Flush(privateFd.get());
  return true;
}

}  // namespace winsim
