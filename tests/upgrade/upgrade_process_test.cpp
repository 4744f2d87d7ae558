// The upgrade as a user lives it: the built setup program run twice on a copy
// of the shipped Windows 95 machine with the previous version installed, with
// the reboot in between.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "program_runner.h"
#include "test_machine.h"
#include "winsim/filesystem.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {

const std::string kService = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\RQ31DFV";
const std::string kVendor = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV";
const std::string kTemp = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31";
const std::string kInstance =
    "HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1A3C&DEV_2210&SUBSYS_00000000&REV_01\\"
    "BUS_00&DEV_0B&FUNC_00";

// What a run left on the machine folder, loaded afresh as the next program would.
class MachineAfterRun {
 public:
  explicit MachineAfterRun(const fs::path& folder) : machine_(winsim::Machine::load(folder)) {}

  bool keyExists(const std::string& key) const { return machine_.registry.find(key) != nullptr; }
  std::optional<std::string> text(const std::string& key, const std::string& name) const {
    return machine_.registry.text(key, name);
  }
  std::optional<std::string> bytes(const std::string& key, const std::string& name) const {
    const winsim::RegValue* value = machine_.registry.value(key, name);
    if (value == nullptr) return std::nullopt;
    return value->data;
  }
  std::optional<std::string> file(const std::string& windowsPath) const {
    fs::path host = winsim::HostPath(machine_, windowsPath);
    std::error_code ignored;
    if (host.empty() || !fs::is_regular_file(host, ignored)) return std::nullopt;
    std::ifstream in(host, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  size_t filesIn(const std::string& windowsFolder) const {
    fs::path host = winsim::HostPath(machine_, windowsFolder);
    std::error_code ignored;
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(host, ignored)) {
      if (entry.is_regular_file()) ++count;
    }
    return count;
  }

 private:
  winsim::Machine machine_;
};

class UpgradeProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { CopyShippedMachine("win95-previous", folder()); }
  const fs::path& folder() const { return dir_.path(); }

 private:
  TempDir dir_;
};

TEST_F(UpgradeProcessTest, TwoRunsAroundARebootCarryTheSettingsOver) {
  MachineAfterRun before(folder());
  std::string newDriver = before.file("C:\\WINDOWS\\Zelvaran\\ZelSet95\\zelvcd.vxd").value_or("");
  ASSERT_FALSE(newDriver.empty()) << "the machine has no new package in its program folder";
  std::optional<std::string> oldDriver = before.file("C:\\WINDOWS\\SYSTEM\\zelvcd.vxd");
  ASSERT_TRUE(oldDriver.has_value());
  ASSERT_NE(oldDriver, newDriver);
  ASSERT_NE(before.file("C:\\WINDOWS\\system.ini").value_or("").find("device = zelvcd.vxd"),
            std::string::npos);

  // Run 1: the user accepts the upgrade, notes the archive and is asked to reboot.
  ProgramResult first = RunProgram("rq47set", folder(), "yes,ok,ok");
  ASSERT_EQ(first.exitCode, 0) << first.errorText;
  // Short pieces of the three boxes' texts, which the boxes may wrap.
  EXPECT_NE(first.errorText.find("UPGRADE"), std::string::npos) << first.errorText;
  EXPECT_NE(first.errorText.find("zelbak95"), std::string::npos);
  EXPECT_NE(first.errorText.find("Please reboot"), std::string::npos);

  MachineAfterRun afterUpgrade(folder());
  const std::string backup = "C:\\WINDOWS\\Zelvaran\\zelbak95";
  EXPECT_TRUE(afterUpgrade.file(backup + "\\setup.exe").has_value());
  EXPECT_TRUE(afterUpgrade.file(backup + "\\data1.cab").has_value());
  EXPECT_EQ(afterUpgrade.file(backup + "\\zelvcd.vxd"), newDriver);  // the program folder's
  // The driver the upgrade deleted, as it was.
  EXPECT_EQ(afterUpgrade.file(backup + "\\System\\zelvcd.vxd"), oldDriver);
  EXPECT_TRUE(afterUpgrade.file(backup + "\\ZQRTMODM.INF").has_value());
  EXPECT_TRUE(afterUpgrade.file(backup + "\\SERWAVE.INF").has_value());
  EXPECT_GE(afterUpgrade.filesIn(backup), 30u);
  for (const char* driver : {"RQ47pci.vxd", "RQ47pci1.vxd", "zelvcd.vxd"}) {
    EXPECT_FALSE(afterUpgrade.file(std::string("C:\\WINDOWS\\SYSTEM\\") + driver)) << driver;
  }
  EXPECT_EQ(afterUpgrade.file("C:\\WINDOWS\\system.ini").value_or("").find("zelvcd"),
            std::string::npos);
  EXPECT_FALSE(afterUpgrade.file("C:\\WINDOWS\\INF\\Other\\Zelvaran IncZQRTMODM.inf"));
  EXPECT_FALSE(afterUpgrade.file("C:\\WINDOWS\\INF\\Other\\ZelvaranSERWAVE.inf"));
  EXPECT_FALSE(afterUpgrade.keyExists(kService));
  EXPECT_FALSE(afterUpgrade.keyExists(kVendor));
  EXPECT_EQ(afterUpgrade.text(kTemp, "Language"), "German");
  EXPECT_EQ(afterUpgrade.text(kTemp, "PortName"), "COM4");
  EXPECT_EQ(afterUpgrade.text(kTemp, "DOSboxEnabled"), "TRUE");
  std::optional<std::string> micGain = before.bytes(kService, "MicGain");
  std::optional<std::string> spkrGain = before.bytes(kService, "SpkrGain");
  std::optional<std::string> country = before.bytes(kService, "Country");
  ASSERT_TRUE(micGain && spkrGain && country);
  EXPECT_NE(*micGain, std::string(1, 80));
  EXPECT_EQ(afterUpgrade.bytes(kTemp, "MicGain"), micGain);
  EXPECT_EQ(afterUpgrade.bytes(kTemp, "SpkrGain"), spkrGain);
  EXPECT_EQ(afterUpgrade.bytes(kTemp, "Country"), country);

  // Run 2, after the reboot: a normal installation that takes the settings over.
  ProgramResult second = RunProgram("rq47set", folder(), "ok");
  ASSERT_EQ(second.exitCode, 0) << second.errorText;
  EXPECT_EQ(second.errorText.find("UPGRADE"), std::string::npos) << second.errorText;

  MachineAfterRun installed(folder());
  EXPECT_EQ(installed.text(kVendor, "Version"), "3.02 Build 69");
  EXPECT_EQ(installed.text(kVendor, "Language"), "German");
  EXPECT_EQ(installed.text(kVendor, "PortName"), "COM4");
  EXPECT_EQ(installed.text(kVendor, "DOSboxEnabled"), "TRUE");
  EXPECT_EQ(installed.bytes(kVendor, "MicGain"), micGain);
  EXPECT_EQ(installed.bytes(kVendor, "SpkrGain"), spkrGain);
  EXPECT_EQ(installed.bytes(kVendor, "Country"), country);
  EXPECT_EQ(installed.text(kInstance, "PortName"), "COM4");
  EXPECT_FALSE(installed.keyExists(kTemp));
  std::string systemIni = installed.file("C:\\WINDOWS\\system.ini").value_or("");
  EXPECT_NE(systemIni.find("device=*vcd\r\ndevice = zelvcd.vxd\r\n"), std::string::npos)
      << systemIni;
  EXPECT_EQ(installed.file("C:\\WINDOWS\\SYSTEM\\zelvcd.vxd"), newDriver);
}

}  // namespace
}  // namespace rq47test
