// Whole runs on registries holding what the programs never wrote: values
// longer than every read capacity, values of unexpected types, and a PCI bus
// with ten thousand devices. Each test states how the run ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "bad_input_machine.h"
#include "invariants.h"
#include "user_settings.h"

namespace rq47test {
namespace {

const std::string kModemId = "VEN_1A3C&DEV_2210&SUBSYS_00000000&REV_01";
const std::string kClassRoot = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class";
const std::string kModemSoftware = kClassRoot + "\\Modem\\0000";
const std::string kWaveKey = "HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem";
const std::string kWaveSoftware = kClassRoot + "\\MEDIA\\0008";

std::string Text(std::string text, size_t bytes) {
  text.resize(bytes, '\0');
  return text;
}
// As Windows 95/98 keep a text, whatever count it was written with.
std::string Kept(const std::string& text) { return text + '\0'; }
std::string Long(char fill, size_t characters) {
  return Text(std::string(characters, fill), characters + 1);
}

// A Language too long to read is still the user's: the settings count as
// there and stay as they are, byte for byte.
TEST(OverlongValues, LanguageTooLongToReadIsKept) {
  auto m = InstalledWindows98();
  const std::string language = Long('L', 299);
  m->setBytes(kVendorKey, "Language", REG_SZ, language);
  EXPECT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
  EXPECT_EQ(m->valueBytes(kVendorKey, "Language"), language);
  EXPECT_EQ(m->valueBytes(kVendorKey, "PNP ID"), Kept(kModemId));
}

// A vendor PortName of more than 19 characters cannot be the port's name:
// the probed name replaces it, written with the usual 20 bytes (of which
// Windows 98 keeps the text and one NUL).
TEST(OverlongValues, PortNameTooLongIsReplacedByTheProbedName) {
  auto m = InstalledWindows98();
  m->setBytes(kVendorKey, "PortName", REG_SZ, Long('P', 40));
  m->setBytes(kModemInstance, "PortName", REG_SZ, Long('Q', 30));
  EXPECT_EQ(RunSetupOn(*m), 0);
  EXPECT_EQ(m->valueBytes(kVendorKey, "PortName"), Kept("COM2"));
  EXPECT_EQ(m->valueBytes(kModemInstance, "PortName"), Kept("COM2"));
}

// A Version that cannot be read is another version: the upgrade question
// comes; No leaves the settings and marks the key with this version, so the
// next run installs without asking.
TEST(OverlongValues, VersionTooLongToReadAsksAboutAnUpgrade) {
  auto m = InstalledWindows98();
  m->setBytes(kVendorKey, "Version", REG_SZ, Long('V', 99));
  std::optional<UserSettings> before = ReadSettings(m->registry(), kVendorKey);
  EXPECT_EQ(RunSetupOn(*m, {IDNO}), 0);
  ASSERT_EQ(BoxTexts(*m).size(), 1u);
  EXPECT_EQ(m->valueBytes(kVendorKey, "Version"), Kept("3.02 Build 69"));
  EXPECT_EQ(ReadSettings(m->registry(), kVendorKey), before);
  EXPECT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
}

// Settings of an earlier installation too long for their fields are left out
// of the upgrade rather than cut; after the reboot they take their defaults.
TEST(OverlongValues, OldSettingsTooLongAreLeftOutOfTheUpgrade) {
  auto m = TestMachine::CopyOf("win95-previous");
  m->setBytes(kServiceKey, "Language", REG_SZ, Long('L', 299));
  m->setBytes(kServiceKey, "DOSboxEnabled", REG_SZ, Long('T', 49));
  m->setBytes(kServiceKey, "PNP ID", REG_SZ, Long('I', 99));
  ASSERT_EQ(RunSetupOn(*m), 0);
  EXPECT_EQ(m->valueBytes(kTempSettingsKey, "Language"), std::nullopt);
  EXPECT_EQ(m->valueBytes(kTempSettingsKey, "DOSboxEnabled"), std::nullopt);
  EXPECT_EQ(m->valueBytes(kTempSettingsKey, "PNP ID"), std::nullopt);
  EXPECT_EQ(m->valueBytes(kTempSettingsKey, "Country"), std::string(1, '1'));
  ASSERT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
  EXPECT_EQ(m->valueText(kVendorKey, "Language"), "Domestic English");
  EXPECT_EQ(m->valueText(kVendorKey, "DOSboxEnabled"), "FALSE");
  EXPECT_EQ(m->valueBytes(kVendorKey, "Country"), std::string(1, '1'));
  EXPECT_EQ(m->valueText(kVendorKey, "PortName"), "COM4");
  EXPECT_EQ(DriverLineCount(m->readFile("C:\\WINDOWS\\system.ini").value()), 0u);
}

// A PNP ID of more than 42 bytes names no device the uninstaller may delete
// (here the modem's own, padded as NT or an offline edit can leave it):
// the device key and its software key stay; everything else goes.
TEST(OverlongValues, PnpIdTooLongLeavesTheDeviceToTheUninstaller) {
  auto m = InstalledWindows98();
  m->setBytes(kVendorKey, "PNP ID", REG_SZ, Text(kModemId, 100));
  EXPECT_EQ(RunUninstallOn(*m), 1);
  EXPECT_TRUE(m->keyExists(kModemKey));
  EXPECT_TRUE(m->keyExists(kModemSoftware));
  EXPECT_FALSE(m->keyExists(kWaveKey));
  for (const std::string& file : PlacedFiles("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM")) {
    EXPECT_FALSE(m->exists(file)) << file;
  }
}

// A "driver" value longer than its read capacity names no software key: that
// key stays, and the device and MODEMWAVE keys are deleted all the same.
TEST(OverlongValues, DriverValuesTooLongDeleteNoSoftwareKey) {
  auto m = InstalledWindows98();
  m->setString(kModemInstance, "Driver", "Modem\\0000" + std::string(40, 'x'));
  m->setString(kWaveKey + "\\0000", "Driver", "MEDIA\\0008" + std::string(50, 'x'));
  EXPECT_EQ(RunUninstallOn(*m), 1);
  EXPECT_TRUE(m->keyExists(kModemSoftware));
  EXPECT_TRUE(m->keyExists(kWaveSoftware));
  EXPECT_FALSE(m->keyExists(kModemKey));
  EXPECT_FALSE(m->keyExists(kWaveKey));
}

// A supported modem's PCI key name of up to 41 characters is stored whole as
// PNP ID; a longer one (also one over the 79 characters the enumeration
// takes) is not taken: the hardware-not-found message, and nothing written.
TEST(OverlongValues, PciKeyNamesTooLongAreNotTakenForTheModem) {
  for (size_t extra : {1u, 2u, 40u, 200u}) {
    const std::string name = kModemId + std::string(extra, 'X');
    SCOPED_TRACE(name.size());
    auto m = Windows98();
    winsim::RegKey* pci = m->registry().find(kPciKey);
    ASSERT_TRUE(pci->deleteSubkey(kModemId));
    m->createKey(kPciKey + "\\" + name + "\\BUS_00&DEV_0B&FUNC_00");
    EXPECT_EQ(RunSetupOn(*m), 0);
    if (name.size() <= 41) {
      EXPECT_TRUE(ShowedSuccess(*m));
      EXPECT_EQ(m->valueBytes(kVendorKey, "PNP ID"), Text(name, 42));
      continue;
    }
    ASSERT_EQ(BoxTexts(*m).size(), 1u);
    EXPECT_EQ(BoxTexts(*m)[0].rfind("The Modem Hardware is either not physically installed", 0),
              0u);
    EXPECT_FALSE(m->keyExists(kVendorKey));
  }
}

// An instance key whose name does not fit the 40-byte buffer: no port can be
// assigned, so no PortName is written anywhere; the installation completes.
TEST(OverlongValues, InstanceNameTooLongGetsNoPortName) {
  auto m = Windows98();
  winsim::RegKey* modem = m->registry().find(kModemKey);
  ASSERT_TRUE(modem->deleteSubkey("BUS_00&DEV_0B&FUNC_00"));
  const std::string instance = kModemKey + "\\BUS_00&DEV_0B&FUNC_00" + std::string(40, '_');
  m->setString(instance, "DeviceDesc", "Zelvaran RQ47 PCI Modem");
  EXPECT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
  EXPECT_EQ(m->valueBytes(kVendorKey, "PortName"), std::nullopt);
  EXPECT_EQ(m->valueBytes(instance, "PortName"), std::nullopt);
}

// Reads do not look at a value's type: a value whose bytes fit its field is
// taken as it is, one that does not fit takes its default.
TEST(UnexpectedTypes, MigrationTakesWhatFitsAndDefaultsTheRest) {
  auto m = TestMachine::CopyOf("win95-previous");
  ASSERT_EQ(RunSetupOn(*m), 0);  // the upgrade, before the reboot
  m->setBytes(kTempSettingsKey, "Language", REG_DWORD, "Germ");
  m->setBytes(kTempSettingsKey, "Country", REG_SZ, Text("49", 3));
  m->setDword(kTempSettingsKey, "MicGain", 64);
  m->setBytes(kTempSettingsKey, "SpkrGain", REG_BINARY, "\x60\x60");
  m->setBytes(kTempSettingsKey, "DOSboxEnabled", REG_BINARY, "TRUE");
  m->setBytes(kTempSettingsKey, "PortName", REG_MULTI_SZ, Text("COM4", 6));
  ASSERT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
  EXPECT_EQ(ReadSettings(m->registry(), kVendorKey),
            (UserSettings{"Germ", 1, 80, 80, "TRUE", "COM4"}));
  EXPECT_FALSE(m->keyExists(kTempSettingsKey));
  EXPECT_EQ(DriverLineCount(m->readFile("C:\\WINDOWS\\system.ini").value()), 1u);
}

// A PNP ID stored as binary names the device as well; a "driver" value that
// reads as empty text (a zero DWORD) names no software key, and the class
// root with every device's software keys stays.
TEST(UnexpectedTypes, UninstallReadsTextWhateverTheType) {
  auto m = InstalledWindows98();
  m->setBytes(kVendorKey, "PNP ID", REG_BINARY, Text(kModemId, 42));
  m->setDword(kModemInstance, "Driver", 0);
  size_t classKeys = m->registry().find(kClassRoot)->subkeyCount();
  EXPECT_EQ(RunUninstallOn(*m), 1);
  EXPECT_FALSE(m->keyExists(kModemKey));
  ASSERT_TRUE(m->keyExists(kClassRoot));
  EXPECT_TRUE(m->keyExists(kModemSoftware));
  EXPECT_EQ(m->registry().find(kClassRoot)->subkeyCount(), classKeys);
}

// Ten thousand other PCI devices, the modem's key enumerated last: found,
// installed and removed again, the other devices untouched.
TEST(ManyDevices, TenThousandPciDevices) {
  auto m = Windows98();
  winsim::RegKey* pci = m->registry().find(kPciKey);
  const size_t before = pci->subkeyCount();
  char name[64];
  for (int i = 0; i < 10000; ++i) {
    std::snprintf(name, sizeof name, "VEN_8086&DEV_%04X&SUBSYS_00000000&REV_01", i);
    pci->createSubkey(std::string(name) + "\\BUS_00&DEV_00&FUNC_00");
  }
  ASSERT_EQ(pci->subkeyCount(), before + 10000);
  EXPECT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
  EXPECT_EQ(m->valueBytes(kVendorKey, "PNP ID"), Kept(kModemId));
  EXPECT_EQ(m->valueText(kModemInstance, "PortName"), "COM2");
  EXPECT_EQ(RunUninstallOn(*m), 1);
  EXPECT_FALSE(m->keyExists(kModemKey));
  EXPECT_EQ(m->registry().find(kPciKey)->subkeyCount(), before + 10000 - 1);
}

}  // namespace
}  // namespace rq47test
