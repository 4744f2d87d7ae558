#include "settings.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "driver_line.h"
#include "modem_names.h"
#include "modem_settings.h"
#include "saved_settings.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

// A fresh installation writes its values in this order, the order in which
// the vendor key has always held them.
constexpr Setting kFreshInstallation[] = {Setting::kCountry,  Setting::kLanguage,
                                          Setting::kPnpId,    Setting::kMicGain,
                                          Setting::kSpkrGain, Setting::kDosBoxEnabled};
// What an installation takes over from the settings an upgrade saved, in the
// order it reads and writes them; Version and PNP ID are its own.
constexpr Setting kTakenOver[] = {Setting::kLanguage, Setting::kCountry,       Setting::kMicGain,
                                  Setting::kSpkrGain, Setting::kDosBoxEnabled, Setting::kPortName};
// Only this exact text puts the driver line into system.ini.
constexpr char kDosBoxEnabled[] = "TRUE";

// The device may have moved to another PCI key since the settings were made.
LONG RefreshPnpId(HKEY vendorKey, const SetupContext& context) {
  const SettingEntry& pnpId = EntryOf(Setting::kPnpId);
  return WriteSetting(vendorKey, pnpId, pnpId.installedBytes, context.device.instanceId);
}

// Every setting that has a default takes it; a value an upgrade could not
// save keeps it.
void FillDefaults(SettingsRecord& record) {
  for (size_t i = 0; i < kSettingCount; ++i) {
    const SettingEntry& entry = kModemSettings[i];
    SettingField field = FieldOf(record, static_cast<Setting>(i));
    if (entry.defaultText != nullptr) {
      static_cast<void>(CopyText(field.data, field.size, entry.defaultText));  // sized for it
    } else if (HasDefault(entry)) {
      field.data[0] = static_cast<char>(entry.defaultByte);
    }
  }
}

// Only a value that is not there is missing; one that cannot be read may
// hold the user's setting.
bool IsMissing(HKEY key, Setting setting) {
  return RegQueryValueExA(key, EntryOf(setting).name, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_FILE_NOT_FOUND;
}

// Without Language the settings take their defaults; a value that is there
// all the same (set by hand or by another program) is the user's and stays.
void WriteFreshInstallation(HKEY vendorKey, SetupContext& context) {
  FillDefaults(context.settings);
  for (Setting setting : kFreshInstallation) {
    if (setting == Setting::kPnpId) {
      RefreshPnpId(vendorKey, context);
    } else if (IsMissing(vendorKey, setting)) {
      SettingField field = FieldOf(context.settings, setting);
      NotLookedAt(WriteSetting(vendorKey, EntryOf(setting), EntryOf(setting).installedBytes,
                               field.data, field.size));
    }
  }
}

// Reads what the upgrade saved over the defaults, so a value it could not
// save keeps its default. An empty port name names no port: the port
// assignment chooses one instead.
SettingsFound ReadSavedSettings(HKEY tempKey, SettingsRecord& record) {
  FillDefaults(record);
  SettingsFound saved;
  for (Setting setting : kTakenOver) ReadSavedSetting(tempKey, setting, record, saved);
  if (record.portName[0] == '\0') saved.mark(Setting::kPortName, false);
  return saved;
}

// A saved setting replaces the vendor key's value; one that was not saved
// keeps the vendor key's value, or takes its default where there is none.
// True when every write reached the vendor key.
bool WriteSettings(HKEY vendorKey, SetupContext& context, const SettingsFound& saved) {
  bool allWritten = RefreshPnpId(vendorKey, context) == ERROR_SUCCESS;
  for (Setting setting : kTakenOver) {
    bool write =
        saved.has(setting) || (HasDefault(EntryOf(setting)) && IsMissing(vendorKey, setting));
    if (write && WriteSavedSetting(vendorKey, setting, context.settings) != ERROR_SUCCESS) {
      allWritten = false;
    }
  }
  return allWritten;
}

// The driver line goes into system.ini once: a run that takes the same
// settings over again finds it there. True when it is in place. A system.new
// that a run cut short left is gone either way: a rewrite replaces it.
bool PutDriverLineInPlace() {
  if (!NeedsDriverLine()) {
    DeleteSystemIniCopy();
    return true;
  }
  AddDriverLine();
  return !NeedsDriverLine();
}

// Takes over the settings an upgrade saved before its reboot. They are
// deleted only once every one of them is in the vendor key and the driver
// line they ask for is in system.ini; until then every run takes them over
// again, so a run that stopped half way is finished by the next.
void MigrateSavedSettings(HKEY vendorKey, UniqueHkey tempKey, SetupContext& context) {
  SettingsFound saved = ReadSavedSettings(tempKey.get(), context.settings);
  tempKey.reset();

  if (!WriteSettings(vendorKey, context, saved)) return;
  if (std::strcmp(context.settings.dosBoxEnabled, kDosBoxEnabled) == 0 && !PutDriverLineInPlace()) {
    return;
  }
  // The key has no subkeys; Windows 95/98 would delete them with it.
  if (saved.allKnown) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTempSettingsKey);
}

}  // namespace

void ApplyModemSettings(SetupContext& context, UniqueHkey vendorKey) {
  // Only a Language that is not there means no settings are in place; one
  // that is too long or cannot be read may well be the user's.
  const SettingEntry& language = EntryOf(Setting::kLanguage);
  char installedLanguage[language.vendorReadBytes + 1] = {};
  bool hasSettings = ReadSetting(vendorKey.get(), language, language.vendorReadBytes,
                                 installedLanguage) != ERROR_FILE_NOT_FOUND;

  // Saved settings are taken over even when the vendor key has some already:
  // they are still there only when the upgrade that saved them, or their
  // take-over, was cut short.
  UniqueHkey tempKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTempSettingsKey, 0, KEY_READ, tempKey.put()) ==
      ERROR_SUCCESS) {
    MigrateSavedSettings(vendorKey.get(), std::move(tempKey), context);
  } else if (hasSettings) {
    // The settings stay; one that a run cut short never wrote takes its default.
    FillDefaults(context.settings);
    WriteSettings(vendorKey.get(), context, SettingsFound{});
  } else {
    WriteFreshInstallation(vendorKey.get(), context);
  }
}

}  // namespace rq47set
