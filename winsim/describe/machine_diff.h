// What changed between two snapshots of machines: registry keys and values,
// folders and files, and the lines of the .ini files (system.ini above all).
#ifndef WINSIM_TOOL_MACHINE_DIFF_H
#define WINSIM_TOOL_MACHINE_DIFF_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "line_diff.h"
#include "snapshot.h"
#include "winsim/registry.h"

namespace winsim_tool {

enum class Change { Added, Removed, Changed };

// "added", "removed", "changed".
const char* ChangeName(Change change);
// "+", "-", "~": the mark a change is listed with.
const char* ChangeMark(Change change);

struct ValueChange {
  Change change = Change::Changed;
  std::string name;  // as the newer side writes it ("" for the default value)
  std::optional<winsim::RegValue> before;
  std::optional<winsim::RegValue> after;
};

// A key that was added or removed lists all its values as added or removed;
// a key that is on both sides is listed only when a value of it changed.
struct KeyChange {
  Change change = Change::Changed;
  std::string path;  // "HKEY_LOCAL_MACHINE\Software\..."
  std::vector<ValueChange> values;
};

struct FileChange {
  Change change = Change::Changed;
  std::string path;  // "C:\WINDOWS\system.ini"
  bool directory = false;
  uint64_t beforeSize = 0;
  uint64_t afterSize = 0;
};

struct TextChange {
  std::string path;         // the Windows path, or "machine.ini"
  std::vector<Hunk> hunks;  // empty when only the line ends differ
};

struct RegistryCounts {
  size_t keysAdded = 0, keysRemoved = 0, keysChanged = 0;
  size_t valuesAdded = 0, valuesRemoved = 0, valuesChanged = 0;
};

struct MachineChanges {
  std::vector<KeyChange> keys;    // in the registry's order, a key before its subkeys
  std::vector<FileChange> files;  // by path
  std::vector<TextChange> texts;  // machine.ini first, then by path
  bool empty() const { return keys.empty() && files.empty() && texts.empty(); }
  RegistryCounts registryCounts() const;
};

// Names compare without regard to case, as Windows finds them. With
// nameCase, a key, value, file or folder whose name is spelled otherwise
// after is listed as changed too (a key with no value changed, a value with
// the same data), as when two machines must agree to the letter.
struct DiffRules {
  bool nameCase = false;
};

std::vector<KeyChange> CompareRegistries(const winsim::Registry& before,
                                         const winsim::Registry& after, DiffRules rules = {});
MachineChanges CompareSnapshots(const MachineSnapshot& before, const MachineSnapshot& after,
                                DiffRules rules = {});

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_MACHINE_DIFF_H
