// zuninst run as a person runs it, after rq47set installed the modem on a
// copy of the shipped Windows 98 SE machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "program_runner.h"
#include "test_machine.h"
#include "winsim/machine.h"
#include "winsim/regedit4.h"

namespace rq47test {
namespace {

const std::string kVendor = Hklm("Software\\Zelvaran\\RQ31DFV");
const std::string kClass = Hklm("System\\CurrentControlSet\\Services\\Class");
const std::string kWaveKeys[5] = {
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Voice_Modem"),
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Fax_Modem"),
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_Voice_Modem"),
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem"),
    Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Speakerphone_Modem"),
};
const std::string kMediaResource =
    Hklm("System\\CurrentControlSet\\Control\\MediaResources\\Wave\\Serwvdrv.drv<0000>");
const std::string kUninstallEntry =
    Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV");
const char* const kPlacedFiles[] = {"SYSTEM\\zuninst.exe", "SYSTEM\\zelvcd.vxd",
                                    "SYSTEM\\rq47pci.vxd", "SYSTEM\\rq47pci1.vxd",
                                    "SYSTEM\\zca.cpl",     "HELP\\zca.hlp"};

std::string WindowsFile(const winsim::Machine& machine, const char* name) {
  return machine.config.windowsDirectory + "\\" + name;
}

// The software key that a key's first instance names in its "driver" value.
std::string SoftwareKeyOf(TestMachine& m, const std::string& key) {
  winsim::RegKey* device = m.registry().find(key);
  if (device == nullptr || device->subkeyCount() == 0) return "";
  std::optional<std::string> driver = m.valueText(key + "\\" + device->subkey(0)->name(), "driver");
  return driver && !driver->empty() ? kClass + "\\" + *driver : "";
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

TEST(UninstallProcess, InstallThenUninstallTwice) {
  std::unique_ptr<TestMachine> m = TestMachine::CopyOf("win98se");
  const std::filesystem::path folder = m->folder();

  ProgramResult setup = RunProgram("rq47set", folder, "ok");
  ASSERT_EQ(setup.exitCode, 0) << setup.errorText;
  m->reload();

  // What the installation left, to be removed.
  std::vector<std::string> removed = {kMediaResource, kUninstallEntry};
  winsim::RegKey* vendor = m->registry().find(kVendor);
  ASSERT_NE(vendor, nullptr);
  std::optional<std::string> pnpId = m->valueText(kVendor, "PNP ID");
  ASSERT_TRUE(pnpId && !pnpId->empty());
  const std::string device = Hklm("Enum\\PCI\\" + *pnpId);
  removed.push_back(device);
  std::vector<std::string> softwareKeys;
  for (const std::string& key :
       {device, kWaveKeys[0], kWaveKeys[1], kWaveKeys[2], kWaveKeys[3], kWaveKeys[4]}) {
    std::string software = SoftwareKeyOf(*m, key);
    if (!software.empty()) removed.push_back(software);
  }
  for (const std::string& key : kWaveKeys) removed.push_back(key);
  ASSERT_TRUE(m->keyExists(device));
  for (const char* file : kPlacedFiles) {
    EXPECT_TRUE(m->exists(WindowsFile(m->machine(), file))) << file;
  }
  const std::string vendorBefore = winsim::ExportRegedit4(*vendor);
  m->endRun();

  ProgramResult first = RunProgram("zuninst", folder, "yes,ok");
  EXPECT_EQ(first.exitCode, 1) << first.errorText;
  EXPECT_EQ(Occurrences(first.errorText, "Software uninstall is finished."), 1u) << first.errorText;
  m->reload();
  for (const std::string& key : removed) EXPECT_FALSE(m->keyExists(key)) << key;
  for (const char* file : kPlacedFiles) {
    EXPECT_FALSE(m->exists(WindowsFile(m->machine(), file))) << file;
  }
  ASSERT_NE(m->registry().find(kVendor), nullptr);
  EXPECT_EQ(winsim::ExportRegedit4(*m->registry().find(kVendor)), vendorBefore);
  EXPECT_TRUE(m->keyExists(kClass));
  std::optional<std::string> systemIni = m->readFile(WindowsFile(m->machine(), "system.ini"));
  ASSERT_TRUE(systemIni);
  EXPECT_EQ(systemIni->find("zelvcd"), std::string::npos);
  const std::string registryAfterFirst = winsim::ExportRegedit4(m->registry());
  m->endRun();

  ProgramResult second = RunProgram("zuninst", folder, "yes,ok,ok");
  EXPECT_EQ(second.exitCode, 1) << second.errorText;
  EXPECT_EQ(Occurrences(second.errorText, "Unable to delete Control Panel entry"), 1u)
      << second.errorText;
  EXPECT_EQ(Occurrences(second.errorText, "Software uninstall is finished."), 1u)
      << second.errorText;
  EXPECT_EQ(Occurrences(second.errorText, "Could not open either key"), 0u) << second.errorText;
  m->reload();
  EXPECT_EQ(winsim::ExportRegedit4(m->registry()), registryAfterFirst);
}

}  // namespace
}  // namespace rq47test
