// zuninst run as a person runs it, after rq47set installed the modem on a
// copy of the shipped Windows 98 SE machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "machine_changes.h"
#include "program_runner.h"
#include "test_machine.h"
#include "winsim/machine.h"

namespace rq47test {
namespace {

const std::string kVendorKeyPath = Hklm("Software\\Zelvaran\\RQ31DFV");
const std::string kClassKeyPath = Hklm("System\\CurrentControlSet\\Services\\Class");
const std::string kWaveKeys[5] = {
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Voice_Modem"),
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Fax_Modem"),
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_Voice_Modem"),
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem"),
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Speakerphone_Modem"),
};
const std::string kMediaResourceKeyPath =
    Hklm("System\\CurrentControlSet\\Control\\MediaResources\\Wave\\Serwvdrv.drv<0000>");
const std::string kUninstallEntryKeyPath =
    Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV");
const char* const kPlacedFiles[] = {"SYSTEM\\zuninst.exe", "SYSTEM\\zelvcd.vxd",
                                    "SYSTEM\\rq47pci.vxd", "SYSTEM\\rq47pci1.vxd",
                                    "SYSTEM\\zca.cpl",     "HELP\\zca.hlp"};

// The machine as the next program finds it, loaded from its folder.
winsim::Machine Load(const std::filesystem::path& folder) { return winsim::Machine::load(folder); }

std::string WindowsFile(const winsim::Machine& machine, const char* name) {
  return machine.config.windowsDirectory + "\\" + name;
}

// The software key that a key's first instance names in its "driver" value.
std::string SoftwareKeyOf(const winsim::Registry& registry, const std::string& key) {
  winsim::RegKey* device = registry.find(key);
  if (device == nullptr || device->subkeyCount() == 0) return "";
  std::optional<std::string> driver =
      registry.text(key + "\\" + device->subkey(0)->name(), "driver");
  return driver && !driver->empty() ? kClassKeyPath + "\\" + *driver : "";
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

TEST(UninstallProcess, InstallThenUninstallTwice) {
  // The test's own copy is never saved; every look is a fresh load.
  std::unique_ptr<TestMachine> m = TestMachine::CopyOf("win98se");
  const std::filesystem::path folder = m->folder();

  ProgramResult setup = RunProgram("rq47set", folder, "ok");
  ASSERT_EQ(setup.exitCode, 0) << setup.errorText;
  winsim::Machine installed = Load(folder);

  // What the installation left that the uninstall is to remove.
  std::optional<std::string> pnpId = installed.registry.text(kVendorKeyPath, "PNP ID");
  ASSERT_TRUE(pnpId && !pnpId->empty()) << setup.errorText;
  const std::string device = Hklm("Enum\\PCI\\" + *pnpId);
  ASSERT_NE(installed.registry.find(device), nullptr);
  std::vector<std::string> removed = {device, kMediaResourceKeyPath, kUninstallEntryKeyPath};
  std::vector<std::string> softwareKeys;
  for (const std::string& key :
       {device, kWaveKeys[0], kWaveKeys[1], kWaveKeys[2], kWaveKeys[3], kWaveKeys[4]}) {
    std::string software = SoftwareKeyOf(installed.registry, key);
    if (!software.empty()) softwareKeys.push_back(software);
  }
  // The shipped machine has the device and all five wave devices.
  EXPECT_EQ(softwareKeys.size(), 6u);
  for (const std::string& key : softwareKeys) {
    EXPECT_NE(installed.registry.find(key), nullptr) << key;
    removed.push_back(key);
  }
  for (const std::string& key : kWaveKeys) {
    EXPECT_NE(installed.registry.find(key), nullptr) << key;
    removed.push_back(key);
  }
  for (const char* file : kPlacedFiles) {
    EXPECT_TRUE(m->exists(WindowsFile(installed, file))) << file;
  }
  MachineSnapshot before = Snapshot(folder);

  ProgramResult first = RunProgram("zuninst", folder, "yes,ok");
  EXPECT_EQ(first.exitCode, 1) << first.errorText;
  EXPECT_EQ(Occurrences(first.errorText, "Software uninstall is finished."), 1u) << first.errorText;
  EXPECT_EQ(Occurrences(first.errorText, "Unable to delete"), 0u) << first.errorText;
  winsim::Machine uninstalled = Load(folder);
  for (const std::string& key : removed) {
    EXPECT_EQ(uninstalled.registry.find(key), nullptr) << key;
  }
  for (const char* file : kPlacedFiles) {
    EXPECT_FALSE(m->exists(WindowsFile(uninstalled, file))) << file;
  }
  std::optional<std::string> systemIni = m->readFile(WindowsFile(uninstalled, "system.ini"));
  ASSERT_TRUE(systemIni);
  EXPECT_EQ(systemIni->find("zelvcd"), std::string::npos);
  // Nothing else is touched: other devices, their software keys, the settings.
  std::vector<std::string> changed = removed;
  for (const char* file : kPlacedFiles) changed.push_back(WindowsFile(installed, file));
  EXPECT_TRUE(ChangedOnly(before, folder, changed));
  MachineSnapshot afterFirst = Snapshot(folder);

  ProgramResult second = RunProgram("zuninst", folder, "yes,ok,ok");
  EXPECT_EQ(second.exitCode, 1) << second.errorText;
  EXPECT_EQ(Occurrences(second.errorText, "Unable to delete Control Panel entry"), 1u)
      << second.errorText;
  EXPECT_EQ(Occurrences(second.errorText, "Software uninstall is finished."), 1u)
      << second.errorText;
  EXPECT_EQ(Occurrences(second.errorText, "Could not open either key"), 0u) << second.errorText;
  EXPECT_TRUE(Unchanged(afterFirst, folder));
}

}  // namespace
}  // namespace rq47test
