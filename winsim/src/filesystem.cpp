#include "winsim/filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <system_error>
#include <utility>

#include "handles.h"
#include "host_copy.h"
#include "winsim/registry.h"
#include "winsim/short_names.h"

namespace fs = std::filesystem;

namespace winsim {
namespace {

constexpr size_t kMaxNameLength = 255;  // a long name on a VFAT drive

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Characters that no Windows file name can hold (the separators aside).
bool ForbiddenInName(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
}

// A name as a folder on a Windows drive can hold it.
bool IsWindowsName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  if (name == "." || name == "..") return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  for (char c : name) {
    if (ForbiddenInName(c) || IsSeparator(c)) return false;
  }
  return true;
}

// ---- Paths ----

PathResult Fail(uint32_t error) {
  PathResult result;
  result.error = error;
  return result;
}

// A path taken apart lexically: its drive and the names below the drive root,
// with "." and ".." already applied.
struct FullPath {
  char drive = 0;
  std::vector<std::string> names;
};

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
}

uint32_t AppendNames(std::string_view text, std::vector<std::string>& names) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    std::string_view piece = text.substr(start, end - start);
    start = end + 1;
    if (piece.empty() || piece == ".") continue;
    if (piece == "..") {
      if (!names.empty()) names.pop_back();  // the root's parent is the root
      continue;
    }
    if (std::any_of(piece.begin(), piece.end(), ForbiddenInName)) return ERROR_INVALID_NAME;
    // Windows drops trailing dots and blanks of a name.
    size_t kept = piece.find_last_not_of(". ");
    if (kept == std::string_view::npos) return ERROR_INVALID_NAME;
    piece = piece.substr(0, kept + 1);
    if (piece.size() > kMaxNameLength) return ERROR_INVALID_NAME;
    names.emplace_back(piece);
  }
  return 0;
}

// The current directory as the base of relative paths; false when it has no drive.
bool CurrentPath(std::string_view currentDirectory, FullPath& current) {
  if (!HasDrive(currentDirectory)) return false;
  std::string_view rest = currentDirectory.substr(2);
  if (!rest.empty() && !IsSeparator(rest[0])) return false;
  current.drive = ToUpper(currentDirectory[0]);
  return AppendNames(rest, current.names) == 0;
}

uint32_t FullPathOf(std::string_view currentDirectory, std::string_view path, FullPath& full) {
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  // Network paths and device paths ("\\server\share", "\\.\x") lead off the machine's drives.
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    return ERROR_PATH_NOT_FOUND;
  }
  FullPath current;
  bool haveCurrent = CurrentPath(currentDirectory, current);
  if (HasDrive(path)) {
    full.drive = ToUpper(path[0]);
    std::string_view rest = path.substr(2);
    // "C:name" is relative to the current directory when that is on drive C:,
    // otherwise to the drive's root.
    if ((rest.empty() || !IsSeparator(rest[0])) && haveCurrent && current.drive == full.drive) {
      full.names = current.names;
    }
    return AppendNames(rest, full.names);
  }
  if (!haveCurrent) return ERROR_PATH_NOT_FOUND;
  full.drive = current.drive;
  if (!IsSeparator(path[0])) full.names = current.names;
  return AppendNames(path, full.names);
}

size_t WindowsLength(const FullPath& full) {
  size_t length = 3;  // "C:\"
  for (const std::string& name : full.names) length += name.size() + 1;
  return full.names.empty() ? length : length - 1;
}

struct FolderEntry {
  std::string name;
  bool isDirectory = false;
};

// The entries of an open host folder that a Windows drive can hold: files
// and folders with valid names. Links, devices and pipes are not there. One
// pass over the folder's entries: each comes with its type, and only a file
// system that does not say it costs a look at the entry itself. A folder that
// cannot be read (-1: it could not be opened) holds nothing.
std::vector<FolderEntry> ListFolder(int folder) {
  std::vector<FolderEntry> entries;
  if (folder < 0) return entries;
  alignas(struct dirent64) char block[16384];
  for (;;) {
    ssize_t got = ::getdents64(folder, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(block + at);
      at += entry->d_reclen;
      std::string_view name(entry->d_name);
      if (!IsWindowsName(name)) continue;
      unsigned char type = entry->d_type;
      if (type == DT_UNKNOWN) {
        struct stat info;
        if (::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
      }
      if (type != DT_DIR && type != DT_REG) continue;
      entries.push_back(FolderEntry{std::string(name), type == DT_DIR});
    }
  }
  // A host folder may hold names that differ only in case; the first in byte order wins.
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

// A folder below `at` (-1 when `at` is), opened without following a link.
int OpenFolderAt(int at, const char* name) {
  if (at < 0) return -1;
  return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The folder's short names: kept in the machine's store when it may change,
// worked out alone when the machine is only looked at.
std::vector<std::string> FolderAliases(Machine* machine, const ShortNames& store,
                                       const std::string& folder,
                                       const std::vector<FolderEntry>& entries) {
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const FolderEntry& entry : entries) names.push_back(entry.name);
  return machine != nullptr ? machine->shortNames.settle(folder, names)
                            : store.aliases(folder, names);
}

// The entry a name matches by its long name, else by its short name.
const FolderEntry* FindEntry(Machine* machine, const ShortNames& store, const std::string& folder,
                             const std::vector<FolderEntry>& entries, std::string_view name) {
  for (const FolderEntry& entry : entries) {
    if (NamesEqual(entry.name, name)) return &entry;
  }
  std::vector<std::string> aliases = FolderAliases(machine, store, folder, entries);
  for (size_t i = 0; i < aliases.size(); ++i) {
    if (NamesEqual(aliases[i], name)) return &entries[i];
  }
  return nullptr;
}

PathResult Resolve(const Machine& machine, Machine* settling, std::string_view currentDirectory,
                   std::string_view path) {
  FullPath full;
  if (uint32_t error = FullPathOf(currentDirectory, path, full)) return Fail(error);
  if (WindowsLength(full) >= MAX_PATH) return Fail(ERROR_PATH_NOT_FOUND);

  fs::path host = machine.driveFolder(full.drive);
  ResolvedPath resolved;
  resolved.windowsPath = std::string(1, full.drive) + ":";
  if (full.names.empty()) {
    struct stat info;
    if (::lstat(host.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      return Fail(ERROR_PATH_NOT_FOUND);
    }
    resolved.host = host;
    resolved.windowsPath += "\\";
    resolved.exists = true;
    resolved.isDirectory = true;
    return PathResult{resolved, 0};
  }
  // Each folder is opened below the one before it, never through a link, and
  // listed through that descriptor: the drive folder itself a link, or a
  // folder swapped for one meanwhile, holds nothing.
  UniqueFd folder(::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0) return Fail(ERROR_PATH_NOT_FOUND);
  resolved.trailingSeparator = IsSeparator(path.back());
  for (size_t i = 0; i < full.names.size(); ++i) {
    bool last = i + 1 == full.names.size();
    std::vector<FolderEntry> entries = ListFolder(folder.get());
    const FolderEntry* entry =
        FindEntry(settling, machine.shortNames, resolved.windowsPath, entries, full.names[i]);
    resolved.windowsPath += "\\";
    if (entry == nullptr) {
      if (!last) return Fail(ERROR_PATH_NOT_FOUND);
      host /= full.names[i];
      resolved.windowsPath += full.names[i];
      break;
    }
    if (!last && !entry->isDirectory) return Fail(ERROR_PATH_NOT_FOUND);
    host /= entry->name;
    resolved.windowsPath += entry->name;
    if (!last) folder = UniqueFd(OpenFolderAt(folder.get(), entry->name.c_str()));
    if (last) {
      resolved.exists = true;
      resolved.isDirectory = entry->isDirectory;
    }
  }
  if (resolved.trailingSeparator && resolved.exists && !resolved.isDirectory) {
    return Fail(ERROR_INVALID_NAME);
  }
  resolved.host = host;
  return PathResult{resolved, 0};
}

}  // namespace

std::vector<std::string> ShortAliases(const std::vector<std::string>& names) {
  return ShortNames().aliases(std::string(), names);
}

PathResult ResolvePath(Machine& machine, std::string_view currentDirectory, std::string_view path) {
  return Resolve(machine, &machine, currentDirectory, path);
}

void SettleShortNames(Machine& machine, const ResolvedPath& path) {
  size_t cut = path.windowsPath.rfind('\\');
  if (cut == std::string::npos || cut + 1 == path.windowsPath.size()) return;  // a drive root
  std::string folder = path.windowsPath.substr(0, cut);
  // Reached through no link: a folder swapped for one meanwhile is not listed
  // (its names are not the drive's), and one that cannot be reached keeps its
  // short names as they are.
  std::string leaf;
  UniqueFd listing(OpenHostParent(machine, path.host, leaf));
  if (listing.get() < 0) return;
  FolderAliases(&machine, machine.shortNames, folder, ListFolder(listing.get()));
}

int OpenHostParent(const Machine& machine, const fs::path& host, std::string& leaf) {
  fs::path inside = host.lexically_relative(machine.folder());
  if (inside.empty() || *inside.begin() == "..") {
    errno = EXDEV;
    return -1;
  }
  UniqueFd folder(::open(machine.folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) return -1;
  fs::path::iterator last = std::prev(inside.end());
  for (auto it = inside.begin(); it != last; ++it) {
    UniqueFd next(
        ::openat(folder.get(), it->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0) return -1;
    folder = std::move(next);
  }
  leaf = last->string();
  return folder.release();
}

int OpenHostFile(const Machine& machine, const fs::path& host) {
  std::string leaf;
  UniqueFd parent(OpenHostParent(machine, host, leaf));
  return parent.get() < 0 ? -1 : detail::OpenFileToRead(parent.get(), leaf.c_str());
}

fs::path HostPath(const Machine& machine, std::string_view windowsPath) {
  PathResult result = Resolve(machine, nullptr, machine.config.currentDirectory, windowsPath);
  return result.path ? result.path->host : fs::path();
}

std::optional<std::string> PortName(std::string_view path) {
  if (path.size() > 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == '.' &&
      IsSeparator(path[3])) {
    path.remove_prefix(4);
  }
  if (path.size() != 4 || !NamesEqual(path.substr(0, 3), "COM")) return std::nullopt;
  if (path[3] < '1' || path[3] > '9') return std::nullopt;
  return "COM" + std::string(1, path[3]);
}

}  // namespace winsim
