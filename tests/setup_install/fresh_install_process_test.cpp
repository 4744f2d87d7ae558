// The built rq47set installing on a fresh copy of the shipped Windows 98 SE
// machine, run as a user runs it, and run a second time over its own result.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "machine_changes.h"
#include "program_runner.h"
#include "test_machine.h"
#include "trace_lines.h"
#include "winsim/filesystem.h"
#include "winsim/machine.h"
#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace {

namespace fs = std::filesystem;
using rq47test::Hklm;
using rq47test::ReadHostFile;

const std::string kVendorKey = Hklm("Software\\Zelvaran\\RQ31DFV");
const std::string kUninstallEntry =
    Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV");
const std::string kProgramFolder = "C:\\WINDOWS\\Zelvaran\\ZelSet95";
const char* const kSystemFiles[] = {"zelvcd.vxd", "rq47pci.vxd", "rq47pci1.vxd", "zca.cpl",
                                    "zuninst.exe"};
constexpr char kSuccessText[] = "You have successfully installed the RQ47 Modem.";

std::string Text(const winsim::RegValue* value) { return value ? value->text() : "<missing>"; }

// Every value of every key below `key`, by full key path and value name (in
// upper case, as the registry compares names without regard to case).
void CollectValues(const winsim::RegKey& key, std::map<std::string, std::string>& values) {
  for (const winsim::RegValue& value : key.values()) {
    std::string where = key.path() + " : " + value.name;
    for (char& c : where) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    values[where] = value.data;
  }
  for (size_t i = 0; i < key.subkeyCount(); ++i) CollectValues(*key.subkey(i), values);
}

class FreshInstallation : public ::testing::Test {
 protected:
  void SetUp() override {
    machineFolder_ = dir_.path() / "win98se";
    rq47test::CopyShippedMachine("win98se", machineFolder_);
  }

  rq47test::ProgramResult RunSetup(const fs::path& trace = {}) {
    return rq47test::RunProgram("rq47set", machineFolder_, "", trace);
  }

  // The machine as the program left it.
  winsim::Machine Load() { return winsim::Machine::load(machineFolder_); }

  std::optional<std::string> File(const winsim::Machine& machine, const std::string& path) {
    fs::path host = winsim::HostPath(machine, path);
    if (host.empty()) return std::nullopt;
    return ReadHostFile(host);
  }

  // The modem's device key, from the PNP ID the setup recorded.
  static std::string DeviceKey(const winsim::Machine& machine) {
    return Hklm("Enum\\PCI\\" + Text(machine.registry.value(kVendorKey, "PNP ID")));
  }

  rq47test::TempDir dir_;
  fs::path machineFolder_;
};

TEST_F(FreshInstallation, InstallsSettingsPortFilesAndRegistryFile) {
  {
    winsim::Machine before = Load();
    ASSERT_EQ(before.registry.find(kVendorKey), nullptr) << "the shipped machine is not fresh";
    ASSERT_EQ(before.registry.find(kUninstallEntry), nullptr);
  }
  fs::path trace = dir_.path() / "trace.txt";

  rq47test::ProgramResult result = RunSetup(trace);

  ASSERT_EQ(result.exitCode, 0) << result.errorText;
  EXPECT_NE(result.errorText.find(kSuccessText), std::string::npos) << result.errorText;
  EXPECT_EQ(result.errorText.find("Failed"), std::string::npos) << result.errorText;

  winsim::Machine after = Load();
  const winsim::Registry& registry = after.registry;

  // The settings of a fresh installation: Windows 98 keeps each text and one
  // NUL, whatever count it was written with (the trace below shows the counts).
  auto bytes = [&](const char* name) -> std::string {
    const winsim::RegValue* value = registry.value(kVendorKey, name);
    return value ? value->data : "<missing>";
  };
  EXPECT_EQ(bytes("Version"), std::string("3.02 Build 69\0", 14));
  EXPECT_EQ(bytes("Operating System"), std::string("Windows98\0", 10));
  EXPECT_EQ(bytes("Language"), std::string("Domestic English\0", 17));
  EXPECT_EQ(bytes("Country"), std::string(1, '\x01'));
  EXPECT_EQ(bytes("MicGain"), std::string(1, '\x50'));
  EXPECT_EQ(bytes("SpkrGain"), std::string(1, '\x50'));
  EXPECT_EQ(bytes("DOSboxEnabled"), std::string("FALSE\0", 6));
  const std::string pnpId = Text(registry.value(kVendorKey, "PNP ID"));
  EXPECT_EQ(bytes("PNP ID"), pnpId + '\0');
  const std::string portName = Text(registry.value(kVendorKey, "PortName"));
  EXPECT_EQ(bytes("PortName"), portName + '\0');
  EXPECT_EQ(portName.rfind("COM", 0), 0u) << portName;

  // The detected device is the one whose instance keys received the port name.
  const winsim::RegKey* device = registry.find(DeviceKey(after));
  ASSERT_NE(device, nullptr) << "PNP ID names no device: " << DeviceKey(after);
  ASSERT_GT(device->subkeyCount(), 0u);
  for (size_t i = 0; i < device->subkeyCount(); ++i) {
    const winsim::RegValue* port = device->subkey(i)->findValue("PortName");
    ASSERT_NE(port, nullptr) << device->subkey(i)->path();
    EXPECT_EQ(port->data, portName + '\0');
  }

  // The six files, copied from the program folder, which keeps its own.
  for (const char* name : kSystemFiles) {
    std::optional<std::string> source = File(after, kProgramFolder + "\\" + name);
    ASSERT_TRUE(source) << name << " is not in the shipped program folder";
    EXPECT_EQ(File(after, std::string("C:\\WINDOWS\\SYSTEM\\") + name), source) << name;
  }
  std::optional<std::string> help = File(after, kProgramFolder + "\\Domestic.hlp");
  ASSERT_TRUE(help);
  EXPECT_EQ(File(after, "C:\\WINDOWS\\HELP\\zca.hlp"), help);

  // Everything rq47.reg holds is in the registry now, the uninstall entry among it.
  std::optional<std::string> registryFile = File(after, kProgramFolder + "\\rq47.reg");
  ASSERT_TRUE(registryFile);
  winsim::Registry imported;
  std::optional<winsim::Regedit4Error> error = winsim::ImportRegedit4(*registryFile, imported);
  ASSERT_FALSE(error) << "rq47.reg line " << error->line << ": " << error->message;
  std::map<std::string, std::string> wanted;
  for (winsim::Root root : winsim::Registry::kRoots) CollectValues(imported.root(root), wanted);
  ASSERT_FALSE(wanted.empty());
  std::map<std::string, std::string> present;
  for (winsim::Root root : winsim::Registry::kRoots) CollectValues(registry.root(root), present);
  for (const auto& [where, data] : wanted) {
    auto found = present.find(where);
    ASSERT_NE(found, present.end()) << where << " was not imported";
    EXPECT_EQ(found->second, data) << where;
  }
  EXPECT_NE(registry.find(kUninstallEntry), nullptr);

  // Files first, then the port, then the import, all in one pass.
  std::optional<std::string> traceText = ReadHostFile(trace);
  ASSERT_TRUE(traceText) << "no trace written";
  std::vector<std::string> lines;
  std::istringstream stream(*traceText);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  EXPECT_EQ(rq47test::CallsOf(lines, "CopyFileA").size(), 6u);
  // The program's fixed counts, of which Windows 98 kept the text and one NUL.
  for (const auto& [name, count, kept] :
       {std::tuple{"Version", 20, 14}, std::tuple{"Operating System", 20, 10},
        std::tuple{"Language", 22, 17}}) {
    std::vector<std::string> writes =
        rq47test::CallsOf(lines, "RegSetValueExA", std::string("\"") + name + "\"");
    ASSERT_EQ(writes.size(), 1u) << name;
    EXPECT_NE(writes[0].find(", " + std::to_string(count) + ") = ERROR_SUCCESS [kept " +
                             std::to_string(kept) + " bytes]"),
              std::string::npos)
        << writes[0];
  }
  std::vector<std::string> started = rq47test::CallsOf(lines, "CreateProcessA");
  ASSERT_EQ(started.size(), 1u);
  std::vector<std::string> command = rq47test::TextArguments(started.front());
  ASSERT_FALSE(command.empty());
  EXPECT_EQ(command.front(), "regedit /si \"C:\\WINDOWS\\Zelvaran\\ZelSet95\\rq47.reg\"");
}

TEST_F(FreshInstallation, SecondRunKeepsEverySetting) {
  rq47test::ProgramResult first = RunSetup();
  ASSERT_EQ(first.exitCode, 0) << first.errorText;

  // The user changes the microphone gain and moves the modem to COM4.
  std::string deviceKey;
  {
    winsim::Machine machine = Load();
    deviceKey = DeviceKey(machine);
    winsim::RegKey* vendor = machine.registry.find(kVendorKey);
    ASSERT_NE(vendor, nullptr);
    vendor->setValue("MicGain", REG_BINARY, std::string(1, '\x30'));
    vendor->setValue("PortName", REG_SZ, std::string("COM4\0", 5));
    machine.save(true);
  }
  rq47test::MachineSnapshot before = rq47test::Snapshot(machineFolder_);

  rq47test::ProgramResult second = RunSetup();

  ASSERT_EQ(second.exitCode, 0) << second.errorText;
  EXPECT_NE(second.errorText.find(kSuccessText), std::string::npos) << second.errorText;
  winsim::Machine machine = Load();
  // The first instance follows the vendor key's port rather than the probe;
  // nothing else changes, the settings least of all.
  const winsim::RegKey* device = machine.registry.find(deviceKey);
  ASSERT_NE(device, nullptr);
  ASSERT_GT(device->subkeyCount(), 0u);
  EXPECT_EQ(Text(device->subkey(0)->findValue("PortName")), "COM4");
  EXPECT_TRUE(
      rq47test::ChangedOnly(before, machineFolder_, {device->subkey(0)->path() + "\\PortName"}));
}

// machine.ini may give any platform id; one that no Windows 95/98 reports
// reaches the requirement check, which refuses it before anything is placed.
TEST_F(FreshInstallation, AnUnknownPlatformIsRefusedBeforeAnythingIsPlaced) {
  for (const char* platform : {"3", "4294967295"}) {
    SCOPED_TRACE(platform);
    std::string ini = *ReadHostFile(machineFolder_ / "machine.ini");
    size_t at = ini.find("Platform=");
    ASSERT_NE(at, std::string::npos);
    ini.replace(at, ini.find('\n', at) - at, std::string("Platform=") + platform);
    std::ofstream(machineFolder_ / "machine.ini", std::ios::binary) << ini;

    rq47test::ProgramResult result = RunSetup();

    EXPECT_EQ(result.exitCode, 100) << result.errorText;
    EXPECT_NE(result.errorText.find("No Valid Operating System found"), std::string::npos)
        << result.errorText;
    winsim::Machine after = Load();
    EXPECT_EQ(after.config.platform, std::stoul(platform));
    for (const char* name : kSystemFiles) {
      EXPECT_FALSE(File(after, std::string("C:\\WINDOWS\\SYSTEM\\") + name)) << name;
    }
    EXPECT_EQ(after.registry.find(kUninstallEntry), nullptr);
  }
}

}  // namespace
