// The modem's settings: the values of its settings key, as every program of
// the modem software writes and reads them. A value is written with a fixed
// byte count whatever its text (the text, its terminator and zero bytes up to
// the count) and read with a fixed capacity, whatever its type.
//
// Setup keeps them in the vendor key; earlier versions kept them in the
// service key; an upgrade reads them from there and carries them across its
// reboot in the temporary settings key, where the next installation takes
// them over.
#ifndef RQ47_COMMON_MODEM_SETTINGS_H
#define RQ47_COMMON_MODEM_SETTINGS_H

#include <windows.h>

#include <cstddef>

#include "not_looked_at.h"

enum class Setting {
  kVersion,
  kLanguage,
  kCountry,
  kPnpId,
  kMicGain,
  kSpkrGain,
  kDosBoxEnabled,
  kPortName,
};
inline constexpr size_t kSettingCount = 8;

struct SettingEntry {
  const char* name;
  // REG_SZ, a text; or REG_BINARY, one byte.
  DWORD type;
  // Written into the vendor key by an installation (PortName also into the
  // device's instance keys, which are read back with the same count).
  DWORD installedBytes;
  // The capacity with which an installation or the uninstaller reads the
  // vendor key's value; 0 where none does.
  DWORD vendorReadBytes;
  // The upgrade reads the value from the earlier installation's key with this
  // capacity and writes it into the temporary settings key with this count;
  // the next installation reads it back, and writes a value it takes over
  // into the vendor key, with the same.
  DWORD savedBytes;
  // A fresh installation's value: the text, or the byte when defaultText is
  // null (no default is the byte 0). Version, PNP ID and PortName have none:
  // they come from the version text, the detected device and the port
  // assignment.
  const char* defaultText;
  BYTE defaultByte;
};

constexpr bool HasDefault(const SettingEntry& entry) {
  return entry.defaultText != nullptr || entry.defaultByte != 0;
}

// In the order of Setting.
inline constexpr SettingEntry kModemSettings[kSettingCount] = {
    {"Version", REG_SZ, 20, 0, 20, nullptr, 0},
    {"Language", REG_SZ, 22, 22, 22, "Domestic English", 0},
    {"Country", REG_BINARY, 1, 0, 1, nullptr, 1},
    {"PNP ID", REG_SZ, 42, 42, 54, nullptr, 0},
    {"MicGain", REG_BINARY, 1, 0, 1, nullptr, 80},
    {"SpkrGain", REG_BINARY, 1, 0, 1, nullptr, 80},
    {"DOSboxEnabled", REG_SZ, 10, 0, 10, "FALSE", 0},
    // Read from the vendor key with room for the wider values of earlier versions.
    {"PortName", REG_SZ, 20, 42, 10, nullptr, 0},
};

constexpr const SettingEntry& EntryOf(Setting setting) {
  return kModemSettings[static_cast<size_t>(setting)];
}

// Which member of the Windows 95/98 family runs, recorded in the vendor key
// by an installation and moved by no upgrade.
inline constexpr SettingEntry kOperatingSystemValue = {
    "Operating System", REG_SZ, 20, 0, 0, nullptr, 0};

// Writes the value: a text as WriteFixedText writes it, with exactly
// byteCount bytes from `field`; a one-byte value from field[0].
[[nodiscard]] LONG WriteSetting(HKEY key, const SettingEntry& entry, DWORD byteCount,
                                const char* field, size_t fieldSize);

template <size_t N>
[[nodiscard]] LONG WriteSetting(HKEY key, const SettingEntry& entry, DWORD byteCount,
                                const char (&field)[N]) {
  return WriteSetting(key, entry, byteCount, field, N);
}

// Reads the value, whatever its type, as ReadFixedText reads a text of at
// most `capacity` bytes, or a one-byte value into field[0]. On any failure
// the field is left as it was.
LONG ReadSetting(HKEY key, const SettingEntry& entry, DWORD capacity, char* field,
                 size_t fieldSize);

template <size_t N>
LONG ReadSetting(HKEY key, const SettingEntry& entry, DWORD capacity, char (&field)[N]) {
  return ReadSetting(key, entry, capacity, field, N);
}

#endif  // RQ47_COMMON_MODEM_SETTINGS_H
