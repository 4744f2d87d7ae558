// The user's settings and the driver line that goes with them, through
// registry reads that fail, an upgrade of settings this program wrote, a
// question that cannot be shown, and runs that stop half way: each case as
// the sweeps found it, on its own.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "invariants.h"
#include "machine_changes.h"
#include "main_sequence.h"
#include "test_machine.h"
#include "user_settings.h"

namespace rq47test {
namespace {

constexpr char kSystemIniPath[] = "C:\\WINDOWS\\system.ini";

class SettingsSurvival : public ::testing::Test {
 protected:
  // Windows 98 with the modem installed and every setting changed by the user,
  // the DOS box enabled and its driver line in system.ini.
  void Install() {
    m_ = TestMachine::CopyOf("win98se");
    ASSERT_EQ(Setup(), 0);
    WriteSettings(*m_->registry().find(kVendorKey), InstalledUserSettings());
    ASSERT_TRUE(MoveDevicePort(m_->registry(), InstalledUserSettings().portName));
    std::string ini = m_->readFile(kSystemIniPath).value();
    size_t vcd = ini.find("device=*vcd\r\n");
    ASSERT_NE(vcd, std::string::npos);
    ini.insert(vcd + 13, "device = zelvcd.vxd\r\n");
    m_->writeFile(kSystemIniPath, ini);
  }

  // Windows 95 with the previous version installed: settings in its service key.
  void PreviousVersion() {
    m_ = TestMachine::CopyOf("win95-previous");
    previous_ = ReadSettings(m_->registry(), kServiceKey).value();
  }

  // The previous version upgraded and the machine rebooted: the settings wait
  // in the temporary settings key.
  void Rebooted() {
    PreviousVersion();
    ASSERT_EQ(Setup(), 0);
    ASSERT_EQ(ReadSettings(m_->registry(), kTempSettingsKey), previous_);
  }

  // A run of setup as the next program on the machine; boxes take their default buttons.
  int Setup(std::optional<winsim::FaultRule> fault = std::nullopt) {
    winsim::Run& run = m_->newRun();
    if (fault) run.addFault(*fault);
    return rq47set::RunSetup();
  }

  std::optional<UserSettings> Vendor() const { return ReadSettings(m_->registry(), kVendorKey); }
  bool Anywhere(const UserSettings& settings) const {
    return !KeyHolding(m_->registry(), settings).empty();
  }
  size_t DriverLines() const { return DriverLineCount(m_->readFile(kSystemIniPath).value_or("")); }

  std::unique_ptr<TestMachine> m_;
  UserSettings previous_;
};

// A registry that cannot be read (unlike a value that is not there) tells the
// program nothing about the settings: none may be overwritten or dropped for it.
TEST_F(SettingsSurvival, ReinstallKeepsTheSettingsWhenLanguageCannotBeRead) {
  Install();
  Setup(winsim::FaultRule{"RegQueryValueExA", "\"Language\"", 1, ERROR_CANTREAD});
  EXPECT_EQ(Vendor(), InstalledUserSettings());
}

TEST_F(SettingsSurvival, ReinstallKeepsThePortNameWhenItCannotBeRead) {
  Install();
  Setup(winsim::FaultRule{"RegQueryValueExA", "\"PortName\"", 1, ERROR_CANTREAD});
  EXPECT_EQ(Vendor(), InstalledUserSettings());
}

TEST_F(SettingsSurvival, UpgradeLosesNoSettingThatCannotBeRead) {
  // The previous installation's key is read after the instance's PortName.
  const std::pair<const char*, unsigned> kSettingReads[] = {{"Language", 1},      {"Country", 1},
                                                            {"MicGain", 1},       {"SpkrGain", 1},
                                                            {"DOSboxEnabled", 1}, {"PortName", 2}};
  for (const auto& [name, nth] : kSettingReads) {
    SCOPED_TRACE(name);
    PreviousVersion();
    Setup(winsim::FaultRule{"RegQueryValueExA", std::string("\"") + name + "\"", nth,
                            ERROR_CANTREAD});
    EXPECT_TRUE(Anywhere(previous_))
        << "the settings are in none of the vendor, service and temporary settings keys";
  }
}

TEST_F(SettingsSurvival, MigrationLosesNoSettingThatCannotBeRead) {
  // After the reboot the vendor key's Language is looked for first.
  const std::pair<const char*, unsigned> kSavedReads[] = {{"Language", 2},      {"Country", 1},
                                                          {"MicGain", 1},       {"SpkrGain", 1},
                                                          {"DOSboxEnabled", 1}, {"PortName", 1}};
  for (const auto& [name, nth] : kSavedReads) {
    SCOPED_TRACE(name);
    Rebooted();
    Setup(winsim::FaultRule{"RegQueryValueExA", std::string("\"") + name + "\"", nth,
                            ERROR_CANTREAD});
    EXPECT_TRUE(Anywhere(previous_))
        << "the settings are in none of the vendor, service and temporary settings keys";
  }
}

// Every installation of this program writes PortName with 20 bytes; an
// upgrade from such an installation must carry the port over like every
// other setting.
TEST_F(SettingsSurvival, UpgradeCarriesOverThePortNameThisProgramWrote) {
  Install();
  m_->setString(kVendorKey, "Version", "3.01 Build 52");
  ASSERT_EQ(Setup(), 0);  // the upgrade, answered Yes
  ASSERT_FALSE(m_->keyExists(kVendorKey));
  ASSERT_EQ(Setup(), 0);  // after the reboot
  EXPECT_EQ(Vendor(), InstalledUserSettings());
}

// The upgrade deletes the previous version's drivers, keys and driver line:
// a question that could not be shown is no Yes.
TEST_F(SettingsSurvival, UpgradeQuestionThatCannotBeShownChangesNothing) {
  PreviousVersion();
  MachineSnapshot before = Snapshot(*m_);
  EXPECT_EQ(Setup(winsim::FaultRule{"MessageBoxA", "", 1, 0}), 0);
  EXPECT_TRUE(ChangedOnly(before, *m_, {kServiceKey}));
  EXPECT_EQ(ReadSettings(m_->registry(), kServiceKey), previous_);
}

// A run that stopped half way through writing the settings (a failed write,
// or the power gone) leaves a vendor key with Language but not the rest; the
// next run must not take that for settings in place and leave the rest out.
TEST_F(SettingsSurvival, NextRunCompletesDefaultsLeftIncomplete) {
  m_ = TestMachine::CopyOf("win98se");
  Setup(winsim::FaultRule{"RegSetValueExA", "\"MicGain\"", 1, 0});
  ASSERT_EQ(m_->valueBytes(kVendorKey, "MicGain"), std::nullopt);
  ASSERT_EQ(Setup(), 0);
  std::optional<UserSettings> settings = Vendor();
  ASSERT_TRUE(settings.has_value()) << "the vendor key still lacks a setting";
  EXPECT_EQ(*settings, DefaultSettings(settings->portName));
}

TEST_F(SettingsSurvival, NextRunFinishesAMigrationLeftIncomplete) {
  Rebooted();
  Setup(winsim::FaultRule{"RegSetValueExA", "\"Country\"", 1, 0});
  ASSERT_TRUE(m_->keyExists(kTempSettingsKey))
      << "the saved settings went before they were taken over";
  ASSERT_EQ(Setup(), 0);
  EXPECT_EQ(Vendor(), previous_);
  EXPECT_FALSE(m_->keyExists(kTempSettingsKey));
  EXPECT_EQ(DriverLines(), 1u);
}

// DOSboxEnabled "TRUE" taken over means the driver line belongs in
// system.ini; when adding it fails, the next run must still add it, once.
TEST_F(SettingsSurvival, NextRunAddsTheDriverLineAMigrationCouldNotAdd) {
  Rebooted();
  ASSERT_EQ(DriverLines(), 0u);
  Setup(winsim::FaultRule{"CreateFileA", "system.new", 1, 0});
  ASSERT_EQ(Setup(), 0);
  EXPECT_EQ(m_->valueText(kVendorKey, "DOSboxEnabled"), "TRUE");
  EXPECT_EQ(DriverLines(), 1u);
}

// The user said Yes to the upgrade and the machine went down part way: while
// the previous version was being archived, or once the driver line was gone
// (the earlier version keeping its settings in the service key, or in the
// vendor key). Setup run again must finish the upgrade: the earlier settings
// end in the vendor key, the driver line they ask for is in system.ini once,
// and the archive holds the earlier version's files.
TEST_F(SettingsSurvival, NextRunsFinishAnUpgradeCutShort) {
  struct Cut {
    const char* machine;
    std::string settingsKey;
    const char* lastCall;  // the run stops right after the first call that begins so
  };
  const Cut kCuts[] = {
      {"win95-previous", kServiceKey, "CopyFileA("},
      {"win95-previous", kServiceKey, "DeleteFileA(\"C:\\\\WINDOWS\\\\system.new"},
      {"win98-vendor-previous", kVendorKey, "CopyFileA("},
      {"win98-vendor-previous", kVendorKey, "DeleteFileA(\"C:\\\\WINDOWS\\\\system.new"}};
  for (const Cut& cut : kCuts) {
    SCOPED_TRACE(std::string(cut.machine) + ", stopped after " + cut.lastCall);
    uint64_t stopAfter = 0;
    {
      auto clean = TestMachine::CopyOf(cut.machine);
      clean->run();
      ASSERT_EQ(rq47set::RunSetup(), 0);
      const std::vector<std::string>& trace = clean->run().trace();
      while (stopAfter < trace.size() && trace[stopAfter].rfind(cut.lastCall, 0) != 0) ++stopAfter;
      ASSERT_LT(stopAfter, trace.size());
    }
    m_ = TestMachine::CopyOf(cut.machine);
    std::optional<UserSettings> previous = ReadSettings(m_->registry(), cut.settingsKey);
    std::optional<std::string> modemInf =
        m_->readFile("C:\\WINDOWS\\INF\\Other\\Zelvaran IncZQRTMODM.inf");
    ASSERT_TRUE(previous && modemInf);
    m_->newRun().stopAfterCalls(stopAfter + 1);
    EXPECT_THROW(rq47set::RunSetup(), winsim::RunStopped);

    bool installed = false;
    for (int run = 0; run < 3 && !installed; ++run) {
      ASSERT_EQ(Setup(), 0);
      const std::vector<winsim::MessageBoxRecord>& boxes = m_->run().messageBoxes();
      installed = !boxes.empty() && boxes.back().text.rfind("You have successfully", 0) == 0;
    }
    ASSERT_TRUE(installed);
    EXPECT_EQ(Vendor(), previous);
    EXPECT_FALSE(m_->keyExists(kTempSettingsKey));
    EXPECT_EQ(DriverLines(), 1u);
    EXPECT_EQ(m_->readFile("C:\\WINDOWS\\Zelvaran\\zelbak95\\ZQRTMODM.INF"), modemInf);
  }
}

}  // namespace
}  // namespace rq47test
