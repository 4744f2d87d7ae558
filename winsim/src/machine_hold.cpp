#include "winsim/machine_hold.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>

#include "winsim/file_journal.h"
#include "winsim/machine.h"
#include "winsim/run.h"

namespace fs = std::filesystem;

namespace winsim {
namespace {

constexpr const char* kLockFile = "lock";
// The machine files winsim saves through a temporary file beside them.
constexpr std::string_view kSavedFiles[] = {"registry.reg", "machine.ini", "short-names.txt"};

std::string PrivatePath(const char* name = nullptr) {
  std::string path = kPrivateFolderName;
  return name == nullptr ? path : path + "/" + name;
}

[[noreturn]] void Refuse(const std::string& file, const std::string& what, int error) {
  throw MachineError(file, 0, what + ": " + std::strerror(error));
}

[[noreturn]] void NotOurLock() {
  throw MachineError(PrivatePath(kLockFile), 0,
                     "is not winsim's own lock file (it is a link, has other links or is not a "
                     "file); nothing was changed: remove it and run again");
}

std::string ReadHolder(int fd, bool patient) {
  std::string text;
  // A holder that has just taken the lock writes its name at once.
  for (int attempt = 0; attempt < (patient ? 40 : 1) && text.empty(); ++attempt) {
    if (attempt != 0) ::usleep(5000);
    char buffer[512];
    ssize_t got = ::pread(fd, buffer, sizeof buffer, 0);
    if (got > 0) text.assign(buffer, static_cast<size_t>(got));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  }
  return text.empty() ? std::string("another process") : text;
}

std::string HolderText(const std::string& who) {
  char when[64] = "";
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) != nullptr) {
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
  }
  return who + " (process " + std::to_string(::getpid()) + ", since " + when + ")\n";
}

// "registry.reg.tmp" or "registry.reg.tmp-XXXXXX": a save cut short.
bool IsSaveTemporary(std::string_view name) {
  for (std::string_view file : kSavedFiles) {
    if (name.size() < file.size() + 4 || name.substr(0, file.size()) != file) continue;
    std::string_view rest = name.substr(file.size());
    if (rest == ".tmp" || (rest.size() == 11 && rest.substr(0, 5) == ".tmp-")) return true;
  }
  return false;
}

// Removes the temporaries of saves that were cut short; true when there were any
// (only looking, when `remove` is false).
bool SaveTemporaries(const fs::path& folder, bool remove) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return false;
  bool found = false;
  while (dirent* entry = ::readdir(listing)) {
    if (!IsSaveTemporary(entry->d_name)) continue;
    struct stat info;
    if (::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) continue;
    found = true;
    if (remove) ::unlinkat(::dirfd(listing), entry->d_name, 0);
  }
  ::closedir(listing);
  return found;
}

// Winsim writes the registry into the machine folder; a folder without the
// owner's write permission is refused before anything starts (checked on the
// mode, as the drives check files, since root may write anywhere).
void RequireWritable(const fs::path& folder) {
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0) {
    Refuse("", "cannot be used", errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    throw MachineError("", 0,
                       "is not a folder; name a machine folder (machine.ini, registry.reg, "
                       "drive_c/)");
  }
  if ((info.st_mode & S_IWUSR) == 0 || ::access(folder.c_str(), W_OK) != 0) {
    throw MachineError("", 0,
                       "is read-only; winsim saves the registry and keeps the record of a run "
                       "there, so nothing was run: make it writable (chmod u+w " +
                           folder.string() + ")");
  }
}

// Only a machine folder is held: in any other folder winsim makes and
// removes nothing (its tidying would take files named like its own for its own).
void RequireMachine(const fs::path& folder) {
  for (const char* name : {"machine.ini", "registry.reg"}) {
    struct stat info;
    if (::lstat((folder / name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) continue;
    Machine::load(folder);  // says what is wrong as a load does
    throw MachineError(name, 0, "is not a file");
  }
}

// The private folder, made when it is missing; never a link.
int OpenPrivateFolder(const fs::path& folder) {
  fs::path path = folder / kPrivateFolderName;
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    Refuse(PrivatePath(), "cannot be made", errno);
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP || errno == ENOTDIR) {
      throw MachineError(PrivatePath(), 0,
                         "is not winsim's own folder (it is a link or a file); remove it and "
                         "run again");
    }
    if (errno == ENOENT) return -1;  // a holder that let go removed it just now
    Refuse(PrivatePath(), "cannot be opened", errno);
  }
  return fd;
}

}  // namespace

MachineBusy::MachineBusy(const std::string& folder, std::string holder, bool stoppedWaiting)
    : std::runtime_error("the machine " + folder + " is in use by " + holder),
      holder_(std::move(holder)),
      stoppedWaiting_(stoppedWaiting) {}

bool MachineBusy::heldBy(const std::string& who) const {
  // As HolderText writes it: "winsim new (process 4711, since ...)".
  const std::string named = who + " (";
  return holder_.compare(0, named.size(), named) == 0;
}

MachineHold::MachineHold(const fs::path& folder, const std::string& who, bool wait,
                         const std::function<void(const std::string&)>& waiting)
    : folder_(folder) {
  RequireWritable(folder);
  RequireMachine(folder);
  try {
    take(who, wait, waiting);
  } catch (...) {
    release();
    throw;
  }
}

void MachineHold::take(const std::string& who, bool wait,
                       const std::function<void(const std::string&)>& waiting) {
  bool told = false;
  for (int attempt = 0;; ++attempt) {
    // A holder that lets go removes the lock file and the private folder;
    // whoever waited on the old file, or opened it just then, starts over.
    const bool lastAttempt = attempt >= 100;
    release();
    directory_ = OpenPrivateFolder(folder_);
    if (directory_ < 0) {
      if (lastAttempt) Refuse(PrivatePath(), "keeps disappearing", ENOENT);
      continue;
    }
    // Only a file is ever opened as the lock: a device put there would be
    // opened (a tape rewound, a watchdog started) before it was refused.
    struct stat found;
    if (::fstatat(directory_, kLockFile, &found, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(found.st_mode)) {
      NotOurLock();
    }
    lock_ = ::openat(directory_, kLockFile,
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (lock_ < 0) {
      if (errno == ENOENT && !lastAttempt) continue;
      if (errno == ELOOP) NotOurLock();
      Refuse(PrivatePath(kLockFile), "cannot be opened", errno);
    }
    // The holder writes its name into the lock: only a file of its own,
    // never one that is also another file (a hard link) or a device.
    struct stat opened;
    if (::fstat(lock_, &opened) != 0) Refuse(PrivatePath(kLockFile), "cannot be read", errno);
    // No link at all: the holder let go and removed it since it was opened.
    if (S_ISREG(opened.st_mode) && opened.st_nlink == 0) {
      if (lastAttempt) Refuse(PrivatePath(kLockFile), "keeps being replaced", EAGAIN);
      continue;
    }
    if (!S_ISREG(opened.st_mode) || opened.st_nlink != 1) NotOurLock();
    if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) Refuse(PrivatePath(kLockFile), "cannot be locked", errno);
      std::string holder = ReadHolder(lock_, true);
      if (!wait) throw MachineBusy(folder_.string(), holder, false);
      if (!told && waiting) waiting(holder);
      told = true;
      while (::flock(lock_, LOCK_EX) != 0) {
        if (errno != EINTR) Refuse(PrivatePath(kLockFile), "cannot be locked", errno);
        if (StopRequest() != 0) throw MachineBusy(folder_.string(), holder, true);
      }
    }
    struct stat held;
    struct stat named;
    if (::fstat(lock_, &held) == 0 &&
        ::fstatat(directory_, kLockFile, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      break;
    }
    if (lastAttempt) Refuse(PrivatePath(kLockFile), "keeps being replaced", EAGAIN);
  }
  held_ = true;

  // A lock file that still names someone was left by a holder that was killed.
  std::string previous;
  struct stat info;
  if (::fstat(lock_, &info) == 0 && info.st_size > 0) previous = ReadHolder(lock_, false);
  std::string text = HolderText(who);
  if (::ftruncate(lock_, 0) != 0 ||
      ::pwrite(lock_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    // The lock holds all the same; only a refused process learns less.
  }

  if (FileJournal::FinishLeftJournal(folder_)) {
    tidied_ = "a run on this machine was stopped before it ended" +
              (previous.empty() ? std::string() : " (" + previous + ")") +
              "; the files it had changed are put back as they were before it";
  }
  SaveTemporaries(folder_, true);
}

void MachineHold::release() {
  if (lock_ >= 0) {
    // Only the lock file this hold made or took: one put there meanwhile stays.
    struct stat held;
    struct stat named;
    if (held_ && ::fstat(lock_, &held) == 0 &&
        ::fstatat(directory_, kLockFile, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      ::unlinkat(directory_, kLockFile, 0);
    }
    ::close(lock_);  // lets go of the lock
    lock_ = -1;
  }
  if (directory_ >= 0) {
    ::close(directory_);
    directory_ = -1;
    // Only when nothing else is in it (a journal left to finish stays).
    if (held_) ::rmdir((folder_ / kPrivateFolderName).c_str());
  }
  held_ = false;
}

MachineHold::~MachineHold() { release(); }

std::string MachineHold::TidyIfLeft(const fs::path& folder, const std::string& who) {
  // A lock or an empty private folder a kill left is tidied as well.
  struct stat info;
  if (::lstat((folder / kPrivateFolderName).c_str(), &info) != 0 &&
      !SaveTemporaries(folder, false)) {
    return std::string();
  }
  try {
    MachineHold hold(folder, who, false);
    return hold.tidied();
  } catch (const JournalRefused&) {
    throw;  // nobody may read the machine as it stands
  } catch (const std::exception&) {
    return std::string();  // held by a run, or not ours to change: read it as it is
  }
}

}  // namespace winsim
