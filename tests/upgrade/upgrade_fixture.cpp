#include "upgrade_fixture.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "install_paths.h"
#include "setup_state.h"
#include "text_buffer.h"
#include "upgrade.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {

winsim::MachineConfig Windows95Config() {
  winsim::MachineConfig config;
  config.majorVersion = 4;
  config.minorVersion = 0;
  config.buildNumber = 950;
  config.currentDirectory = kProgramFolder;
  config.ports["COM1"] = winsim::PortState::Free;
  config.ports["COM2"] = winsim::PortState::Busy;
  config.programs["UNINST.EXE"] = winsim::ProgramBehaviour{};
  return config;
}

}  // namespace

std::string Padded(std::string_view text, size_t count) {
  std::string bytes(text);
  bytes.resize(count, '\0');
  return bytes;
}

std::string TraceQuoted(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::map<std::string, std::string> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    files[fs::relative(it->path(), folder).generic_string()] = content.str();
  }
  return files;
}

UpgradeTest::UpgradeTest() : machine_(Windows95Config()) { AddModemPackage(machine_); }

void UpgradeTest::WriteOldSettings(const std::string& key, const OldSettings& settings) {
  machine_.setBytes(key, "Version", REG_SZ, Padded(settings.version, 20));
  machine_.setBytes(key, "Operating System", REG_SZ, Padded("Windows95", 20));
  machine_.setBytes(key, "Language", REG_SZ, Padded(settings.language, 22));
  machine_.setBytes(key, "Country", REG_BINARY,
                    std::string(1, static_cast<char>(settings.country)));
  machine_.setBytes(key, "PNP ID", REG_SZ, Padded(settings.pnpId, 42));
  machine_.setBytes(key, "MicGain", REG_BINARY,
                    std::string(1, static_cast<char>(settings.micGain)));
  machine_.setBytes(key, "SpkrGain", REG_BINARY,
                    std::string(1, static_cast<char>(settings.spkrGain)));
  machine_.setBytes(key, "DOSboxEnabled", REG_SZ, Padded(settings.dosBoxEnabled, 10));
  machine_.setBytes(key, "PortName", REG_SZ, Padded(settings.portName, 10));
}

void UpgradeTest::AddModem(const std::optional<std::string>& instancePortName) {
  machine_.setString(Hklm("Enum\\PCI\\VEN_8086&DEV_7030&SUBSYS_00000000&REV_02\\BUS_00&DEV_00&"
                          "FUNC_00"),
                     "DeviceDesc", "Intel 82437VX Pentium(r) Processor to PCI bridge");
  machine_.setString(kModemInstancePath, "DeviceDesc", "Zelvaran RQ47 PCI Modem");
  machine_.setString(kModemInstancePath, "Driver", "Modem\\0000");
  if (instancePortName) {
    machine_.setBytes(kModemInstancePath, "PortName", REG_SZ, Padded(*instancePortName, 10));
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
  machine_.writeFile(std::string(kInfFolder) + "\\Zelvaran IncZQRTMODM.inf", "modem inf");
  machine_.writeFile(std::string(kInfFolder) + "\\ZelvaranSERWAVE.inf", "wave inf");
  machine_.writeFile(std::string(kInfFolder) + "\\OTHER.INF", "another maker's inf");
  machine_.writeFile(std::string(kKitFolder) + "\\setup.exe", "old kit setup.exe");
  machine_.writeFile(std::string(kKitFolder) + "\\zca.cpl", "old kit zca.cpl");
  machine_.writeFile(std::string(kProgramFolder) + "\\rq47set.exe", "program folder rq47set.exe");
  machine_.writeFile(std::string(kProgramFolder) + "\\zca.cpl", "program folder zca.cpl");
}

void UpgradeTest::StartSetupRun() {
  machine_.run();
  rq47set::ResetSetupState();
  CopyText(rq47set::g_setup.versionText, rq47set::kVersionText);
  CopyText(rq47set::g_setup.deviceInstanceId, rq47set::kNoDeviceInstanceId);
  rq47set::InitInstallPaths();
}

int UpgradeTest::Upgrade(std::vector<int> answers) {
  StartSetupRun();
  run().setAnswers(std::move(answers));
  return rq47set::UpgradePreviousInstallation();
}

std::vector<std::string> UpgradeTest::BoxTexts() {
  std::vector<std::string> texts;
  for (const winsim::MessageBoxRecord& box : run().messageBoxes()) texts.push_back(box.text);
  return texts;
}

std::vector<std::string> UpgradeTest::CallsOf(std::string_view function) {
  std::string prefix = std::string(function) + "(";
  std::vector<std::string> calls;
  for (const std::string& line : run().trace()) {
    if (line.compare(0, prefix.size(), prefix) == 0) calls.push_back(line);
  }
  return calls;
}

size_t UpgradeTest::FirstCall(std::string_view function, std::string_view containing) {
  std::string prefix = std::string(function) + "(";
  const std::vector<std::string>& trace = run().trace();
  for (size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].compare(0, prefix.size(), prefix) == 0 &&
        trace[i].find(containing) != std::string::npos) {
      return i;
    }
  }
  return trace.size();
}

}  // namespace rq47test
