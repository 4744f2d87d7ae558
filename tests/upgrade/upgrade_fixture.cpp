#include "upgrade_fixture.h"

#include <windows.h>

#include "install_paths.h"

namespace rq47test {
namespace {

winsim::MachineConfig Windows95Config() {
  winsim::MachineConfig config;
  config.majorVersion = 4;
  config.minorVersion = 0;
  config.buildNumber = 950;
  config.currentDirectory = kProgramFolderPath;
  config.ports["COM1"] = winsim::PortState::Free;
  config.ports["COM2"] = winsim::PortState::Busy;
  config.programs["UNINST.EXE"] = winsim::ProgramBehaviour{};
  return config;
}

}  // namespace

UpgradeTest::UpgradeTest() : machine_(Windows95Config()) {
  AddModemPackage(machine_);
  machine_.makeDirectory("C:\\WINDOWS\\HELP");
}

// As an earlier version left them on Windows 95/98: each text and one NUL,
// whatever count it was written with.
void UpgradeTest::WriteOldSettings(const std::string& key, const OldSettings& settings) {
  machine_.setBytes(key, "Version", REG_SZ, Kept(settings.version));
  machine_.setBytes(key, "Operating System", REG_SZ, Kept("Windows95"));
  machine_.setBytes(key, "Language", REG_SZ, Kept(settings.language));
  machine_.setBytes(key, "Country", REG_BINARY,
                    std::string(1, static_cast<char>(settings.country)));
  machine_.setBytes(key, "PNP ID", REG_SZ, Kept(settings.pnpId));
  machine_.setBytes(key, "MicGain", REG_BINARY,
                    std::string(1, static_cast<char>(settings.micGain)));
  machine_.setBytes(key, "SpkrGain", REG_BINARY,
                    std::string(1, static_cast<char>(settings.spkrGain)));
  machine_.setBytes(key, "DOSboxEnabled", REG_SZ, Kept(settings.dosBoxEnabled));
  machine_.setBytes(key, "PortName", REG_SZ, Kept(settings.portName));
}

void UpgradeTest::AddModem(const std::optional<std::string>& instancePortName) {
  machine_.setString(Hklm("Enum\\PCI\\VEN_8086&DEV_7030&SUBSYS_00000000&REV_02\\BUS_00&DEV_00&"
                          "FUNC_00"),
                     "DeviceDesc", "Intel 82437VX Pentium(r) Processor to PCI bridge");
  machine_.setString(kModemInstancePath, "DeviceDesc", "Zelvaran RQ47 PCI Modem");
  machine_.setString(kModemInstancePath, "Driver", "Modem\\0000");
  if (instancePortName) {
    machine_.setBytes(kModemInstancePath, "PortName", REG_SZ, Kept(*instancePortName));
  }
}

void UpgradeTest::AddInstalledFiles() {
  for (const char* driver :
       {"RQ47pci.vxd", "RQ47pci1.vxd", "zelvcd.vxd", "zca.cpl", "zuninst.exe"}) {
    machine_.writeFile(std::string("C:\\WINDOWS\\SYSTEM\\") + driver,
                       std::string("installed ") + driver);
  }
  machine_.writeFile("C:\\WINDOWS\\SYSTEM\\vmm32.vxd", "part of Windows");
  machine_.writeFile("C:\\WINDOWS\\system.ini",
                     "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vcd\r\n"
                     "device = zelvcd.vxd\r\ndevice=*vpd\r\n");
  machine_.writeFile(std::string(kInfFolderPath) + "\\Zelvaran IncZQRTMODM.inf", "modem inf");
  machine_.writeFile(std::string(kInfFolderPath) + "\\ZelvaranSERWAVE.inf", "wave inf");
  machine_.writeFile(std::string(kInfFolderPath) + "\\OTHER.INF", "another maker's inf");
  machine_.writeFile(std::string(kKitFolderPath) + "\\setup.exe", "old kit setup.exe");
  machine_.writeFile(std::string(kKitFolderPath) + "\\zca.cpl", "old kit zca.cpl");
  machine_.writeFile(std::string(kProgramFolderPath) + "\\rq47set.exe",
                     "program folder rq47set.exe");
  machine_.writeFile(std::string(kProgramFolderPath) + "\\zca.cpl", "program folder zca.cpl");
}

void UpgradeTest::StartSetupRun() {
  machine_.run();
  rq47set::StartSetupContext(context_);
  rq47set::InitInstallPaths(context_);
}

rq47set::UpgradeResult UpgradeTest::Upgrade(std::vector<int> answers) {
  StartSetupRun();
  run().setAnswers(std::move(answers));
  return rq47set::UpgradePreviousInstallation(context_);
}

std::vector<std::string> UpgradeTest::BoxTexts() {
  std::vector<std::string> texts;
  for (const winsim::MessageBoxRecord& box : run().messageBoxes()) texts.push_back(box.text);
  return texts;
}

}  // namespace rq47test
