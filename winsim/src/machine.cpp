#include "winsim/machine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <system_error>

#include "handles.h"
#include "host_copy.h"
#include "winsim/machine_ini.h"
#include "winsim/regedit4.h"

namespace fs = std::filesystem;

namespace winsim {

std::string SizeText(uintmax_t bytes) {
  char text[32];
  double megabytes = static_cast<double>(bytes) / (1024.0 * 1024.0);
  if (megabytes < 1024) {
    std::snprintf(text, sizeof text, "%.0f MB", megabytes);
  } else {
    std::snprintf(text, sizeof text, "%.1f GB", megabytes / 1024);
  }
  return text;
}

uintmax_t ComputerMemory() {
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uintmax_t>(pages) * static_cast<uintmax_t>(pageSize);
}

namespace {

constexpr const char* kIniFile = "machine.ini";
constexpr const char* kRegistryFile = "registry.reg";

std::string Describe(const std::string& file, size_t line, const std::string& what) {
  std::string text = file;
  if (line != 0) text += ":" + std::to_string(line);
  return text.empty() ? what : text + ": " + what;
}

// What to say of a machine file or drive folder that is a symbolic link:
// winsim writes the machine's files, and a link would carry those writes
// out of the folder.
std::string LinkRefusal(const char* what) {
  return std::string(
             "is a symbolic link; a machine folder holds its own files and drives, so "
             "that nothing winsim writes lands outside it: replace the link by a copy "
             "of the ") +
         what + " it points to";
}

// The path of a file the machine folder must hold; MachineError when it is not there.
// `size` receives its size as it was looked at.
fs::path RequireFile(const fs::path& folder, const char* name, const char* missingAdvice,
                     uintmax_t* size = nullptr) {
  fs::path path = folder / name;
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      throw MachineError(name, 0, std::string("missing; ") + missingAdvice);
    }
    throw MachineError(name, 0,
                       std::string("cannot be looked at: ") + std::strerror(errno) +
                           "; check the folder's permissions");
  }
  if (S_ISLNK(info.st_mode)) throw MachineError(name, 0, LinkRefusal("file"));
  if (!S_ISREG(info.st_mode)) throw MachineError(name, 0, "is not a file");
  if (size != nullptr) *size = static_cast<uintmax_t>(info.st_size);
  return path;
}

// The reader's block for a registry file of `size` bytes: the file and its
// end in one block when it is small, so that a small machine's load does not
// get and clear a megabyte it never uses. A file that grew meanwhile, or a
// longer line, makes the reader's block larger as it reads.
size_t RegistryBlockSize(uintmax_t size) {
  return size < kRegedit4BlockSize ? static_cast<size_t>(size) + 1 : kRegedit4BlockSize;
}

// Reads the registry file into the machine's registry. A registry is held in
// memory whole (about 1.2 times the file's size), so a file larger than the
// computer's memory is refused before any of it is read, and a load that runs
// out of memory says so instead of ending the program with the C++ runtime's
// words for it.
void LoadRegistry(const fs::path& file, uintmax_t size, Registry& registry) {
  uintmax_t memory = ComputerMemory();
  if (memory != 0 && size > memory) {
    throw MachineError(kRegistryFile, 0,
                       "is " + SizeText(size) + ", more than this computer's memory (" +
                           SizeText(memory) +
                           "), and winsim holds a machine's whole registry in memory: check that "
                           "it is the registry of a machine, or use a computer with more memory");
  }
  std::optional<Regedit4Error> bad;
  try {
    bad = ImportRegedit4File(file, registry, RegistryBlockSize(size));
  } catch (const std::bad_alloc&) {
    throw MachineError(kRegistryFile, 0,
                       "does not fit in the memory this process may have (the file is " +
                           SizeText(size) +
                           "): free some memory, raise the process's limit (ulimit -v), or make "
                           "the registry smaller");
  }
  if (bad) throw MachineError(kRegistryFile, bad->line, bad->message);
}

// The whole file; MachineError when it is missing or cannot be read.
std::string ReadWholeFile(const fs::path& folder, const char* name, const char* missingAdvice) {
  uintmax_t size = 0;
  fs::path path = RequireFile(folder, name, missingAdvice, &size);
  auto tooLarge = [&](const std::string& shown) {
    return MachineError(name, 0,
                        "is " + shown +
                            ", far more than such a file holds: check that it is the machine's "
                            "own, or put a copy of a shipped machine's in its place");
  };
  if (size > detail::kLargestLinesFile) throw tooLarge(SizeText(size));
  // Opened as it was looked at: a link or a pipe put there since is not
  // followed, nor waited on.
  UniqueFd fd(detail::OpenFileToRead(AT_FDCWD, path.c_str()));
  if (fd.get() < 0 && errno == EINVAL) throw MachineError(name, 0, "is not a file");
  if (fd.get() < 0) throw MachineError(name, 0, "cannot be opened; check its permissions");
  std::string content;
  if (!detail::ReadAll(fd.get(), content, detail::kLargestLinesFile)) {
    if (errno == EFBIG) throw tooLarge("more than " + SizeText(detail::kLargestLinesFile));
    throw MachineError(name, 0, "cannot be read; check the file and its permissions");
  }
  return content;
}

// Writes a file of the machine folder so that it is either the old or the new
// content, never half of one: a temporary file beside it (a new file with an
// unpredictable name, so that nothing planted there is written through),
// flushed, then renamed over it. The file keeps its permissions and, where
// the host allows, its owner; a file with other hard links is replaced, not
// written through. `produce` hands the content to its argument in pieces.
// With `flush` false the caller's journal flushes the file system before the
// new file counts, and puts the old one back until then.
void WriteAtomically(
    const fs::path& folder, const char* name,
    const std::function<void(const std::function<void(std::string_view)>&)>& produce,
    bool flush = true) {
  fs::path target = folder / name;
  std::string temporary = (folder / (std::string(name) + ".tmp-XXXXXX")).string();
  int fd = -1;
  auto fail = [&](const char* what) {
    int saved = errno;
    if (fd >= 0) ::close(fd);
    ::unlink(temporary.c_str());
    throw MachineError(name, 0,
                       std::string("cannot ") + what + " " + temporary + ": " +
                           std::strerror(saved) +
                           "; check the folder's permissions and free space");
  };
  fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    int saved = errno;
    throw MachineError(name, 0,
                       "cannot create a temporary file in " + folder.string() + ": " +
                           std::strerror(saved) +
                           "; check the folder's permissions and free space");
  }
  struct stat old;
  mode_t mode = 0644;
  if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    mode = old.st_mode & 07777;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Only the owner's own files or root can give a file away; the new one stays ours.
    }
  }
  if (::fchmod(fd, mode) != 0) fail("set the permissions of");
  try {
    produce([&](std::string_view piece) {
      while (!piece.empty()) {
        ssize_t written = ::write(fd, piece.data(), piece.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
          if (written == 0) errno = ENOSPC;
          fail("write");
        }
        piece.remove_prefix(static_cast<size_t>(written));
      }
    });
  } catch (const MachineError&) {
    throw;
  } catch (const std::exception& error) {
    if (fd >= 0) ::close(fd);
    ::unlink(temporary.c_str());
    throw MachineError(name, 0, std::string("cannot be written: ") + error.what());
  }
  if (flush && ::fsync(fd) != 0) fail("flush");
  int closing = fd;
  fd = -1;
  if (::close(closing) != 0) fail("close");
  if (::rename(temporary.c_str(), target.c_str()) != 0) fail("rename");
  if (!flush) return;
  // The rename itself reaches the disk, so that a host crash keeps what was decided.
  int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
}

void WriteAtomically(const fs::path& folder, const char* name, const std::string& content,
                     bool flush = true) {
  WriteAtomically(
      folder, name,
      [&content](const std::function<void(std::string_view)>& write) { write(content); }, flush);
}

// The short names kept in the machine folder; none yet when it has no file for them.
ShortNames LoadShortNames(const fs::path& folder) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(folder / ShortNames::kFile, error))) return ShortNames();
  return ShortNames::Parse(ReadWholeFile(folder, ShortNames::kFile, ""));
}

// Makes the host folders of a Windows directory, reusing existing names that
// differ only in case ("C:\Windows\SYSTEM" beside "C:\WINDOWS").
void MakeWindowsDirectory(const Machine& machine, const std::string& windowsPath) {
  fs::path host = machine.driveFolder(windowsPath[0]);
  fs::create_directories(host);
  size_t start = 2;
  while (start < windowsPath.size()) {
    size_t slash = windowsPath.find('\\', start);
    if (slash == std::string::npos) slash = windowsPath.size();
    std::string part = windowsPath.substr(start, slash - start);
    start = slash + 1;
    if (part.empty() || part == ".") continue;
    fs::path next = host / part;
    for (const auto& entry : fs::directory_iterator(host)) {
      if (NamesEqual(entry.path().filename().string(), part)) {
        next = entry.path();
        break;
      }
    }
    fs::create_directories(next);
    host = next;
  }
}

bool IsAbsoluteWindowsPath(const std::string& path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         path[2] == '\\';
}

}  // namespace

MachineError::MachineError(std::string file, size_t line, const std::string& what)
    : std::runtime_error(Describe(file, line, what)),
      file_(std::move(file)),
      line_(line),
      problem_(what) {}

fs::path Machine::driveFolder(char letter) const {
  char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  return folder_ / (std::string("drive_") + lower);
}

Machine Machine::load(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    throw MachineError("", 0,
                       fs::exists(folder, error)
                           ? "is not a folder; name a machine folder (machine.ini, registry.reg, "
                             "drive_c/)"
                           : "no such machine folder; copy one of machines/ or make one");
  }
  Machine machine;
  machine.folder_ = fs::absolute(folder, error);
  if (error) machine.folder_ = folder;

  std::string ini =
      ReadWholeFile(machine.folder_, kIniFile, "every machine folder needs one (it may be empty)");
  machine.config = ParseMachineIni(ini);

  // Read block by block: a registry exported from a real machine runs to tens
  // of megabytes, and the whole text need never be in memory beside the keys.
  uintmax_t registrySize = 0;
  fs::path reg =
      RequireFile(machine.folder_, kRegistryFile,
                  "every machine folder needs one (at least the line REGEDIT4)", &registrySize);
  LoadRegistry(reg, registrySize, machine.registry);
  machine.registry.modified = false;
  machine.shortNames = LoadShortNames(machine.folder_);

  const std::string& windows = machine.config.windowsDirectory;
  fs::path drive = machine.driveFolder(windows[0]);
  struct stat driveInfo;
  const bool driveSeen = ::lstat(drive.c_str(), &driveInfo) == 0;
  if (driveSeen && S_ISLNK(driveInfo.st_mode)) {
    throw MachineError(drive.filename().string(), 0, LinkRefusal("folder"));
  }
  if (!driveSeen || !S_ISDIR(driveInfo.st_mode)) {
    throw MachineError(kIniFile, 0,
                       "the Windows directory " + windows + " is on a drive the machine has no " +
                           "folder for; make drive_" +
                           static_cast<char>(std::tolower(static_cast<unsigned char>(windows[0]))) +
                           "/ in the machine folder");
  }
  return machine;
}

Machine Machine::create(const fs::path& folder, const MachineConfig& config) {
  for (const std::string* directory :
       {&config.windowsDirectory, &config.systemDirectory, &config.currentDirectory}) {
    if (!IsAbsoluteWindowsPath(*directory)) {
      throw MachineError(kIniFile, 0,
                         "'" + *directory + "' is not a full path such as C:\\WINDOWS");
    }
  }
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    throw MachineError("", 0, "cannot make the machine folder: " + error.message());
  }
  if (fs::exists(folder / kIniFile, error) || fs::exists(folder / kRegistryFile, error)) {
    throw MachineError("", 0, "already holds a machine; use an empty or new folder");
  }
  Machine machine;
  machine.folder_ = fs::absolute(folder, error);
  if (error) machine.folder_ = folder;
  machine.config = config;
  try {
    MakeWindowsDirectory(machine, config.windowsDirectory);
    MakeWindowsDirectory(machine, config.systemDirectory);
    MakeWindowsDirectory(machine, config.currentDirectory);
  } catch (const fs::filesystem_error& failure) {
    throw MachineError("", 0, std::string("cannot make the drive folders: ") + failure.what());
  }
  machine.saveConfig();
  machine.save(true);
  return machine;
}

void Machine::save(bool force, SaveFlush flush) {
  const bool now = flush == SaveFlush::kNow;
  saveShortNames(flush);
  if (!savesRegistry(force)) return;
  // Written in pieces as the text is made: the whole text of a large registry
  // never stands in memory beside its keys.
  WriteAtomically(
      folder_, kRegistryFile,
      [this](const std::function<void(std::string_view)>& write) {
        ExportRegedit4(registry, write);
      },
      now);
  registry.modified = false;
}

// The short names describe files already on disk, so they are written
// whatever becomes of the registry.
void Machine::saveShortNames(SaveFlush flush) {
  if (!savesShortNames()) return;
  WriteAtomically(folder_, ShortNames::kFile, shortNames.text(), flush == SaveFlush::kNow);
  shortNames.markSaved();
}

void Machine::saveConfig() const { WriteAtomically(folder_, kIniFile, WriteMachineIni(config)); }

}  // namespace winsim
