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
// - Short aliases: a name that fits 8.3 is its own alias in upper case; any
//   other name becomes its stem upper-cased without blanks and dots (and with
//   + , ; = [ ] turned into underscores, as VFAT does), cut to six characters,
//   then ~1, ~2 ... in the case-insensitive alphabetical order of the long
//   names that share that stem and extension, then a dot and the first three
//   characters of the extension ("Program Files" -> PROGRA~1). A number whose
//   alias another name of the folder already has is passed over, so every
//   alias of a folder is unique. From ~10 on the stem is cut to five
//   characters, from ~100 on to four.
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
PathResult ResolvePath(const Machine& machine, std::string_view currentDirectory,
                       std::string_view path);

// The host path of an absolute Windows path, for tests and tools
// ("C:\WINDOWS\system.ini" -> <folder>/drive_c/WINDOWS/system.ini).
// Empty when the path does not resolve.
std::filesystem::path HostPath(const Machine& machine, std::string_view windowsPath);

// The short aliases of the names of one folder, in the same order as the names.
std::vector<std::string> ShortAliases(const std::vector<std::string>& names);

// "COM1" ... "COM9" (also as "\\.\COM2"): the port name in upper case; otherwise nothing.
std::optional<std::string> PortName(std::string_view path);

}  // namespace winsim

#endif  // WINSIM_FILESYSTEM_H
