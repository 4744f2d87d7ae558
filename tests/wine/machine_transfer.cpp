#include "machine_transfer.h"

#include <set>
#include <stdexcept>

#include "winsim/filesystem.h"
#include "winsim/regedit4.h"

namespace fs = std::filesystem;

namespace rq47wine {
namespace {

using Names = std::vector<std::string>;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool StartsWith(const Names& path, const Names& prefix) {
  if (path.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (!winsim::NamesEqual(path[i], prefix[i])) return false;
  }
  return true;
}

Names Join(const Names& head, const Names& path, size_t skip) {
  Names joined = head;
  joined.insert(joined.end(), path.begin() + static_cast<std::ptrdiff_t>(skip), path.end());
  return joined;
}

// The entry of the folder whose name matches without regard to case.
std::optional<fs::path> FindEntry(const fs::path& folder, const std::string& name) {
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(folder, error))) return std::nullopt;
  fs::path exact = folder / name;
  if (fs::exists(fs::symlink_status(exact, error))) return exact;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (winsim::NamesEqual(entry.path().filename().string(), name)) return entry.path();
  }
  return std::nullopt;
}

// The existing entry at these names, every name matched; nothing when one is missing.
std::optional<fs::path> FindPath(const fs::path& root, const Names& names) {
  fs::path current = root;
  for (const std::string& name : names) {
    std::optional<fs::path> next = FindEntry(current, name);
    if (!next) return std::nullopt;
    current = *next;
  }
  return current;
}

// The names with the first `count` (the machine's Windows or System
// directory) spelled as the original drive spells them; the others stay as
// the prefix spells them, which is how the run left them.
Names SpelledLike(const fs::path& root, const Names& names, size_t count) {
  Names spelled = names;
  fs::path current = root;
  for (size_t i = 0; i < count && i < names.size(); ++i) {
    std::optional<fs::path> next = FindEntry(current, names[i]);
    if (!next) break;
    spelled[i] = next->filename().string();
    current = *next;
  }
  return spelled;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

fs::path PathOf(const fs::path& root, const Names& names) {
  fs::path path = root;
  for (const std::string& name : names) path /= name;
  return path;
}

void CopyTreeIntoPrefix(const fs::path& machineFolder, const Names& machineNames,
                        const DriveMap& map, const fs::path& prefixDriveC) {
  for (const fs::directory_entry& entry : fs::directory_iterator(machineFolder)) {
    Names names = machineNames;
    names.push_back(entry.path().filename().string());
    fs::path target = ResolveNames(prefixDriveC, map.toPrefix(names));
    fs::file_status status = entry.symlink_status();
    if (fs::is_directory(status)) {
      fs::create_directories(target);
      CopyTreeIntoPrefix(entry.path(), names, map, prefixDriveC);
    } else if (fs::is_regular_file(status)) {
      fs::create_directories(target.parent_path());
      fs::remove(target);
      fs::copy_file(entry.path(), target);
    }
  }
}

struct CollectContext {
  const DriveMap& map;
  const fs::path& originalDriveC;
  const fs::path& outDriveC;
};

// The lower-case names of a folder's entries (a base folder can be large).
std::set<std::string> LowerNamesOf(const std::optional<fs::path>& folder) {
  std::set<std::string> names;
  std::error_code error;
  if (!folder || !fs::is_directory(fs::symlink_status(*folder, error))) return names;
  for (const fs::directory_entry& entry : fs::directory_iterator(*folder)) {
    names.insert(Lower(entry.path().filename().string()));
  }
  return names;
}

void CollectTree(const CollectContext& context, const fs::path& prefixFolder,
                 const Names& prefixNames, const std::optional<fs::path>& baseFolder,
                 const fs::path& outFolder) {
  std::set<std::string> baseNames = LowerNamesOf(baseFolder);
  for (const fs::directory_entry& entry : fs::directory_iterator(prefixFolder)) {
    fs::file_status status = entry.symlink_status();
    if (fs::is_symlink(status)) continue;
    std::string name = entry.path().filename().string();
    Names names = prefixNames;
    names.push_back(name);
    size_t mapped = 0;
    std::optional<Names> machineNames = context.map.toMachine(names, &mapped);
    if (!machineNames) continue;
    bool inBase = baseNames.count(Lower(name)) != 0;
    std::optional<fs::path> original = FindPath(context.originalDriveC, *machineNames);
    // The Windows and System directories, and a folder that both Wine and the
    // machine had before the run (Wine's "help" for the machine's "HELP"),
    // keep the machine's spelling; what the run made keeps its own.
    fs::path out;
    if (machineNames->size() == mapped) {
      out = PathOf(context.outDriveC, SpelledLike(context.originalDriveC, *machineNames, mapped));
    } else {
      out = outFolder / (inBase && original ? original->filename().string() : name);
    }
    if (fs::is_directory(status)) {
      if (!inBase || original) fs::create_directories(out);
      std::optional<fs::path> baseChild;
      if (inBase) baseChild = FindEntry(*baseFolder, name);
      CollectTree(context, entry.path(), names, baseChild, out);
    } else if (fs::is_regular_file(status) && (!inBase || original)) {
      fs::create_directories(out.parent_path());
      fs::copy_file(entry.path(), out, fs::copy_options::overwrite_existing);
    }
  }
}

}  // namespace

const std::vector<std::string>& ComparedKeys() {
  static const std::vector<std::string> keys = {
      "HKEY_LOCAL_MACHINE\\Software\\Zelvaran",
      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\RQ31DFV",
      "HKEY_LOCAL_MACHINE\\Enum",
      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class",
      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\MediaResources",
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV",
  };
  return keys;
}

DriveMap::DriveMap(const winsim::MachineConfig& config)
    : windows_(NamesOf(config.windowsDirectory)), system_(NamesOf(config.systemDirectory)) {}

std::vector<std::string> DriveMap::NamesOf(const std::string& windowsPath) {
  if (windowsPath.size() < 2 || (windowsPath[0] != 'C' && windowsPath[0] != 'c') ||
      windowsPath[1] != ':') {
    throw std::runtime_error("the Wine harness maps only drive C:, and " + windowsPath +
                             " is not on it");
  }
  Names names;
  std::string current;
  for (size_t i = 2; i < windowsPath.size(); ++i) {
    char c = windowsPath[i];
    if (c == '\\' || c == '/') {
      if (!current.empty()) names.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) names.push_back(current);
  return names;
}

std::vector<std::string> DriveMap::toPrefix(const std::vector<std::string>& machinePath) const {
  if (StartsWith(machinePath, system_)) {
    return Join({"windows", "system32"}, machinePath, system_.size());
  }
  if (StartsWith(machinePath, windows_)) return Join({"windows"}, machinePath, windows_.size());
  return machinePath;
}

std::optional<std::vector<std::string>> DriveMap::toMachine(
    const std::vector<std::string>& prefixPath, size_t* mappedNames) const {
  size_t mapped = 0;
  std::optional<Names> machine;
  if (StartsWith(prefixPath, {"windows", "system32"})) {
    machine = Join(system_, prefixPath, 2);
    mapped = system_.size();
  } else if (StartsWith(prefixPath, {"windows"})) {
    // Not a place the System directory's mapping has taken already.
    Names joined = Join(windows_, prefixPath, 1);
    if (!StartsWith(joined, system_)) machine = joined;
    mapped = windows_.size();
  } else if (!StartsWith(prefixPath, windows_) && !StartsWith(prefixPath, system_)) {
    // (A folder outside Wine's Windows directory whose machine place is mapped
    // into it would be shadowed; the machines keep nothing there.)
    machine = prefixPath;
  }
  if (mappedNames != nullptr) *mappedNames = mapped;
  return machine;
}

fs::path ResolveNames(const fs::path& root, const std::vector<std::string>& names) {
  fs::path current = root;
  for (const std::string& name : names) {
    std::optional<fs::path> existing = FindEntry(current, name);
    current = existing ? *existing : current / name;
  }
  return current;
}

void CopyDriveIntoPrefix(const fs::path& machineDriveC, const DriveMap& map,
                         const fs::path& prefixDriveC) {
  CopyTreeIntoPrefix(machineDriveC, {}, map, prefixDriveC);
}

void CollectDriveFromPrefix(const fs::path& prefixDriveC, const fs::path& baseDriveC,
                            const DriveMap& map, const fs::path& originalDriveC,
                            const fs::path& outDriveC) {
  fs::create_directories(outDriveC);
  CollectContext context{map, originalDriveC, outDriveC};
  CollectTree(context, prefixDriveC, {}, baseDriveC, outDriveC);
}

void MakeShortAliases(const fs::path& machineDriveC, const DriveMap& map,
                      const fs::path& prefixDriveC) {
  struct Walk {
    const DriveMap& map;
    const fs::path& prefixDriveC;
    void folder(const fs::path& machineFolder, const Names& machineNames) const {
      std::vector<std::string> names;
      std::vector<fs::path> folders;
      for (const fs::directory_entry& entry : fs::directory_iterator(machineFolder)) {
        fs::file_status status = entry.symlink_status();
        if (!fs::is_directory(status) && !fs::is_regular_file(status)) continue;
        names.push_back(entry.path().filename().string());
        if (fs::is_directory(status)) folders.push_back(entry.path());
      }
      std::vector<std::string> aliases = winsim::ShortAliases(names);
      fs::path prefixFolder = ResolveNames(prefixDriveC, map.toPrefix(machineNames));
      for (size_t i = 0; i < names.size(); ++i) {
        if (Upper(names[i]) == aliases[i] || FindEntry(prefixFolder, aliases[i])) continue;
        fs::path target = ResolveNames(prefixFolder, {names[i]}).filename();
        fs::create_symlink(target, prefixFolder / aliases[i]);
      }
      for (const fs::path& child : folders) {
        Names childNames = machineNames;
        childNames.push_back(child.filename().string());
        folder(child, childNames);
      }
    }
  };
  Walk{map, prefixDriveC}.folder(machineDriveC, {});
}

std::string WindowsVersionFile(const winsim::MachineConfig& config) {
  std::string name;
  if (config.platform == 1 && config.majorVersion == 4) {
    name = config.minorVersion == 0    ? "win95"
           : config.minorVersion == 10 ? "win98"
           : config.minorVersion == 90 ? "winme"
                                       : "";
  } else if (config.platform == 2 && config.majorVersion == 4 && config.minorVersion == 0) {
    name = "nt40";
  } else if (config.platform == 0) {
    name = "win31";
  }
  if (name.empty()) {
    throw std::runtime_error("Wine cannot report the machine's Windows version: platform " +
                             std::to_string(config.platform) + ", version " +
                             std::to_string(config.majorVersion) + "." +
                             std::to_string(config.minorVersion));
  }
  return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n\"Version\"=\"" + name +
         "\"\r\n\r\n";
}

std::string RegistryLoadFile(const winsim::Registry& machineRegistry) {
  static const std::string kHeader = "REGEDIT4\r\n";
  std::string file = kHeader + "\r\n";
  for (const std::string& key : ComparedKeys()) {
    file += "[-" + key + "]\r\n\r\n";
    if (const winsim::RegKey* found = machineRegistry.find(key)) {
      std::string text = winsim::ExportRegedit4(*found);
      if (text.compare(0, kHeader.size(), kHeader) == 0) text.erase(0, kHeader.size());
      file += text;
    }
  }
  return file;
}

void ReplaceKeys(winsim::Registry& registry,
                 const std::map<std::string, std::optional<std::string>>& exportsByKey) {
  for (const auto& [key, text] : exportsByKey) {
    registry.remove(key);
    if (!text) continue;
    if (std::optional<winsim::Regedit4Error> error = winsim::ImportRegedit4(*text, registry)) {
      throw std::runtime_error("the export of " + key + " cannot be read, line " +
                               std::to_string(error->line) + ": " + error->message);
    }
  }
}

PortPlan PlanPorts(const winsim::MachineConfig& config) {
  constexpr int kPortsKeptFromTheHost = 9;
  std::map<std::string, bool, winsim::NameLess> opens;  // port -> whether it opens
  for (int n = 1; n <= kPortsKeptFromTheHost; ++n) opens["COM" + std::to_string(n)] = false;
  for (const auto& [port, state] : config.ports) opens[port] = state == winsim::PortState::Free;

  PortPlan plan;
  plan.settingsFile = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n";
  for (const auto& [port, free] : opens) {
    plan.settingsFile += "\"" + port + "\"=\"" +
                         (free ? "/dev/null" : "/nonexistent/rq47-port-that-does-not-open") +
                         "\"\r\n";
    (free ? plan.freeLinks : plan.blockedLinks).push_back(Lower(port));
  }
  plan.settingsFile += "\r\n";
  return plan;
}

}  // namespace rq47wine
