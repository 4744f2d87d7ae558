// The user's modem settings, wherever the programs keep them: the vendor key,
// an earlier installation's service key, or the temporary settings key that
// carries them across an upgrade's reboot.
#ifndef RQ47_TESTS_RELIABILITY_USER_SETTINGS_H
#define RQ47_TESTS_RELIABILITY_USER_SETTINGS_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "winsim/registry.h"

namespace rq47test {

extern const std::string kVendorKey;
extern const std::string kServiceKey;
extern const std::string kTempSettingsKey;
// The keys where settings may be found, in the order the programs look.
extern const std::vector<std::string> kSettingsKeys;

struct UserSettings {
  std::string language;
  uint8_t country = 0;
  uint8_t micGain = 0;
  uint8_t spkrGain = 0;
  std::string dosBoxEnabled;
  std::string portName;

  bool operator==(const UserSettings& other) const;
  bool operator!=(const UserSettings& other) const { return !(*this == other); }
  std::string describe() const;
};

// For test output.
void PrintTo(const UserSettings& settings, std::ostream* out);

// The six settings of one key, when it holds all of them (texts up to their
// first NUL, one-byte values by their first byte).
std::optional<UserSettings> ReadSettings(const winsim::Registry& registry, const std::string& key);

// The first key of kSettingsKeys that holds exactly these settings; empty when none does.
std::string KeyHolding(const winsim::Registry& registry, const UserSettings& settings);

// Writes the six settings into a key as setup writes them: Language 22 bytes,
// DOSboxEnabled 10, PortName 20 (as the port assignment writes it), one byte
// for the others.
void WriteSettings(winsim::RegKey& key, const UserSettings& settings);
// Moving the modem to another port moves its device too: every instance of the
// device that the vendor key's PNP ID names gets the port. False when there is
// no such device.
bool MoveDevicePort(winsim::Registry& registry, const std::string& portName);

// What a fresh installation writes.
UserSettings DefaultSettings(const std::string& portName);

}  // namespace rq47test

#endif  // RQ47_TESTS_RELIABILITY_USER_SETTINGS_H
