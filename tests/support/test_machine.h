// A simulated machine in a temporary folder, for tests: built in code or
// copied from a shipped machine, with a run current on it.
#ifndef RQ47_TEST_MACHINE_H
#define RQ47_TEST_MACHINE_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winsim/machine.h"
#include "winsim/run.h"

namespace rq47test {

// The repository's top folder (for machines/ and tools/).
std::filesystem::path SourceDir();
// The build folder (for the built programs).
std::filesystem::path BinaryDir();

// A copy of a machine folder, or of machines/<name> as shipped, into `target`
// (made). winsim's private folder is left out, as `winsim new` leaves it out:
// a `winsim new` copying the same shipped machine at that moment holds it, and
// its lock comes and goes while the copy is made.
void CopyMachineFiles(const std::filesystem::path& source, const std::filesystem::path& target);
void CopyShippedMachine(const std::string& name, const std::filesystem::path& target);

// A fresh empty folder below the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class TestMachine {
 public:
  // A new machine made from the config (Machine::create).
  explicit TestMachine(const winsim::MachineConfig& config = {});
  // A copy of machines/<name>, loaded.
  static std::unique_ptr<TestMachine> CopyOf(const std::string& shippedMachine);

  winsim::Machine& machine() { return *machine_; }
  winsim::Registry& registry() { return machine_->registry; }
  winsim::MachineConfig& config() { return machine_->config; }
  const std::filesystem::path& folder() const { return dir_.path(); }

  // The current run; made on first use. newRun() ends it (as a program ends)
  // and starts another, as the next program on the same machine.
  winsim::Run& run();
  winsim::Run& newRun();
  void endRun();

  // Saves the registry and loads the folder again, as the next program would.
  void reload();

  // Files by Windows path ("C:\WINDOWS\system.ini"); folders are made as needed.
  void writeFile(std::string_view windowsPath, std::string_view content);
  void makeDirectory(std::string_view windowsPath);
  std::optional<std::string> readFile(std::string_view windowsPath) const;
  bool exists(std::string_view windowsPath) const;
  void removeFile(std::string_view windowsPath);
  // The host path for a Windows path, matching existing names without regard to case.
  std::filesystem::path hostPath(std::string_view windowsPath) const;

  // Registry values by full path ("HKEY_LOCAL_MACHINE\Software\...").
  void setString(std::string_view key, std::string_view name, std::string_view text);
  void setBytes(std::string_view key, std::string_view name, uint32_t type, std::string bytes);
  void setDword(std::string_view key, std::string_view name, uint32_t value);
  void createKey(std::string_view key);
  bool keyExists(std::string_view key) const;
  // The exact bytes of a value; nothing when it is missing.
  std::optional<std::string> valueBytes(std::string_view key, std::string_view name) const;
  // The text of a value up to its first NUL; nothing when it is missing.
  std::optional<std::string> valueText(std::string_view key, std::string_view name) const;

 private:
  struct CopyTag {};
  TestMachine(CopyTag, const std::string& shippedMachine);
  TempDir dir_;
  std::unique_ptr<winsim::Machine> machine_;
  std::unique_ptr<winsim::Run> run_;
};

// The bytes of a file of the host; nothing when it is not a file that can be read.
std::optional<std::string> ReadHostFile(const std::filesystem::path& path);
// The same, empty when there is no such file.
inline std::string ReadWhole(const std::filesystem::path& path) {
  return ReadHostFile(path).value_or("");
}

// Every file, folder and link below a folder, by relative path, with its
// bytes: what a test compares to show that nothing changed.
std::map<std::string, std::string> FolderContents(const std::filesystem::path& folder);

// The paths added, removed or changed from one FolderContents to another, for
// a failure that says what differs without printing every file.
std::vector<std::string> ChangedEntries(const std::map<std::string, std::string>& before,
                                        const std::map<std::string, std::string>& after);
// The files setup takes from its program folder (Zelvaran\ZelSet95 below the
// machine's Windows directory): the six it places and rq47.reg (an empty
// import). Setup installs or upgrades nothing without all of them.
inline constexpr const char* kPackageFiles[] = {"zelvcd.vxd", "rq47pci.vxd", "rq47pci1.vxd",
                                                "zca.cpl",    "zuninst.exe", "Domestic.hlp",
                                                "rq47.reg"};
void AddModemPackage(TestMachine& machine);

// "Software\Zelvaran" below HKEY_LOCAL_MACHINE, as a full path.
std::string Hklm(std::string_view subkey);

}  // namespace rq47test

#endif  // RQ47_TEST_MACHINE_H
