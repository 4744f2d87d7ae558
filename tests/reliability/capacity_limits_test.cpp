// Every fixed read capacity and byte count the programs keep, at its limit:
// the longest value that must still work, and one more byte (or character)
// that must not, each in a whole run, judged by what the machine holds after.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "bad_input_machine.h"
#include "modem_fixtures.h"

namespace rq47test {
namespace {

using MachinePtr = std::unique_ptr<TestMachine>;

const std::string kSecondInstance = kModemKey + "\\BUS_00&DEV_0B&FUNC_01";
const std::string kWaveInstance = kModemWaveKeyPath + "\\Zelvaran_RQ47_PCI_Voice_Modem\\0000";

MachinePtr Fresh() { return Windows98(); }
MachinePtr Installed() { return InstalledWindows98(); }
MachinePtr Previous() { return TestMachine::CopyOf("win95-previous"); }
// After the upgrade's first run: the settings wait in the temporary key.
MachinePtr Rebooted() {
  MachinePtr m = Previous();
  if (RunSetupOn(*m) != 0) throw std::runtime_error("the upgrade of win95-previous failed");
  return m;
}

int Setup(TestMachine& m) { return RunSetupOn(m); }
int Uninstall(TestMachine& m) { return RunUninstallOn(m); }

// A value of `bytes` bytes: the text, then zero bytes.
void SetText(TestMachine& m, const std::string& key, const char* name, const std::string& text,
             size_t bytes) {
  m.setBytes(key, name, REG_SZ, Padded(text, bytes));
}

// A modem's instance key below its PCI key.
void AddInstance(TestMachine& m, const std::string& key) { m.setString(key, "Class", "Modem"); }

struct CapacityCase {
  const char* what;
  size_t longest;  // the longest that works; one more must not
  MachinePtr (*start)();
  void (*give)(TestMachine&, size_t length);
  int (*run)(TestMachine&);
  bool (*worked)(TestMachine&, size_t length);
};

const CapacityCase kCases[] = {
    // The uninstaller.
    {"PNP ID read by the uninstaller (42 bytes)", 42, Installed,
     [](TestMachine& m, size_t n) { SetText(m, kVendorKeyPath, "PNP ID", kModemId, n); }, Uninstall,
     [](TestMachine& m, size_t) { return !m.keyExists(kModemKey); }},
    {"the device instance's driver (40 bytes)", 40, Installed,
     [](TestMachine& m, size_t n) { SetText(m, kModemInstance, "Driver", "Modem\\0000", n); },
     Uninstall,
     [](TestMachine& m, size_t) { return !m.keyExists(kClassKeyPath + "\\Modem\\0000"); }},
    {"the wave instance's driver (50 bytes)", 50, Installed,
     [](TestMachine& m, size_t n) { SetText(m, kWaveInstance, "Driver", "MEDIA\\0005", n); },
     Uninstall,
     [](TestMachine& m, size_t) { return !m.keyExists(kClassKeyPath + "\\MEDIA\\0005"); }},
    {"the first instance's name read by the uninstaller (39 characters)", 39, Installed,
     [](TestMachine& m, size_t n) {
       m.registry().remove(kModemInstance);
       m.setString(kModemKey + "\\" + std::string(n, 'B'), "Driver", "Modem\\0000");
     },
     Uninstall,
     [](TestMachine& m, size_t) { return !m.keyExists(kClassKeyPath + "\\Modem\\0000"); }},

    // The installation's detection and port assignment.
    {"the modem's PCI key name (41 characters)", 41, Fresh,
     [](TestMachine& m, size_t n) {
       m.registry().remove(kModemKey);
       AddInstance(m, kPciKey + "\\" + kModemId + std::string(n - 40, 'X') + "\\BUS_00");
     },
     Setup,
     [](TestMachine& m, size_t n) {
       return m.valueText(kVendorKeyPath, "PNP ID") == kModemId + std::string(n - 40, 'X');
     }},
    {"the first instance's name (39 characters)", 39, Fresh,
     [](TestMachine& m, size_t n) {
       m.registry().remove(kModemInstance);
       AddInstance(m, kModemKey + "\\" + std::string(n, 'B'));
     },
     Setup,
     [](TestMachine& m, size_t) { return m.valueText(kVendorKeyPath, "PortName") == "COM2"; }},
    {"another instance's name (79 characters)", 79, Fresh,
     [](TestMachine& m, size_t n) { AddInstance(m, kModemKey + "\\" + std::string(n, 'Z')); },
     Setup,
     [](TestMachine& m, size_t n) {
       return m.valueText(kModemKey + "\\" + std::string(n, 'Z'), "PortName") == "COM2";
     }},
    {"the vendor key's PortName (42 bytes)", 42, Installed,
     [](TestMachine& m, size_t n) { SetText(m, kVendorKeyPath, "PortName", "COM4", n); }, Setup,
     [](TestMachine& m, size_t) { return m.valueText(kModemInstance, "PortName") == "COM4"; }},
    {"the port name (19 characters)", 19, Installed,
     [](TestMachine& m, size_t n) {
       SetText(m, kVendorKeyPath, "PortName", "COM" + std::string(n - 3, '9'), 42);
     },
     Setup,
     [](TestMachine& m, size_t n) {
       return m.valueText(kModemInstance, "PortName") == "COM" + std::string(n - 3, '9');
     }},
    {"another instance's own PortName (20 bytes)", 20, Installed,
     [](TestMachine& m, size_t n) {
       AddInstance(m, kSecondInstance);
       SetText(m, kSecondInstance, "PortName", "COM9", n);
     },
     Setup,
     [](TestMachine& m, size_t) { return m.valueText(kSecondInstance, "PortName") == "COM9"; }},

    // The upgrade: the old key's values, read as they are saved.
    {"the old key's Version (20 bytes)", 20, Previous,
     [](TestMachine& m, size_t n) { SetText(m, kServiceKeyPath, "Version", "3.02 Build 69", n); },
     Setup, [](TestMachine& m, size_t) { return !m.keyExists(kTempKeyPath); }},
    {"the old key's Language (22 bytes)", 22, Previous,
     [](TestMachine& m, size_t n) { SetText(m, kServiceKeyPath, "Language", "Italian", n); }, Setup,
     [](TestMachine& m, size_t) { return m.valueText(kTempKeyPath, "Language") == "Italian"; }},
    {"the old key's PNP ID (54 bytes)", 54, Previous,
     [](TestMachine& m, size_t n) { SetText(m, kServiceKeyPath, "PNP ID", "VEN_OLD", n); }, Setup,
     [](TestMachine& m, size_t) { return m.valueText(kTempKeyPath, "PNP ID") == "VEN_OLD"; }},
    {"the old key's DOSboxEnabled (10 bytes)", 10, Previous,
     [](TestMachine& m, size_t n) { SetText(m, kServiceKeyPath, "DOSboxEnabled", "TRUE", n); },
     Setup,
     [](TestMachine& m, size_t) { return m.valueText(kTempKeyPath, "DOSboxEnabled") == "TRUE"; }},
    {"the old key's Country (1 byte)", 1, Previous,
     [](TestMachine& m, size_t n) {
       m.setBytes(kServiceKeyPath, "Country", REG_BINARY, Padded("\x27", n));
     },
     Setup, [](TestMachine& m, size_t) { return m.valueBytes(kTempKeyPath, "Country") == "\x27"; }},
    {"the old key's MicGain (1 byte)", 1, Previous,
     [](TestMachine& m, size_t n) {
       m.setBytes(kServiceKeyPath, "MicGain", REG_BINARY, Padded("\x21", n));
     },
     Setup, [](TestMachine& m, size_t) { return m.valueBytes(kTempKeyPath, "MicGain") == "\x21"; }},
    {"the device's PortName read by the upgrade (10 bytes)", 10, Previous,
     [](TestMachine& m, size_t n) { SetText(m, kModemInstance, "PortName", "COM7", n); }, Setup,
     [](TestMachine& m, size_t) { return m.valueText(kTempKeyPath, "PortName") == "COM7"; }},

    // The run after the upgrade's reboot: the saved values, read back.
    {"the saved Language (22 bytes)", 22, Rebooted,
     [](TestMachine& m, size_t n) { SetText(m, kTempKeyPath, "Language", "Italian", n); }, Setup,
     [](TestMachine& m, size_t) { return m.valueText(kVendorKeyPath, "Language") == "Italian"; }},
    {"the saved DOSboxEnabled (10 bytes)", 10, Rebooted,
     [](TestMachine& m, size_t n) { SetText(m, kTempKeyPath, "DOSboxEnabled", "TRUE", n); }, Setup,
     [](TestMachine& m, size_t) { return m.valueText(kVendorKeyPath, "DOSboxEnabled") == "TRUE"; }},
    {"the saved SpkrGain (1 byte)", 1, Rebooted,
     [](TestMachine& m, size_t n) {
       m.setBytes(kTempKeyPath, "SpkrGain", REG_BINARY, Padded("\x22", n));
     },
     Setup,
     [](TestMachine& m, size_t) { return m.valueBytes(kVendorKeyPath, "SpkrGain") == "\x22"; }},
};

TEST(CapacityLimits, TheLongestValueWorksAndOneMoreDoesNot) {
  for (const CapacityCase& limit : kCases) {
    for (size_t length : {limit.longest, limit.longest + 1}) {
      SCOPED_TRACE(std::string(limit.what) + ", length " + std::to_string(length));
      MachinePtr m = limit.start();
      limit.give(*m, length);
      m->reload();
      limit.run(*m);
      EXPECT_EQ(limit.worked(*m, length), length == limit.longest);
    }
  }
}

}  // namespace
}  // namespace rq47test
