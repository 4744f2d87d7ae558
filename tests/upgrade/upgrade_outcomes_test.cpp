// Which installation the upgrade finds, what it asks, and what declining leaves.
#include <windows.h>

#include "machine_changes.h"
#include "main_sequence.h"
#include "upgrade.h"
#include "upgrade_fixture.h"

namespace rq47test {
namespace {

using rq47set::UpgradeResult;

class UpgradeOutcomeTest : public UpgradeTest {
 protected:
  // The modem, with French in the service key and Spanish in the vendor key.
  void WriteBothKeys() {
    AddModem();
    OldSettings serviceSettings;
    serviceSettings.language = "French";
    WriteOldSettings(kServiceKeyPath, serviceSettings);
    OldSettings vendorSettings;
    vendorSettings.language = "Spanish";
    WriteOldSettings(kVendorKeyPath, vendorSettings);
  }
};

TEST_F(UpgradeOutcomeTest, NoEarlierInstallationReturnsTheOpenStatusAndTouchesNothing) {
  AddModem();
  AddInstalledFiles();
  MachineSnapshot before = Snapshot(machine());

  EXPECT_EQ(Upgrade({}), UpgradeResult::kNoEarlierInstallation);

  EXPECT_TRUE(run().messageBoxes().empty());
  EXPECT_TRUE(Unchanged(before, machine()));
}

TEST_F(UpgradeOutcomeTest, TheCurrentVersionInstalledReturnsZeroWithoutAsking) {
  AddModem();
  AddInstalledFiles();
  OldSettings current;
  current.version = "3.02 Build 69";
  WriteOldSettings(kServiceKeyPath, current);
  MachineSnapshot before = Snapshot(machine());

  EXPECT_EQ(Upgrade({}), UpgradeResult::kThisVersionInstalled);

  EXPECT_TRUE(run().messageBoxes().empty());
  EXPECT_TRUE(Unchanged(before, machine()));
}

// The temporary settings key beside a service key of this version is what an
// accepted upgrade cut short leaves: the upgrade is offered again instead of
// installing over the earlier installation's settings. A vendor key of this
// version beside it is an installation whose take-over of the settings is
// still to be finished, which the installation does.
TEST_F(UpgradeOutcomeTest, AnAcceptedUpgradeCutShortIsOfferedAgain) {
  AddModem();
  AddInstalledFiles();
  OldSettings marked;
  marked.version = "3.02 Build 69";
  WriteOldSettings(kServiceKeyPath, marked);
  machine().createKey(kTempKeyPath);
  MachineSnapshot before = Snapshot(machine());

  EXPECT_EQ(Upgrade({IDNO}), UpgradeResult::kDeclined);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestionText});
  EXPECT_TRUE(Unchanged(before, machine()));

  machine().registry().remove(kServiceKeyPath);
  WriteOldSettings(kVendorKeyPath, marked);
  machine().newRun();
  EXPECT_EQ(Upgrade({}), UpgradeResult::kThisVersionInstalled);
  EXPECT_TRUE(run().messageBoxes().empty());
  EXPECT_EQ(run().openHandleCount(), 0u);
}

// Neither answer may leave a machine the package cannot install on: the
// package is checked before the question, and nothing is changed.
TEST_F(UpgradeOutcomeTest, AnIncompletePackageStopsTheUpgradeBeforeTheQuestion) {
  AddModem();
  AddInstalledFiles();
  WriteOldSettings(kServiceKeyPath);
  machine().removeFile(std::string(kProgramFolderPath) + "\\rq47.reg");
  MachineSnapshot before = Snapshot(machine());

  EXPECT_EQ(Upgrade({}), UpgradeResult::kPackageIncomplete);

  ASSERT_EQ(run().messageBoxes().size(), 1u);
  EXPECT_EQ(run().messageBoxes()[0].caption, kModemCaption);
  EXPECT_NE(
      BoxTexts()[0].find("rq47.reg is missing from the folder\r" + std::string(kProgramFolderPath)),
      std::string::npos);
  EXPECT_TRUE(Unchanged(before, machine()));
}

// Versions that are not exactly this one, and a Version that cannot be read,
// count as another version: the user is asked.
class OtherVersionTest : public UpgradeOutcomeTest,
                         public ::testing::WithParamInterface<std::optional<std::string>> {};

TEST_P(OtherVersionTest, AsksWhetherToUpgrade) {
  WriteOldSettings(kVendorKeyPath);
  if (GetParam()) {
    machine().setBytes(kVendorKeyPath, "Version", REG_SZ, *GetParam());
  } else {
    machine().registry().find(kVendorKeyPath)->deleteValue("Version");
  }

  EXPECT_EQ(Upgrade({IDNO}), UpgradeResult::kDeclined);

  ASSERT_EQ(run().messageBoxes().size(), 1u);
  const winsim::MessageBoxRecord& question = run().messageBoxes()[0];
  EXPECT_EQ(question.text, kQuestionText);
  EXPECT_EQ(question.caption, kUpgradeCaption);
  EXPECT_EQ(question.style, static_cast<uint32_t>(MB_YESNO));
}

INSTANTIATE_TEST_SUITE_P(VersionValues, OtherVersionTest,
                         ::testing::Values(Kept("3.01 Build 52"), Kept("3.02 build 69"),
                                           Kept("3.02 Build 69 "), Kept("3.02 Build 6"),
                                           // 21 bytes: more than the version text's room, so not
                                           // read (padded, as NT or an offline edit leaves a value)
                                           Padded("3.02 Build 69", 21), std::nullopt));

TEST_F(UpgradeOutcomeTest, AVersionWrittenWithoutPaddingStillMatches) {
  WriteOldSettings(kVendorKeyPath);
  machine().setString(kVendorKeyPath, "Version", "3.02 Build 69");
  EXPECT_EQ(Upgrade({}), UpgradeResult::kThisVersionInstalled);
  EXPECT_TRUE(run().messageBoxes().empty());
}

TEST_F(UpgradeOutcomeTest, TheServiceKeyIsPreferredAndBothKeysAreDeleted) {
  WriteBothKeys();

  EXPECT_EQ(Upgrade({IDYES, IDOK, IDOK}), UpgradeResult::kPrepared);

  EXPECT_EQ(machine().valueText(kTempKeyPath, "Language"), "French");
  EXPECT_FALSE(machine().keyExists(kServiceKeyPath));
  EXPECT_FALSE(machine().keyExists(kVendorKeyPath));
}

// Cut short between the deletions of the two old keys, the upgrade leaves the
// key whose settings it saved, and the next run saves the same settings again.
TEST_F(UpgradeOutcomeTest, TheKeyTheSettingsCameFromIsDeletedLast) {
  WriteBothKeys();
  run().addFault({"RegDeleteKeyA", "", 2, 0});
  EXPECT_EQ(Upgrade({IDYES, IDOK, IDOK}), UpgradeResult::kPrepared);

  machine().newRun();
  EXPECT_EQ(Upgrade({IDYES, IDOK, IDOK}), UpgradeResult::kPrepared);

  EXPECT_EQ(machine().valueText(kTempKeyPath, "Language"), "French");
  EXPECT_FALSE(machine().keyExists(kServiceKeyPath));
  EXPECT_FALSE(machine().keyExists(kVendorKeyPath));
}

TEST_F(UpgradeOutcomeTest, TheVendorKeyAloneServesAsTheEarlierInstallation) {
  AddModem();
  OldSettings vendorSettings;
  vendorSettings.language = "Spanish";
  WriteOldSettings(kVendorKeyPath, vendorSettings);

  EXPECT_EQ(Upgrade({IDYES, IDOK, IDOK}), UpgradeResult::kPrepared);

  EXPECT_EQ(machine().valueText(kTempKeyPath, "Language"), "Spanish");
  EXPECT_FALSE(machine().keyExists(kVendorKeyPath));
  EXPECT_FALSE(machine().keyExists(kServiceKeyPath));
}

// A service key that holds none of the settings (one that another program,
// or an uninstall cut short, left with other values) is no installation: the
// vendor key's settings are the user's, whichever version they belong to.
// Each case: the vendor key's version, and what the upgrade comes to.
class ServiceKeyWithoutSettingsTest
    : public UpgradeTest,
      public ::testing::WithParamInterface<std::pair<const char*, UpgradeResult>> {};

TEST_P(ServiceKeyWithoutSettingsTest, LeavesTheVendorKeyInCharge) {
  machine().setDword(kServiceKeyPath, "Type", 1);
  AddModem();
  OldSettings vendorSettings;
  vendorSettings.version = GetParam().first;
  vendorSettings.language = "Spanish";
  WriteOldSettings(kVendorKeyPath, vendorSettings);

  EXPECT_EQ(Upgrade({IDYES, IDOK, IDOK}), GetParam().second);

  if (GetParam().second == UpgradeResult::kPrepared) {
    EXPECT_EQ(machine().valueText(kTempKeyPath, "Language"), "Spanish");
    EXPECT_EQ(machine().valueBytes(kTempKeyPath, "Country"), std::string(1, 49));
    EXPECT_FALSE(machine().keyExists(kServiceKeyPath));
  } else {
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(machine().valueText(kVendorKeyPath, "Language"), "Spanish");
  }
}

INSTANTIATE_TEST_SUITE_P(
    VendorVersions, ServiceKeyWithoutSettingsTest,
    ::testing::Values(std::make_pair("3.02 Build 60", UpgradeResult::kPrepared),
                      std::make_pair("3.02 Build 69", UpgradeResult::kThisVersionInstalled)));

// A setting the service key does not hold is taken from the vendor key,
// which the upgrade deletes as well.
TEST_F(UpgradeOutcomeTest, ASettingTheServiceKeyLacksIsSavedFromTheVendorKey) {
  WriteBothKeys();
  for (const char* name : {"Language", "Country", "DOSboxEnabled"}) {
    machine().registry().find(kServiceKeyPath)->deleteValue(name);
  }
  machine().setBytes(kVendorKeyPath, "Country", REG_BINARY, std::string(1, 34));

  EXPECT_EQ(Upgrade({IDYES, IDOK, IDOK}), UpgradeResult::kPrepared);

  EXPECT_EQ(machine().valueText(kTempKeyPath, "Language"), "Spanish");
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "Country"), std::string(1, 34));
  EXPECT_EQ(machine().valueText(kTempKeyPath, "DOSboxEnabled"), "TRUE");
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "MicGain"), std::string(1, 0x40));
  EXPECT_FALSE(machine().keyExists(kVendorKeyPath));
  EXPECT_FALSE(machine().keyExists(kServiceKeyPath));
}

TEST_F(UpgradeOutcomeTest, DecliningWithTheModemPresentMarksTheKeyAsThisVersion) {
  AddModem("COM3");
  AddInstalledFiles();
  WriteOldSettings(kServiceKeyPath);
  MachineSnapshot before = Snapshot(machine());

  EXPECT_EQ(Upgrade({IDNO}), UpgradeResult::kDeclined);

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestionText});
  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "Version"), Kept("3.02 Build 69"));
  // the port the device uses now, with the byte count the upgrade moves it with
  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "PortName"), Kept("COM3"));
  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "Language"), Kept("German"));
  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "DOSboxEnabled"), Kept("TRUE"));
  EXPECT_TRUE(ChangedOnly(before, machine(), {kServiceKeyPath}));
  EXPECT_TRUE(CallsOf("CreateProcessA").empty());
}

TEST_F(UpgradeOutcomeTest, AfterDecliningTheNextSetupRunInstallsWithoutAsking) {
  AddModem("COM3");
  AddInstalledFiles();
  WriteOldSettings(kServiceKeyPath);
  EXPECT_EQ(Upgrade({IDNO}), UpgradeResult::kDeclined);

  machine().newRun();
  EXPECT_EQ(rq47set::RunSetup(), 0);

  for (const winsim::MessageBoxRecord& box : run().messageBoxes()) {
    EXPECT_NE(box.text, kQuestionText);
  }
  EXPECT_EQ(machine().valueText(kVendorKeyPath, "Version"), "3.02 Build 69");
  EXPECT_TRUE(machine().valueBytes(kVendorKeyPath, "PNP ID").has_value());
}

TEST_F(UpgradeOutcomeTest, DecliningWithoutTheModemChangesNothingAndAsksAgainNextTime) {
  AddInstalledFiles();
  WriteOldSettings(kServiceKeyPath);
  MachineSnapshot before = Snapshot(machine());

  EXPECT_EQ(Upgrade({IDNO}), UpgradeResult::kDeclined);

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestionText});
  EXPECT_TRUE(Unchanged(before, machine()));

  machine().newRun();
  EXPECT_EQ(Upgrade({IDNO}), UpgradeResult::kDeclined);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestionText});
}

// The old key's PortName is the user's setting: only a port name actually read
// from the device's first instance replaces it.
enum class DeviceWithoutPort { InstanceWithoutPortName, PortNameTooLongToRead, NoInstance };

class OldPortNameTest : public UpgradeOutcomeTest,
                        public ::testing::WithParamInterface<DeviceWithoutPort> {};

TEST_P(OldPortNameTest, IsKeptWhenTheDeviceGivesNone) {
  switch (GetParam()) {
    case DeviceWithoutPort::InstanceWithoutPortName: AddModem(std::nullopt); break;
    case DeviceWithoutPort::PortNameTooLongToRead:
      AddModem(std::nullopt);
      machine().setBytes(kModemInstancePath, "PortName", REG_SZ, Kept("COM3-modem"));
      break;
    case DeviceWithoutPort::NoInstance: machine().createKey(kModemKeyPath); break;
  }
  WriteOldSettings(kServiceKeyPath);

  EXPECT_EQ(Upgrade({IDNO}), UpgradeResult::kDeclined);

  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "PortName"), Kept("COM4"));
  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "Version"), Kept("3.02 Build 69"));
  EXPECT_EQ(run().openHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Devices, OldPortNameTest,
                         ::testing::Values(DeviceWithoutPort::InstanceWithoutPortName,
                                           DeviceWithoutPort::PortNameTooLongToRead,
                                           DeviceWithoutPort::NoInstance));

}  // namespace
}  // namespace rq47test
