// Moving a simulated machine into a Wine prefix and back: its registry below
// the keys the programs touch, and its drive C: with the Windows and System
// directories put where Wine keeps them.
#ifndef RQ47_WINE_MACHINE_TRANSFER_H
#define RQ47_WINE_MACHINE_TRANSFER_H

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/registry.h"

namespace rq47wine {

// The keys below which the programs read, write and delete, and so the keys
// that a run under Wine and a run on winsim must leave alike.
const std::vector<std::string>& ComparedKeys();

// Where the machine's folders lie in a prefix's drive_c. Wine keeps the
// Windows directory in "windows" and the System directory in
// "windows\system32" (what GetWindowsDirectoryA and GetSystemDirectoryA say
// there); every other folder keeps its path. Paths are lists of names below
// drive C:; names compare without regard to case.
class DriveMap {
 public:
  // Throws std::runtime_error when a directory of the machine is not on drive C:.
  explicit DriveMap(const winsim::MachineConfig& config);

  std::vector<std::string> toPrefix(const std::vector<std::string>& machinePath) const;
  // Nothing for a place of the prefix that stands for no place of the machine
  // (Wine's "windows\system", when the machine's System directory is its
  // Windows directory's SYSTEM). *mappedNames, when given, receives how many
  // leading names of the result are the machine's Windows or System directory.
  std::optional<std::vector<std::string>> toMachine(const std::vector<std::string>& prefixPath,
                                                    size_t* mappedNames = nullptr) const;

  // "C:\WINDOWS\Zelvaran" as a list of names below drive C:.
  static std::vector<std::string> NamesOf(const std::string& windowsPath);

 private:
  std::vector<std::string> windows_;
  std::vector<std::string> system_;
};

// The host path of names below root, each name matched to an existing entry
// without regard to case; names that match nothing are taken as they are.
std::filesystem::path ResolveNames(const std::filesystem::path& root,
                                   const std::vector<std::string>& names);

// Copies every file and folder of the machine's drive C: into the prefix's
// drive_c through the map, merging with the folders there. A file that is
// there already is replaced by a new file (never written through, since the
// prefix may share it with its base by a hard link).
void CopyDriveIntoPrefix(const std::filesystem::path& machineDriveC, const DriveMap& map,
                         const std::filesystem::path& prefixDriveC);

// Builds outDriveC, the machine's drive C: as the prefix holds it after a run:
// every file of the prefix that the base prefix does not have, and every
// file that stands where the machine had one (the original drive C:), put
// back in the machine's places through the map. Wine's own files are left
// out; symbolic links are not followed.
void CollectDriveFromPrefix(const std::filesystem::path& prefixDriveC,
                            const std::filesystem::path& baseDriveC, const DriveMap& map,
                            const std::filesystem::path& originalDriveC,
                            const std::filesystem::path& outDriveC);

// Gives each long name of the machine's drive its 8.3 alias in the prefix, as
// a link named like the alias (PROGRA~1 for "Program Files"), by winsim's rule
// over the names of each folder of the machine. Windows 95/98 find a file by
// its alias on a VFAT drive; Wine on a host file system does not make them.
void MakeShortAliases(const std::filesystem::path& machineDriveC, const DriveMap& map,
                      const std::filesystem::path& prefixDriveC);

// The Windows version Wine reports for the machine's platform and version, as
// REGEDIT4 text setting HKEY_CURRENT_USER\Software\Wine "Version" (win95 for
// 4.0, win98 for 4.10, winme for 4.90; Wine's own build numbers). Throws
// std::runtime_error for a version Wine cannot report.
std::string WindowsVersionFile(const winsim::MachineConfig& config);

// A REGEDIT4 file that makes the prefix's registry below the compared keys
// what the machine's is: each key deleted, then written as the machine holds it.
std::string RegistryLoadFile(const winsim::Registry& machineRegistry);

// Replaces each key of the registry with its export (REGEDIT4 text, nothing
// for a key that is missing). Throws std::runtime_error when an export cannot be read.
void ReplaceKeys(winsim::Registry& registry,
                 const std::map<std::string, std::optional<std::string>>& exportsByKey);

// The serial ports of the machine, for Wine. Wine opens COMn through the
// link dosdevices/comN, and its port settings (the values of
// HKEY_LOCAL_MACHINE\Software\Wine\Ports) say where each link goes; every
// port that has a setting is kept from the host's serial devices. A free port
// goes to /dev/null, which always opens. A port the machine has not, or that
// another program holds, must not open: it gets a setting too, and its link is
// replaced by a folder, which Wine cannot make a link of and cannot open as a
// port (CreateFileA fails with ERROR_ACCESS_DENIED).
struct PortPlan {
  std::string settingsFile;               // REGEDIT4 text of the port settings
  std::vector<std::string> freeLinks;     // "com1": the links to /dev/null
  std::vector<std::string> blockedLinks;  // "com2": the links to replace by folders
};
PortPlan PlanPorts(const winsim::MachineConfig& config);

}  // namespace rq47wine

#endif  // RQ47_WINE_MACHINE_TRANSFER_H
