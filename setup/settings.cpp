#include "settings.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "driver_line.h"
#include "modem_names.h"
#include "registry_values.h"
#include "setup_state.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

// The settings of a fresh installation; a value an upgrade could not save
// takes its default too.
constexpr char kDefaultLanguage[] = "Domestic English";
constexpr BYTE kDefaultCountry = 1;
constexpr BYTE kDefaultGain = 80;
constexpr char kDosBoxDisabled[] = "FALSE";
// Only this exact text puts the driver line into system.ini.
constexpr char kDosBoxEnabled[] = "TRUE";

// A Language that is there, even one too long to read, means the settings
// are already in place and belong to the user.
bool HasSettings(HKEY vendorKey) {
  LONG status = ReadFixedString(vendorKey, "Language", g_setup.settings.language, kLanguageBytes);
  return status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
}

// The device may have moved to another PCI key since the settings were made.
void RefreshPnpId(HKEY vendorKey) {
  WriteFixedString(vendorKey, "PNP ID", g_setup.deviceInstanceId, kPnpIdBytes);
}

void WriteDefaults(HKEY vendorKey) {
  WriteByteValue(vendorKey, "Country", kDefaultCountry);
  WriteFixedString(vendorKey, "Language", kDefaultLanguage, kLanguageBytes);
  WriteFixedString(vendorKey, "PNP ID", g_setup.deviceInstanceId, kPnpIdBytes);
  WriteByteValue(vendorKey, "MicGain", kDefaultGain);
  WriteByteValue(vendorKey, "SpkrGain", kDefaultGain);
  WriteFixedString(vendorKey, "DOSboxEnabled", kDosBoxDisabled, kDosBoxEnabledBytes);
}

// Reads what the upgrade saved over the defaults, so a value it could not
// save keeps its default. True when a port name was saved.
bool ReadSavedSettings(HKEY tempKey) {
  SettingsRecord& settings = g_setup.settings;
  CopyText(settings.language, kDefaultLanguage);
  settings.country = kDefaultCountry;
  settings.micGain = kDefaultGain;
  settings.spkrGain = kDefaultGain;
  CopyText(settings.dosBoxEnabled, kDosBoxDisabled);

  ReadFixedString(tempKey, "Language", settings.language, kLanguageBytes);
  ReadByteValue(tempKey, "Country", &settings.country);
  ReadByteValue(tempKey, "MicGain", &settings.micGain);
  ReadByteValue(tempKey, "SpkrGain", &settings.spkrGain);
  ReadFixedString(tempKey, "DOSboxEnabled", settings.dosBoxEnabled, kDosBoxEnabledBytes);
  // An empty port name names no port; the port assignment chooses one instead.
  return ReadFixedString(tempKey, "PortName", settings.portName, kSavedPortNameBytes) ==
             ERROR_SUCCESS &&
         settings.portName[0] != '\0';
}

// Writes every value, in the order an installation has always written them;
// true when every one reached the vendor key.
bool WriteSavedSettings(HKEY vendorKey, bool withPortName) {
  const SettingsRecord& settings = g_setup.settings;
  int failures = 0;
  auto count = [&failures](LONG status) { failures += status == ERROR_SUCCESS ? 0 : 1; };
  count(WriteFixedString(vendorKey, "PNP ID", g_setup.deviceInstanceId, kPnpIdBytes));
  count(WriteFixedString(vendorKey, "Language", settings.language, kLanguageBytes));
  count(WriteByteValue(vendorKey, "Country", settings.country));
  count(WriteByteValue(vendorKey, "MicGain", settings.micGain));
  count(WriteByteValue(vendorKey, "SpkrGain", settings.spkrGain));
  count(WriteFixedString(vendorKey, "DOSboxEnabled", settings.dosBoxEnabled, kDosBoxEnabledBytes));
  if (withPortName) {
    count(WriteFixedString(vendorKey, "PortName", settings.portName, kSavedPortNameBytes));
  }
  return failures == 0;
}

// Takes over the settings an upgrade saved before its reboot. The saved
// settings are deleted only once they are all in the vendor key; after a
// failed write they stay, and the next run takes them over (and adds the
// driver line) then, so the line is added once.
void MigrateSavedSettings(HKEY vendorKey, UniqueHkey tempKey) {
  bool hasPortName = ReadSavedSettings(tempKey.get());
  tempKey.reset();

  if (!WriteSavedSettings(vendorKey, hasPortName)) return;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTempSettingsKey);
  if (std::strcmp(g_setup.settings.dosBoxEnabled, kDosBoxEnabled) == 0) AddDriverLine();
}

}  // namespace

void ApplyModemSettings(UniqueHkey vendorKey) {
  if (HasSettings(vendorKey.get())) {
    RefreshPnpId(vendorKey.get());
    return;
  }

  UniqueHkey tempKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTempSettingsKey, 0, KEY_READ, tempKey.put()) ==
      ERROR_SUCCESS) {
    MigrateSavedSettings(vendorKey.get(), std::move(tempKey));
  } else {
    WriteDefaults(vendorKey.get());
  }
}

}  // namespace rq47set
