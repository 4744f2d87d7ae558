// What two machines differ in after the same run, one run on winsim and one
// under Wine: the registry below given keys and the files of a drive. Each
// difference is one line that names the key, value or file and both sides.
#ifndef RQ47_WINE_MACHINE_COMPARE_H
#define RQ47_WINE_MACHINE_COMPARE_H

#include <filesystem>
#include <string>
#include <vector>

#include "winsim/registry.h"

namespace rq47wine {

// Keys and values compare by name without regard to case, and a difference in
// the case of a name counts. Every value compares byte for byte, with its
// type: in Windows 95/98 mode Wine keeps a string as Windows 95/98 and winsim
// keep it, its text and one NUL. The order of values is not compared.
std::vector<std::string> CompareRegistries(const winsim::Registry& winsimSide,
                                           const winsim::Registry& wineSide,
                                           const std::vector<std::string>& keys);

// Files and folders compare by name without regard to case (a difference in
// case counts), files by their bytes.
std::vector<std::string> CompareDrives(const std::filesystem::path& winsimSide,
                                       const std::filesystem::path& wineSide);

}  // namespace rq47wine

#endif  // RQ47_WINE_MACHINE_COMPARE_H
