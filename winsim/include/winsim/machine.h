// A simulated Windows 95/98 machine, kept in a folder:
//
//   machine.ini    what the machine is (platform, version, directories, processor,
//                  memory, serial ports, programs that can be started)
//   registry.reg   the whole registry in REGEDIT4 format
//   short-names.txt  the 8.3 short names of the drives' long names (see
//                  short_names.h); there once a long name has been given one
//   drive_c/       drive C: (drive_d/ for D:, ...)
//
// Loading reads machine.ini, registry.reg and short-names.txt into memory; the
// drives stay on disk and programs change their files directly, as on a real
// machine. Saving writes registry.reg and short-names.txt atomically (a
// temporary file, then a rename), each only when it changed.
#ifndef WINSIM_MACHINE_H
#define WINSIM_MACHINE_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "winsim/registry.h"
#include "winsim/short_names.h"

namespace winsim {

struct NameLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return CompareNames(a, b) < 0;
  }
};

enum class PortState { Free, Busy };

struct ProgramBehaviour {
  enum class Kind { Exit, Runs };
  Kind kind = Kind::Exit;
  uint32_t exitCode = 0;
};

struct MachineConfig {
  uint32_t platform = 1;
  uint32_t majorVersion = 4;
  uint32_t minorVersion = 10;
  uint32_t buildNumber = 2222;
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string systemDirectory = "C:\\WINDOWS\\SYSTEM";
  std::string currentDirectory = "C:\\WINDOWS";
  uint32_t processorType = 586;
  uint64_t totalMemory = 33554432;
  std::map<std::string, PortState, NameLess> ports;            // "COM1" -> free
  std::map<std::string, ProgramBehaviour, NameLess> programs;  // "UNINST.EXE" -> exit 0
};

// A machine folder that cannot be used: names the file, the line (0 when the
// problem is not on one line) and what is wrong. The file is empty when the
// problem is the folder itself. what() reads "file:line: problem".
class MachineError : public std::runtime_error {
 public:
  MachineError(std::string file, size_t line, const std::string& what);
  const std::string& file() const { return file_; }
  size_t line() const { return line_; }
  // What is wrong, without the file and line.
  const std::string& problem() const { return problem_; }

 private:
  std::string file_;
  size_t line_;
  std::string problem_;
};

// The computer's memory in bytes, 0 when the system does not tell. winsim
// holds a registry whole in memory, so a registry file (or a .reg to import)
// larger than this is refused before it is read.
uintmax_t ComputerMemory();

// A size as a person reads it: "812 MB", "20.0 GB".
std::string SizeText(uintmax_t bytes);

class Machine {
 public:
  // Reads machine.ini and registry.reg of the folder. Throws MachineError.
  static Machine load(const std::filesystem::path& folder);
  // Makes a valid machine in an empty or new folder: machine.ini from the
  // config, an empty registry, and the drive C: folders of the Windows, System
  // and current directories.
  static Machine create(const std::filesystem::path& folder, const MachineConfig& config = {});

  const std::filesystem::path& folder() const { return folder_; }
  // The host folder that holds a drive ('C' -> folder/drive_c).
  std::filesystem::path driveFolder(char letter) const;

  // Who makes a save last through a host crash.
  enum class SaveFlush {
    kNow,        // each file and its rename are flushed as they are written
    kByJournal,  // the caller's journal flushes the file system before the save counts
  };

  // Writes registry.reg atomically when the registry was changed (or always,
  // when forced), and short-names.txt when a short name was given or given up.
  void save(bool force = false, SaveFlush flush = SaveFlush::kNow);
  // The machine files the next save() writes, by name.
  bool savesRegistry(bool force = false) const { return force || registry.modified; }
  bool savesShortNames() const { return shortNames.changed(); }
  // Writes machine.ini from the config.
  void saveConfig() const;

  MachineConfig config;
  Registry registry;
  ShortNames shortNames;

 private:
  void saveShortNames(SaveFlush flush);

  std::filesystem::path folder_;
};

}  // namespace winsim

#endif  // WINSIM_MACHINE_H
