#include "settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "modem_names.h"
#include "setup_machine.h"
#include "text_buffer.h"
#include "trace_lines.h"

namespace {

using rq47test::ByteValue;
using rq47test::KeptText;
using rq47test::StoredValue;
using rq47test::StoredValues;
using setuptest::Kept;
using setuptest::kSystemIniPath;
using setuptest::kSystemIniText;
using setuptest::kTempKeyPath;
using setuptest::kVendorKeyPath;
using setuptest::Padded;

constexpr const char* kDevice = setuptest::kModemId;
constexpr char kSystemIniWithDriverLine[] =
    "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\ndevice=*vcd\r\ndevice = zelvcd.vxd\r\n"
    "device=*vpd\r\n";

struct Value {
  uint32_t type;
  std::string bytes;
  bool operator==(const Value& other) const { return type == other.type && bytes == other.bytes; }
};
using Values = std::map<std::string, Value>;

// A text as Windows 95/98 keep it (its text and one NUL), and one padded to a
// count, as only NT or an offline edit leaves it.
Value Text(const std::string& text) { return {REG_SZ, Kept(text)}; }
Value PaddedText(const std::string& text, size_t count) { return {REG_SZ, Padded(text, count)}; }
Value Byte(unsigned char value) { return {REG_BINARY, std::string(1, static_cast<char>(value))}; }

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    context = setuptest::StartedContext();
    context.device = rq47set::DeviceNamed(kDevice);
    machine.writeFile(kSystemIniPath, kSystemIniText);
    // As the main sequence leaves the vendor key before this step.
    machine.setBytes(kVendorKeyPath, "Version", REG_SZ, Kept("3.02 Build 69"));
    machine.setBytes(kVendorKeyPath, "Operating System", REG_SZ, Kept("Windows98"));
    machine.run();
  }

  // Runs the step on the vendor key, opened as the main sequence opens it.
  void apply() {
    UniqueHkey vendorKey;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, vendorKey.put(), nullptr),
              ERROR_SUCCESS);
    rq47set::ApplyModemSettings(context, std::move(vendorKey));
    EXPECT_EQ(machine.run().openHandleCount(), 0u);
  }

  void setValues(const std::string& key, const Values& values) {
    for (const auto& [name, value] : values) machine.setBytes(key, name, value.type, value.bytes);
  }
  Values values(const std::string& key) {
    Values found;
    const winsim::RegKey* node = machine.registry().find(key);
    if (node == nullptr) return found;
    for (const winsim::RegValue& value : node->values()) {
      found[value.name] = {value.type, value.data};
    }
    return found;
  }

  // What an upgrade saves from an earlier installation, as it writes it.
  void saveSettings(const std::string& dosBoxEnabled) {
    setValues(kTempKeyPath, {{"Version", Text("3.02 Build 69")},
                             {"Country", Byte(49)},
                             {"Language", Text("German")},
                             {"PNP ID", Text("VEN_1A3C&DEV_2211&OLD")},
                             {"MicGain", Byte(60)},
                             {"SpkrGain", Byte(70)},
                             {"DOSboxEnabled", Text(dosBoxEnabled)},
                             {"PortName", Text("COM4")}});
  }

  // The setup started again, as after a run that stopped half way.
  void nextRun() {
    context = setuptest::StartedContext();
    context.device = rq47set::DeviceNamed(kDevice);
    machine.newRun();
  }

  rq47test::TestMachine machine;
  rq47set::SetupContext context;
};

TEST_F(Settings, AFreshInstallationWritesTheDefaultsWithTheirExactByteCountsInTheirOrder) {
  apply();
  EXPECT_EQ(StoredValues(machine.registry(), kVendorKeyPath),
            setuptest::FreshVendorValues(kDevice));
  // Written with 22 bytes (16 characters, the terminator and five zero
  // bytes), of which Windows 95/98 keep the text and one NUL.
  std::vector<std::string> writes =
      rq47test::CallsOf(machine.run().trace(), "RegSetValueExA", "\"Language\"");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_NE(writes[0].find(", 22) = ERROR_SUCCESS [kept 17 bytes]"), std::string::npos)
      << writes[0];
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniText);
}

TEST_F(Settings, InstallingAgainRewritesOnlyPnpId) {
  Values installed = {{"Version", Text("3.02 Build 69")},
                      {"Operating System", Text("Windows98")},
                      {"Language", Text("French")},
                      {"Country", Byte(33)},
                      {"PNP ID", Text("VEN_1A3C&DEV_2210&SUBSYS_OLD")},
                      {"MicGain", Byte(10)},
                      {"SpkrGain", Byte(20)},
                      {"DOSboxEnabled", Text("TRUE")},
                      {"PortName", Text("COM3")}};
  setValues(kVendorKeyPath, installed);

  apply();
  Values expected = installed;
  expected["PNP ID"] = Text(kDevice);
  EXPECT_EQ(values(kVendorKeyPath), expected);
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniText);
}

// Only a Language that is not there means there are no settings to keep.
TEST_F(Settings, ALanguageThatIsThereButCannotBeReadKeepsTheSettings) {
  Values installed = {{"Language", Text("A language name of thirty bytes")},
                      {"Country", Byte(44)},
                      {"MicGain", Byte(10)},
                      {"SpkrGain", Byte(20)},
                      {"DOSboxEnabled", Text("TRUE")}};
  for (bool tooLong : {true, false}) {
    SCOPED_TRACE(tooLong ? "longer than its field" : "the registry cannot read it");
    machine.registry().remove(kVendorKeyPath);
    setValues(kVendorKeyPath, installed);
    if (!tooLong) {
      machine.setBytes(kVendorKeyPath, "Language", REG_SZ, Kept("French"));
      machine.run().addFault({"RegQueryValueExA", "\"Language\"", 1, ERROR_CANTREAD});
    }
    apply();
    Values vendor = values(kVendorKeyPath);
    EXPECT_EQ(vendor["Language"].bytes,
              tooLong ? Kept("A language name of thirty bytes") : Kept("French"));
    EXPECT_EQ(vendor["Country"], Byte(44));
    EXPECT_EQ(vendor["MicGain"], Byte(10));
    EXPECT_EQ(vendor["DOSboxEnabled"], Text("TRUE"));
    EXPECT_EQ(vendor["PNP ID"], Text(kDevice));
    machine.run().clearFaults();
  }
}

// A run cut short while it wrote the defaults left Language without the rest.
TEST_F(Settings, SettingsLeftIncompleteGetTheDefaultsOfWhatIsMissingOnly) {
  setValues(kVendorKeyPath, {{"Language", Text("French")},
                             {"Country", Byte(33)},
                             {"SpkrGain", Byte(20)},
                             {"PortName", Text("COM3")}});
  // A value the registry cannot read may be the user's: it is not written over.
  machine.run().addFault({"RegQueryValueExA", "\"SpkrGain\"", 0, ERROR_CANTREAD});
  apply();
  Values vendor = values(kVendorKeyPath);
  EXPECT_EQ(vendor["Language"], Text("French"));
  EXPECT_EQ(vendor["Country"], Byte(33));
  EXPECT_EQ(vendor["MicGain"], Byte(80));
  EXPECT_EQ(vendor["SpkrGain"], Byte(20));
  EXPECT_EQ(vendor["DOSboxEnabled"], Text("FALSE"));
  EXPECT_EQ(vendor["PortName"], Text("COM3"));
  EXPECT_EQ(vendor["PNP ID"], Text(kDevice));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniText);
}

// Without Language the defaults go in, but a setting that is there (set by
// hand or by another program) is the user's and stays; a DOS box setting
// turned to "FALSE" would also no longer tell of the driver line in system.ini.
TEST_F(Settings, WithoutLanguageOnlyTheMissingSettingsTakeTheirDefaults) {
  machine.writeFile(kSystemIniPath, kSystemIniWithDriverLine);
  setValues(kVendorKeyPath, {{"Country", Byte(33)},
                             {"MicGain", Byte(10)},
                             {"DOSboxEnabled", Text("TRUE")},
                             {"PortName", Text("COM3")}});
  apply();
  Values vendor = values(kVendorKeyPath);
  EXPECT_EQ(vendor["Language"], Text("Domestic English"));
  EXPECT_EQ(vendor["Country"], Byte(33));
  EXPECT_EQ(vendor["MicGain"], Byte(10));
  EXPECT_EQ(vendor["SpkrGain"], Byte(80));
  EXPECT_EQ(vendor["DOSboxEnabled"], Text("TRUE"));
  EXPECT_EQ(vendor["PortName"], Text("COM3"));
  EXPECT_EQ(vendor["PNP ID"], Text(kDevice));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniWithDriverLine);
}

TEST_F(Settings, SavedSettingsAreTakenOverAndTheDriverLineAddedForTrue) {
  saveSettings("TRUE");
  apply();
  EXPECT_EQ(StoredValues(machine.registry(), kVendorKeyPath),
            (std::vector<StoredValue>{
                KeptText("Version", "3.02 Build 69"), KeptText("Operating System", "Windows98"),
                KeptText("PNP ID", kDevice), KeptText("Language", "German"),
                ByteValue("Country", 49), ByteValue("MicGain", 60), ByteValue("SpkrGain", 70),
                KeptText("DOSboxEnabled", "TRUE"), KeptText("PortName", "COM4")}));
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
  EXPECT_TRUE(machine.keyExists(rq47test::Hklm("Software\\Zelvaran")));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniWithDriverLine);
  EXPECT_FALSE(machine.exists("C:\\WINDOWS\\system.new"));
}

TEST_F(Settings, OnlyTheExactTextTrueAddsTheDriverLine) {
  for (const char* text : {"true", "True", "FALSE", "TRUE ", ""}) {
    SCOPED_TRACE(std::string("DOSboxEnabled \"") + text + "\"");
    machine.registry().remove(kVendorKeyPath);
    machine.createKey(kVendorKeyPath);
    saveSettings(text);
    apply();
    EXPECT_EQ(values(kVendorKeyPath)["DOSboxEnabled"], Text(text));
    EXPECT_FALSE(machine.keyExists(kTempKeyPath));
    EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniText);
  }
}

TEST_F(Settings, ValuesMissingFromTheSavedSettingsTakeTheirDefaults) {
  setValues(kTempKeyPath, {{"Language", Text("Italiano")}, {"SpkrGain", Byte(5)}});
  apply();
  Values vendor = values(kVendorKeyPath);
  EXPECT_EQ(vendor["Language"], Text("Italiano"));
  EXPECT_EQ(vendor["SpkrGain"], Byte(5));
  EXPECT_EQ(vendor["Country"], Byte(1));
  EXPECT_EQ(vendor["MicGain"], Byte(80));
  EXPECT_EQ(vendor["DOSboxEnabled"], Text("FALSE"));
  EXPECT_EQ(vendor.count("PortName"), 0u);  // the port assignment chooses one
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
}

TEST_F(Settings, AnEmptySavedSettingsKeyGivesTheDefaults) {
  machine.createKey(kTempKeyPath);
  apply();
  Values vendor = values(kVendorKeyPath);
  EXPECT_EQ(vendor["Language"], Text("Domestic English"));
  EXPECT_EQ(vendor["Country"], Byte(1));
  EXPECT_EQ(vendor["MicGain"], Byte(80));
  EXPECT_EQ(vendor["SpkrGain"], Byte(80));
  EXPECT_EQ(vendor["DOSboxEnabled"], Text("FALSE"));
  EXPECT_EQ(vendor.count("PortName"), 0u);
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
}

// A text too long for its field, a value of another type, and a text padded
// past its field (which only NT or an offline edit leaves: Windows 95/98 keep
// the text and one NUL).
TEST_F(Settings, SavedValuesThatCannotBeReadTakeTheirDefaults) {
  setValues(kTempKeyPath, {{"Language", Text("Language longer than the field")},
                           {"Country", {REG_DWORD, std::string("\x31\0\0\0", 4)}},
                           {"DOSboxEnabled", PaddedText("TRUE", 12)},
                           {"PortName", Text("COM4")}});
  apply();
  Values vendor = values(kVendorKeyPath);
  EXPECT_EQ(vendor["Language"], Text("Domestic English"));
  EXPECT_EQ(vendor["Country"], Byte(1));
  EXPECT_EQ(vendor["DOSboxEnabled"], Text("FALSE"));
  EXPECT_EQ(vendor["PortName"], Text("COM4"));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniText);
}

TEST_F(Settings, AnEmptySavedPortNameIsNotWritten) {
  saveSettings("FALSE");
  // Ten zero bytes written, of which Windows 95/98 keep one.
  machine.setBytes(kTempKeyPath, "PortName", REG_SZ, std::string(1, '\0'));
  apply();
  EXPECT_EQ(values(kVendorKeyPath).count("PortName"), 0u);
}

TEST_F(Settings, SavedSettingsStayWhenTheyCouldNotAllBeWritten) {
  saveSettings("TRUE");
  Values saved = values(kTempKeyPath);
  machine.run().addFault({"RegSetValueExA", "\"MicGain\"", 0, ERROR_ACCESS_DENIED});
  apply();
  EXPECT_EQ(values(kTempKeyPath), saved);
  EXPECT_EQ(values(kVendorKeyPath)["Language"], Text("German"));
  EXPECT_EQ(values(kVendorKeyPath).count("MicGain"), 0u);
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniText);
}

TEST_F(Settings, SettingsThatCouldNotBeTakenOverAreTakenOverByTheNextRun) {
  saveSettings("TRUE");
  machine.run().addFault({"RegSetValueExA", "\"Language\"", 0, ERROR_ACCESS_DENIED});
  apply();
  EXPECT_TRUE(machine.keyExists(kTempKeyPath));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniText);

  nextRun();
  apply();
  EXPECT_EQ(values(kVendorKeyPath)["Language"], Text("German"));
  EXPECT_EQ(values(kVendorKeyPath)["MicGain"], Byte(60));
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniWithDriverLine);  // added once
}

const Values kTakenOver = {{"Version", Text("3.02 Build 69")},
                           {"Operating System", Text("Windows98")},
                           {"PNP ID", Text(kDevice)},
                           {"Language", Text("German")},
                           {"Country", Byte(49)},
                           {"MicGain", Byte(60)},
                           {"SpkrGain", Byte(70)},
                           {"DOSboxEnabled", Text("TRUE")},
                           {"PortName", Text("COM4")}};

// A run that stopped after writing Language left the rest in the saved
// settings: the next run takes them over although Language is there.
TEST_F(Settings, SavedSettingsStillThereAreTakenOverWhenLanguageIsThere) {
  saveSettings("TRUE");
  setValues(kVendorKeyPath, {{"PNP ID", Text(kDevice)}, {"Language", Text("German")}});
  apply();
  EXPECT_EQ(values(kVendorKeyPath), kTakenOver);
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniWithDriverLine);
}

// Saved settings without a value leave the vendor key's value as it is.
TEST_F(Settings, ASettingTheSavedSettingsLackKeepsTheVendorKeysValue) {
  saveSettings("FALSE");
  machine.registry().find(kTempKeyPath)->deleteValue("Country");
  setValues(kVendorKeyPath, {{"Language", Text("German")}, {"Country", Byte(33)}});
  apply();
  EXPECT_EQ(values(kVendorKeyPath)["Country"], Byte(33));
  EXPECT_EQ(values(kVendorKeyPath)["MicGain"], Byte(60));
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
}

// A saved value the registry cannot read may still be there: the saved
// settings stay until a run has read them all.
TEST_F(Settings, SavedSettingsStayUntilEveryValueCouldBeRead) {
  saveSettings("TRUE");
  Values saved = values(kTempKeyPath);
  machine.run().addFault({"RegQueryValueExA", "\"Country\"", 1, ERROR_CANTREAD});
  apply();
  EXPECT_EQ(values(kTempKeyPath), saved);
  EXPECT_EQ(values(kVendorKeyPath)["Language"], Text("German"));
  EXPECT_EQ(values(kVendorKeyPath)["Country"], Byte(1)) << "the default until it can be read";

  nextRun();
  apply();
  EXPECT_EQ(values(kVendorKeyPath), kTakenOver);
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniWithDriverLine);
}

// "TRUE" taken over asks for the driver line: the saved settings stay until it
// is in system.ini, and a run that takes them over again never adds a second.
TEST_F(Settings, SavedSettingsStayUntilTheDriverLineIsInPlace) {
  saveSettings("TRUE");
  machine.run().addFault({"CreateFileA", "system.new", 0, 0});
  apply();
  EXPECT_TRUE(machine.keyExists(kTempKeyPath));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniText);
  EXPECT_EQ(values(kVendorKeyPath), kTakenOver);

  nextRun();
  machine.run().addFault({"CopyFileA", "system.new", 0, 0});
  apply();
  EXPECT_TRUE(machine.keyExists(kTempKeyPath)) << "the line did not reach system.ini";

  nextRun();
  apply();
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniWithDriverLine);

  saveSettings("TRUE");
  nextRun();
  apply();
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
  EXPECT_EQ(machine.readFile(kSystemIniPath), kSystemIniWithDriverLine) << "added once";
}

// A line that only names the driver does not load it: the DOS box asked for
// gets its driver line all the same, and the saved settings go only then.
TEST_F(Settings, ALineThatOnlyNamesTheDriverIsNoDriverLine) {
  const std::pair<std::string, std::string> kFiles[] = {
      {"[boot.description]\r\n; zelvcd.vxd is the modem's DOS box driver\r\n",
       "[386Enh]\r\ndevice=*vcd\r\n"},
      {"[386Enh]\r\ndevice=*vcd\r\n", ";device = zelvcd.vxd\r\n"},
  };
  for (const auto& [before, after] : kFiles) {
    SCOPED_TRACE(before + after);
    machine.writeFile(kSystemIniPath, before + after);
    saveSettings("TRUE");
    nextRun();
    apply();
    EXPECT_EQ(values(kVendorKeyPath)["DOSboxEnabled"], Text("TRUE"));
    EXPECT_FALSE(machine.keyExists(kTempKeyPath));
    std::string ini = machine.readFile(kSystemIniPath).value();
    EXPECT_NE(ini.find("device=*vcd\r\ndevice = zelvcd.vxd\r\n"), std::string::npos) << ini;
  }
}

// A system.ini without a "*vcd" line has no place for the driver line; the
// saved settings are taken over all the same and do not stay for ever.
TEST_F(Settings, WithoutAVcdLineTheSavedSettingsAreStillTakenOverOnce) {
  const std::string withoutVcd = "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vpd\r\n";
  machine.writeFile(kSystemIniPath, withoutVcd);
  saveSettings("TRUE");
  apply();
  EXPECT_EQ(values(kVendorKeyPath), kTakenOver);
  EXPECT_FALSE(machine.keyExists(kTempKeyPath));
  EXPECT_EQ(machine.readFile(kSystemIniPath), withoutVcd);
}

}  // namespace
