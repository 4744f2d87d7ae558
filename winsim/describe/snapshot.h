// What a machine holds at one moment, kept so that it can be compared with a
// later moment or another machine: a copy of the registry, every folder and
// file of its drives (size and SHA-256, the text of .ini files) and its
// machine.ini.
#ifndef WINSIM_TOOL_SNAPSHOT_H
#define WINSIM_TOOL_SNAPSHOT_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "winsim/machine.h"
#include "winsim/registry.h"

namespace winsim_tool {

struct FileEntry {
  bool directory = false;
  uint64_t size = 0;
  std::string sha256;               // empty for a folder
  std::optional<std::string> text;  // the content of an .ini file (up to kMostTextBytes)
};

// Larger .ini files are compared by size and hash only.
constexpr uint64_t kMostTextBytes = 1 << 20;

struct MachineSnapshot {
  MachineSnapshot() = default;
  MachineSnapshot(MachineSnapshot&&) = default;
  MachineSnapshot& operator=(MachineSnapshot&&) = default;
  // A copy would share the registry's keys; take another snapshot instead.
  MachineSnapshot(const MachineSnapshot&) = delete;
  MachineSnapshot& operator=(const MachineSnapshot&) = delete;

  std::filesystem::path folder;
  winsim::Registry registry;
  // By Windows path ("C:\WINDOWS\system.ini", folders without a trailing
  // backslash), compared without regard to case as the drive compares names.
  std::map<std::string, FileEntry, winsim::NameLess> files;
  std::string machineIni;  // the file as it is on disk
};

// Throws std::runtime_error naming the file that cannot be read.
MachineSnapshot TakeSnapshot(const winsim::Machine& machine);

// A copy of a registry, key for key and byte for byte.
void CopyRegistry(const winsim::Registry& from, winsim::Registry& to);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_SNAPSHOT_H
