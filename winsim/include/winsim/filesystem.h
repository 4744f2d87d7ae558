// The drives of a simulated machine: Windows paths resolved to files below the
// machine folder, with the rules of a Windows 95/98 VFAT drive.
//
// - Names compare without regard to case; a path component matches an entry by
//   its long name or by its 8.3 short alias.
// - Forward slashes act as backslashes; "." and ".." are taken apart before
//   anything is looked up, and ".." stops at the drive root. Trailing dots and
//   blanks of a component are dropped, as Windows drops them.
// - No path leaves the machine folder: symbolic links, and anything on the
//   host that is neither a file nor a folder, are treated as absent, never
//   followed or opened.
// - Short names: every entry has an 8.3 short name as on a VFAT drive, given
//   when the entry is made (the lowest ~n free in its folder then) and kept
//   with it while others come and go; entries put in by hand get theirs in the
//   case-insensitive alphabetical order of their long names. The machine folder
//   keeps them across runs in short-names.txt, beside registry.reg and out of
//   every program's sight: one line a name, "PROGRA~1<tab>C:\Program Files".
//   short_names.h has the whole rule and the file.
#ifndef WINSIM_FILESYSTEM_H
#define WINSIM_FILESYSTEM_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winsim/machine.h"

namespace winsim {

struct ResolvedPath {
  std::filesystem::path host;      // where the entry is (or would be created) on the host
  std::string windowsPath;         // the full Windows path with the long names found on disk
  bool exists = false;             // the entry itself exists
  bool isDirectory = false;        // it exists and is a folder
  bool trailingSeparator = false;  // the path ended with a backslash: it can only name a folder
};

struct PathResult {
  std::optional<ResolvedPath> path;
  uint32_t error = 0;  // ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME ... when path is empty
};

// Resolves a path as a program gives it, relative to the current directory.
// The last component need not exist (so that files can be created); every
// folder before it must. A path to a drive the machine has no folder for, a
// network path and a path of MAX_PATH characters or more give
// ERROR_PATH_NOT_FOUND; characters that Windows forbids in names give
// ERROR_INVALID_NAME, as does a trailing backslash after the name of a file.
// A folder whose short names are looked at has them settled in the machine.
PathResult ResolvePath(Machine& machine, std::string_view currentDirectory, std::string_view path);

// After a program made or removed an entry (before it removes one, too): the
// folder that holds it settles its short names, so a new entry gets the
// lowest ~n free there and a removed one gives its short name up.
void SettleShortNames(Machine& machine, const ResolvedPath& path);

// The host folder that holds `host` (a path in the machine folder), opened a
// name at a time from the machine folder (as it was named, a link to it
// included) without following links: a folder swapped for a link after the
// path was resolved cannot lead a change, or a read, outside. `leaf` receives
// the last name. -1 with errno (ELOOP for a link) when it cannot be reached.
int OpenHostParent(const Machine& machine, const std::filesystem::path& host, std::string& leaf);

// A file of the machine opened for reading, reached as OpenHostParent reaches
// it; only a file (a pipe or a device put there meanwhile is neither waited
// on nor opened as one). -1 with errno (EINVAL when it is no file).
int OpenHostFile(const Machine& machine, const std::filesystem::path& host);

// The host path of an absolute Windows path, for tests and tools
// ("C:\WINDOWS\system.ini" -> <folder>/drive_c/WINDOWS/system.ini).
// Empty when the path does not resolve. Looks only: the machine keeps nothing.
std::filesystem::path HostPath(const Machine& machine, std::string_view windowsPath);

// The short names that the entries of a folder that winsim has not seen get,
// in the order of the names.
std::vector<std::string> ShortAliases(const std::vector<std::string>& names);

// "COM1" ... "COM9" (also as "\\.\COM2"): the port name in upper case; otherwise nothing.
std::optional<std::string> PortName(std::string_view path);

}  // namespace winsim

#endif  // WINSIM_FILESYSTEM_H
