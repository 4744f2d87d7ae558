// What the tests of both programs know of the modem software on a machine:
// the keys it keeps, where its folders lie on the default machine (Windows
// in C:\WINDOWS), the modem's PCI key name, and values as the programs store
// them.
#ifndef RQ47_MODEM_FIXTURES_H
#define RQ47_MODEM_FIXTURES_H

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "test_machine.h"
#include "winsim/registry.h"

namespace rq47test {

// Keys by full path.
inline const std::string kVendorKeyPath = Hklm("Software\\Zelvaran\\RQ31DFV");
inline const std::string kServiceKeyPath = Hklm("System\\CurrentControlSet\\Services\\RQ31DFV");
inline const std::string kTempKeyPath = Hklm("Software\\Zelvaran\\RQ31");
inline const std::string kPciKeyPath = Hklm("Enum\\PCI");
inline const std::string kClassKeyPath = Hklm("System\\CurrentControlSet\\Services\\Class");
inline const std::string kModemWaveKeyPath = Hklm("Enum\\MODEMWAVE");
inline const std::string kMediaResourceKeyPath =
    Hklm("System\\CurrentControlSet\\Control\\MediaResources\\Wave\\Serwvdrv.drv<0000>");
inline const std::string kUninstallEntryKeyPath =
    Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV");

// Folders and files of the default machine.
inline constexpr char kProgramFolderPath[] = "C:\\WINDOWS\\Zelvaran\\ZelSet95";
inline constexpr char kBackupFolderPath[] = "C:\\WINDOWS\\Zelvaran\\zelbak95";
inline constexpr char kKitFolderPath[] = "C:\\Program Files\\Zelset95";
inline constexpr char kInfFolderPath[] = "C:\\WINDOWS\\INF\\Other";
inline constexpr char kSystemIniPath[] = "C:\\WINDOWS\\system.ini";

// A supported modem's PCI key name.
inline constexpr char kModemId[] = "VEN_1A3C&DEV_2210&SUBSYS_00000000&REV_01";

// text followed by zero bytes up to count: the bytes the programs pass with
// their fixed counts, and what a registry of NT (or an offline edit) keeps.
std::string Padded(std::string_view text, size_t count);
// text and one NUL: what a Windows 95/98 registry keeps of a string, whatever
// the count it was written with.
std::string Kept(std::string_view text);

// A value as a key holds it: name, type and bytes.
struct StoredValue {
  std::string name;
  uint32_t type = 0;
  std::string bytes;
  bool operator==(const StoredValue& other) const {
    return name == other.name && type == other.type && bytes == other.bytes;
  }
};
void PrintTo(const StoredValue& value, std::ostream* out);

// A text value of `count` bytes and a one-byte value, as the programs write them.
StoredValue TextValue(const std::string& name, std::string_view text, size_t count);
// A text value as a Windows 95/98 registry keeps it (Kept).
StoredValue KeptText(const std::string& name, std::string_view text);
StoredValue ByteValue(const std::string& name, uint8_t byte);

// The key's values in the order the key holds them (the order they were
// first written); empty when the key is missing.
std::vector<StoredValue> StoredValues(const winsim::Registry& registry, const std::string& key);

}  // namespace rq47test

#endif  // RQ47_MODEM_FIXTURES_H
