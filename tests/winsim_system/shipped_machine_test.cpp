// The default machine, machines/win98se: Windows 98 SE with the modem plugged
// in and the package unpacked, and a registry that holds together.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "test_machine.h"
#include "winsim/regedit4.h"

namespace fs = std::filesystem;

namespace {

using rq47test::Hklm;
using rq47test::TestMachine;

const std::string kClass = Hklm("System\\CurrentControlSet\\Services\\Class");
const char* const kWaveKeys[] = {"Zelvaran_RQ47_PCI_Voice_Modem", "Zelvaran_RQ47_PCI_Fax_Modem",
                                 "Zelvaran_RQ47_Voice_Modem", "Zelvaran_RQ47_Modem",
                                 "Zelvaran_RQ47_PCI_Speakerphone_Modem"};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// The software key that an instance's Driver value names; empty when it names none.
std::string SoftwareKey(const winsim::RegKey& instance) {
  const winsim::RegValue* driver = instance.findValue("driver");
  if (driver == nullptr || driver->text().empty()) return "";
  return kClass + "\\" + driver->text();
}

TEST(ShippedMachine, IsWindows98SecondEditionOnAPentiumWith64Megabytes) {
  auto machine = TestMachine::CopyOf("win98se");
  const winsim::MachineConfig& config = machine->config();
  EXPECT_EQ(config.platform, 1u);
  EXPECT_EQ(config.majorVersion, 4u);
  EXPECT_EQ(config.minorVersion, 10u);
  EXPECT_EQ(config.buildNumber, 2222u);
  EXPECT_EQ(config.processorType, 586u);
  EXPECT_EQ(config.totalMemory, 67108864u);
  EXPECT_EQ(config.currentDirectory, "C:\\WINDOWS\\Zelvaran\\ZelSet95");
  ASSERT_EQ(config.ports.size(), 1u);
  EXPECT_EQ(config.ports.at("COM1"), winsim::PortState::Free);
  EXPECT_EQ(
      machine->valueText(Hklm("Software\\Microsoft\\Windows\\CurrentVersion"), "VersionNumber"),
      "4.10.2222");
  EXPECT_TRUE(machine->keyExists(Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall")));
  // Fresh: nothing of the modem software is installed yet.
  EXPECT_FALSE(machine->keyExists(Hklm("Software\\Zelvaran")));
  EXPECT_FALSE(machine->keyExists(Hklm("System\\CurrentControlSet\\Services\\RQ31DFV")));
  EXPECT_FALSE(
      machine->keyExists(Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV")));
  EXPECT_FALSE(machine->exists("C:\\WINDOWS\\SYSTEM\\zelvcd.vxd"));
}

TEST(ShippedMachine, EveryDeviceInstanceNamesAnExistingSoftwareKey) {
  auto machine = TestMachine::CopyOf("win98se");
  const winsim::RegKey* pci = machine->registry().find(Hklm("Enum\\PCI"));
  ASSERT_NE(pci, nullptr);
  EXPECT_GE(pci->subkeyCount(), 5u);
  size_t modems = 0;
  std::set<std::string> softwareKeys;
  for (size_t i = 0; i < pci->subkeyCount(); ++i) {
    const winsim::RegKey& device = *pci->subkey(i);
    SCOPED_TRACE(device.name());
    ASSERT_GE(device.subkeyCount(), 1u);
    const winsim::RegKey& instance = *device.subkey(0);
    for (const char* value : {"DeviceDesc", "HardwareID", "Class"}) {
      EXPECT_NE(instance.findValue(value), nullptr) << value;
    }
    std::string software = SoftwareKey(instance);
    EXPECT_TRUE(machine->keyExists(software)) << software;
    softwareKeys.insert(software);
    if (device.name().compare(0, 17, "VEN_1A3C&DEV_2210") == 0) ++modems;
  }
  EXPECT_EQ(modems, 1u);
  EXPECT_EQ(softwareKeys.size(), pci->subkeyCount());

  for (const char* wave : kWaveKeys) {
    SCOPED_TRACE(wave);
    const winsim::RegKey* key = machine->registry().find(Hklm("Enum\\MODEMWAVE\\") + wave);
    ASSERT_NE(key, nullptr);
    ASSERT_GE(key->subkeyCount(), 1u);
    std::string software = SoftwareKey(*key->subkey(0));
    EXPECT_TRUE(machine->keyExists(software)) << software;
    EXPECT_TRUE(softwareKeys.insert(software).second) << "shared software key " << software;
  }
  const winsim::RegKey* media = machine->registry().find(
      Hklm("System\\CurrentControlSet\\Control\\MediaResources\\Wave\\Serwvdrv.drv<0000>"));
  ASSERT_NE(media, nullptr);
  EXPECT_FALSE(media->values().empty());
}

TEST(ShippedMachine, HoldsSystemIniAndThePackageInItsProgramFolder) {
  auto machine = TestMachine::CopyOf("win98se");
  std::optional<std::string> systemIni = machine->readFile("C:\\WINDOWS\\system.ini");
  ASSERT_TRUE(systemIni);
  size_t enh = systemIni->find("\r\n[386Enh]\r\n");
  size_t vcd = systemIni->find("\r\ndevice=*vcd\r\n");
  ASSERT_NE(enh, std::string::npos);
  ASSERT_NE(vcd, std::string::npos);
  EXPECT_LT(enh, vcd);
  EXPECT_GT(systemIni->find("\r\n[", enh + 1), vcd);  // within [386Enh]
  EXPECT_EQ(systemIni->find("zelvcd"), std::string::npos);
  for (size_t at = systemIni->find('\n'); at != std::string::npos;
       at = systemIni->find('\n', at + 1)) {
    ASSERT_EQ((*systemIni)[at - 1], '\r') << "a line end without CR at byte " << at;
  }

  for (const char* folder :
       {"C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\HELP", "C:\\WINDOWS\\INF\\OTHER"}) {
    EXPECT_TRUE(fs::is_directory(machine->hostPath(folder))) << folder;
  }
  for (const char* file :
       {"rq47set.exe", "zuninst.exe", "zelvcd.vxd", "rq47pci.vxd", "rq47pci1.vxd", "rq47_ctl.vxd",
        "rq47dfv1.vxd", "zca.cpl", "Domestic.hlp", "french.hlp", "german.hlp", "italian.hlp",
        "spanish.hlp", "chinese.hlp", "japanese.hlp", "ui.hlp", "readme.doc", "revhist.doc",
        "rq47.reg"}) {
    EXPECT_TRUE(machine->exists(std::string("C:\\WINDOWS\\Zelvaran\\ZelSet95\\") + file)) << file;
  }
}

TEST(ShippedMachine, ItsRegistryFileRegistersTheUninstallEntry) {
  auto machine = TestMachine::CopyOf("win98se");
  winsim::Run& run = machine->run();
  char command[] = "regedit /si \"C:\\WINDOWS\\Zelvaran\\ZelSet95\\rq47.reg\"";
  STARTUPINFOA startup{};
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                             nullptr, &startup, &info));
  DWORD code = 99;
  EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_EQ(run.openHandleCount(), 0u);
  const std::string entry =
      Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV");
  EXPECT_EQ(machine->valueText(entry, "DisplayName"), "Zelvaran RQ47 Modem");
  EXPECT_EQ(machine->valueText(entry, "UninstallString"), "C:\\WINDOWS\\SYSTEM\\zuninst.exe");
}

TEST(ShippedMachine, ARunThatChangesNothingLeavesItsFilesByteForByte) {
  const fs::path shipped = rq47test::SourceDir() / "machines" / "win98se";
  const std::string registry = ReadFile(shipped / "registry.reg");
  auto machine = TestMachine::CopyOf("win98se");
  // The registry is written in exactly the form the machine writes it.
  EXPECT_EQ(winsim::ExportRegedit4(machine->registry()), registry);
  machine->reload();
  EXPECT_EQ(ReadFile(machine->folder() / "registry.reg"), registry);
}

}  // namespace
