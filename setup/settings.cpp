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

// The device may have moved to another PCI key since the settings were made.
LONG RefreshPnpId(HKEY vendorKey) {
  return WriteFixedString(vendorKey, "PNP ID", g_setup.deviceInstanceId, kPnpIdBytes);
}

void WriteDefaults(HKEY vendorKey) {
  WriteByteValue(vendorKey, "Country", kDefaultCountry);
  WriteFixedString(vendorKey, "Language", kDefaultLanguage, kLanguageBytes);
  RefreshPnpId(vendorKey);
  WriteByteValue(vendorKey, "MicGain", kDefaultGain);
  WriteByteValue(vendorKey, "SpkrGain", kDefaultGain);
  WriteFixedString(vendorKey, "DOSboxEnabled", kDosBoxDisabled, kDosBoxEnabledBytes);
}

// Only a value that is not there is missing; one that cannot be read may
// hold the user's setting.
bool IsMissing(HKEY key, const char* name) {
  return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND;
}

// Which settings the temporary settings key held.
struct SavedSettings {
  bool language = false;
  bool country = false;
  bool micGain = false;
  bool spkrGain = false;
  bool dosBoxEnabled = false;
  bool portName = false;
  // No read failed in a way that leaves a saved value unknown.
  bool allKnown = true;
};

void FillDefaults(SettingsRecord& settings) {
  CopyText(settings.language, kDefaultLanguage);
  settings.country = kDefaultCountry;
  settings.micGain = kDefaultGain;
  settings.spkrGain = kDefaultGain;
  CopyText(settings.dosBoxEnabled, kDosBoxDisabled);
}

// Reads what the upgrade saved over the defaults, so a value it could not
// save keeps its default.
SavedSettings ReadSavedSettings(HKEY tempKey) {
  SettingsRecord& settings = g_setup.settings;
  FillDefaults(settings);
  SavedSettings saved;
  auto taken = [&saved](LONG status) {
    if (!ReadSaysWhatIsStored(status)) saved.allKnown = false;
    return status == ERROR_SUCCESS;
  };
  saved.language = taken(ReadFixedString(tempKey, "Language", settings.language, kLanguageBytes));
  saved.country = taken(ReadByteValue(tempKey, "Country", &settings.country));
  saved.micGain = taken(ReadByteValue(tempKey, "MicGain", &settings.micGain));
  saved.spkrGain = taken(ReadByteValue(tempKey, "SpkrGain", &settings.spkrGain));
  saved.dosBoxEnabled =
      taken(ReadFixedString(tempKey, "DOSboxEnabled", settings.dosBoxEnabled, kDosBoxEnabledBytes));
  // An empty port name names no port; the port assignment chooses one instead.
  saved.portName =
      taken(ReadFixedString(tempKey, "PortName", settings.portName, kSavedPortNameBytes)) &&
      settings.portName[0] != '\0';
  return saved;
}

// Writes the settings in the order an installation has always written them.
// A saved setting replaces the vendor key's value; one that was not saved
// keeps the vendor key's value, or takes its default where there is none.
// True when every write reached the vendor key.
bool WriteSettings(HKEY vendorKey, const SavedSettings& saved) {
  const SettingsRecord& settings = g_setup.settings;
  bool allWritten = RefreshPnpId(vendorKey) == ERROR_SUCCESS;
  auto put = [&](bool wasSaved, const char* name, auto write) {
    if ((wasSaved || IsMissing(vendorKey, name)) && write() != ERROR_SUCCESS) allWritten = false;
  };
  put(saved.language, "Language",
      [&] { return WriteFixedString(vendorKey, "Language", settings.language, kLanguageBytes); });
  put(saved.country, "Country",
      [&] { return WriteByteValue(vendorKey, "Country", settings.country); });
  put(saved.micGain, "MicGain",
      [&] { return WriteByteValue(vendorKey, "MicGain", settings.micGain); });
  put(saved.spkrGain, "SpkrGain",
      [&] { return WriteByteValue(vendorKey, "SpkrGain", settings.spkrGain); });
  put(saved.dosBoxEnabled, "DOSboxEnabled", [&] {
    return WriteFixedString(vendorKey, "DOSboxEnabled", settings.dosBoxEnabled,
                            kDosBoxEnabledBytes);
  });
  if (saved.portName && WriteFixedString(vendorKey, "PortName", settings.portName,
                                         kSavedPortNameBytes) != ERROR_SUCCESS) {
    allWritten = false;
  }
  return allWritten;
}

// The driver line goes into system.ini once: a run that takes the same
// settings over again finds it there. True when it is in place.
bool PutDriverLineInPlace() {
  if (NeedsDriverLine()) AddDriverLine();
  return !NeedsDriverLine();
}

// Takes over the settings an upgrade saved before its reboot. They are
// deleted only once every one of them is in the vendor key and the driver
// line they ask for is in system.ini; until then every run takes them over
// again, so a run that stopped half way is finished by the next.
void MigrateSavedSettings(HKEY vendorKey, UniqueHkey tempKey) {
  SavedSettings saved = ReadSavedSettings(tempKey.get());
  tempKey.reset();

  if (!WriteSettings(vendorKey, saved)) return;
  if (std::strcmp(g_setup.settings.dosBoxEnabled, kDosBoxEnabled) == 0 && !PutDriverLineInPlace()) {
    return;
  }
  if (saved.allKnown) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTempSettingsKey);
}

}  // namespace

bool ReadSaysWhatIsStored(LONG status) {
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA ||
         status == ERROR_INVALID_PARAMETER;
}

void ApplyModemSettings(UniqueHkey vendorKey) {
  // Only a Language that is not there means no settings are in place; one
  // that is too long or cannot be read may well be the user's.
  bool hasSettings = ReadFixedString(vendorKey.get(), "Language", g_setup.settings.language,
                                     kLanguageBytes) != ERROR_FILE_NOT_FOUND;

  // Saved settings are taken over even when the vendor key has some already:
  // they are still there only when the upgrade that saved them, or their
  // take-over, was cut short.
  UniqueHkey tempKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTempSettingsKey, 0, KEY_READ, tempKey.put()) ==
      ERROR_SUCCESS) {
    MigrateSavedSettings(vendorKey.get(), std::move(tempKey));
  } else if (hasSettings) {
    // The settings stay; one that a run cut short never wrote takes its default.
    FillDefaults(g_setup.settings);
    WriteSettings(vendorKey.get(), SavedSettings{});
  } else {
    WriteDefaults(vendorKey.get());
  }
}

}  // namespace rq47set
