#include "upgrade.h"

#include <windows.h>

#include <cstring>

#include "archive.h"
#include "detection.h"
#include "driver_line.h"
#include "first_subkey.h"
#include "install_paths.h"
#include "modem_names.h"
#include "modem_settings.h"
#include "old_files.h"
#include "package_check.h"
#include "paths.h"
#include "saved_settings.h"
#include "text_buffer.h"
#include "unique_handle.h"
#include "unique_hkey.h"

namespace rq47set {
namespace {

constexpr char kUpgradeCaption[] = "Zelvaran RQ47 Upgrade";
constexpr char kUpgradeQuestion[] =
    "Install has found a previous version of the RQ47 Modem on your system.  "
    "Click YES to UPGRADE to the latest version.";
// "windir" stands for the Windows directory, which the user knows by that name.
constexpr char kArchiveNotice[] =
    "The previous version of the RQ47 Modem has been archived to the following\n"
    "directory: windir\\Zelvaran\\zelbak95\\.  Please note the location.  If you\n"
    "experience problems with the new software, follow the instructions in the\n"
    "Readme.doc file to revert back to the old version.";
// The file that could not be copied goes between the two.
constexpr char kArchiveFailedBefore[] =
    "The previous version of the RQ47 Modem could not be archived to the following\n"
    "directory: windir\\Zelvaran\\zelbak95\\.  Nothing of it has been removed.\n\n"
    "This file could not be copied there:\n";
constexpr char kArchiveFailedAfter[] =
    "\n\nMake sure that directory is a folder with room for the file, that no program\n"
    "uses the file and that no read-only copy of it lies there, then run Setup again.";
constexpr char kTempKeyFailed[] = "Failed to create temp RQ31 Key";
constexpr char kRebootRequest[] =
    "Please reboot the computer to continue with the upgrade.  "
    "Upon reboot, the system will install the new software. ";

// The previous version's uninstaller, found by the platform's search for a bare name.
constexpr char kPreviousUninstaller[] = "UNINST.EXE";

// Read from the previous installation after Version and before PortName, in this order.
constexpr Setting kReadBetween[] = {Setting::kLanguage, Setting::kCountry,
                                    Setting::kPnpId,    Setting::kMicGain,
                                    Setting::kSpkrGain, Setting::kDosBoxEnabled};
// Written into the temporary settings key in this order.
constexpr Setting kSavedOrder[] = {Setting::kVersion,       Setting::kCountry, Setting::kLanguage,
                                   Setting::kPnpId,         Setting::kMicGain, Setting::kSpkrGain,
                                   Setting::kDosBoxEnabled, Setting::kPortName};

constexpr const SettingEntry& kVersion = EntryOf(Setting::kVersion);
constexpr const SettingEntry& kPortName = EntryOf(Setting::kPortName);

// A key that holds no Version and none of the values an installation writes
// is no installation: a vendor key so is what a fresh installation cut short
// right after making the key leaves; a service key so was left by another
// program or an uninstall cut short, and the user's settings, if any, are in
// the vendor key. A value that cannot be read may be there.
bool HoldsNoSettings(HKEY key) {
  for (const SettingEntry& entry : kModemSettings) {
    if (RegQueryValueExA(key, entry.name, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_FILE_NOT_FOUND) {
      return false;
    }
  }
  return RegQueryValueExA(key, kOperatingSystemValue.name, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_FILE_NOT_FOUND;
}

// The service key, where earlier installations kept their settings, else the
// vendor key. isServiceKey tells which of them opened. All access is asked
// for, as earlier versions asked; Windows 95/98 grant any access to the
// registry whatever is asked. A service key without settings is passed over.
bool OpenPreviousInstallationKey(UniqueHkey& key, bool& isServiceKey) {
  isServiceKey = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_ALL_ACCESS, key.put()) ==
                     ERROR_SUCCESS &&
                 !HoldsNoSettings(key.get());
  return isServiceKey || RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_ALL_ACCESS,
                                       key.put()) == ERROR_SUCCESS;
}

// A service key of this version with the temporary settings key beside it
// is what an upgrade that stamped the old key before its question (as
// earlier versions did) leaves when it was cut short: it is not an
// installation of this version, and the upgrade is offered again. A vendor
// key of this version beside it is an installation whose take-over of the
// settings is still to be finished, which the installation does.
bool IsUpgradePending() {
  UniqueHkey tempKey;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTempSettingsKey, 0, KEY_READ, tempKey.put()) ==
         ERROR_SUCCESS;
}

bool IsCurrentVersionInstalled(HKEY previousKey) {
  char installedVersion[kVersion.savedBytes + 1] = {};
  return ReadSetting(previousKey, kVersion, kVersion.savedBytes, installedVersion) ==
             ERROR_SUCCESS &&
         std::strcmp(installedVersion, kVersionText) == 0;
}

// What the modem tells of itself: whether it was detected, and the port its
// first instance uses now, read into the settings record's PortName.
struct CurrentDevice {
  bool detected = false;
  bool portNameRead = false;
};

CurrentDevice ReadCurrentDevice(const ModemDevice& modem, SettingsRecord& record) {
  CurrentDevice device;
  UniqueHkey deviceKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, modem.keyPath, 0, KEY_QUERY_VALUE, deviceKey.put()) !=
      ERROR_SUCCESS) {
    return device;
  }
  device.detected = true;
  UniqueHkey firstInstanceKey;
  device.portNameRead = OpenFirstInstance(deviceKey.get(), KEY_READ, firstInstanceKey) &&
                        ReadSetting(firstInstanceKey.get(), kPortName, kPortName.savedBytes,
                                    record.portName) == ERROR_SUCCESS;
  return device;
}

// After a No: marks the previous installation's key with this version and
// the port the modem uses now, so that the next setup run installs without
// asking. Nothing is written without the modem. The key's own PortName is the
// user's setting: only a port name actually read from the device replaces it.
// An upgrade the user accepts writes nothing here: until its end the old key
// keeps its own version, so an upgrade cut short is offered again.
void RecordCurrentDevice(HKEY previousKey, SetupContext& context, const CurrentDevice& device) {
  if (!device.detected) return;
  NotLookedAt(WriteSetting(previousKey, kVersion, kVersion.savedBytes, kVersionText));
  if (device.portNameRead) WriteSavedSetting(previousKey, Setting::kPortName, context.settings);
}

// Starts the previous version's uninstaller and leaves it running on its own.
void StartPreviousUninstaller() {
  char commandLine[sizeof kPreviousUninstaller];
  CopyConstantText(commandLine, kPreviousUninstaller);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
  PROCESS_INFORMATION started = {};
  if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &started)) {
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
  }
}

void CreateBackupFolder(const SetupContext& context) {
  char backupFolder[MAX_PATH];
  if (JoinPath(backupFolder, context.windowsDirectory, kBackupFolder)) {
    CreateDirectoryA(backupFolder, nullptr);
  }
}

// The previous kit's setup folder, on the current directory's drive.
void EnterPreviousSetupFolder(const SetupContext& context) {
  char setupFolder[MAX_PATH];
  if (JoinBelowDriveRoot(setupFolder, context, kPreviousSetupFolder)) {
    SetCurrentDirectoryA(setupFolder);
  }
}

// Earlier versions wrote PortName with 10 bytes, this program's port
// assignment writes it with 20: a name that fits the 10 bytes saved is
// carried over either way.
LONG ReadPreviousPortName(HKEY previousKey, SettingsRecord& record) {
  LONG status = ReadSetting(previousKey, kPortName, kPortName.savedBytes, record.portName);
  if (status != ERROR_MORE_DATA) return status;
  char wide[kPortName.installedBytes + 1] = {};
  status = ReadSetting(previousKey, kPortName, kPortName.installedBytes, wide);
  if (status != ERROR_SUCCESS) return status;
  if (BoundedLength(wide, sizeof wide) >= kPortName.savedBytes) return ERROR_MORE_DATA;
  static_cast<void>(CopyText(record.portName, wide));  // shorter than the field: checked above
  return ERROR_SUCCESS;
}

// The settings as the previous installation holds them, each marked as found
// only when its read succeeded. With the modem detected, this version and the
// port the device uses stand for the old key's own, as a No would have
// recorded them there.
SettingsFound ReadPreviousSettings(HKEY previousKey, SetupContext& context,
                                   const CurrentDevice& device) {
  SettingsRecord& record = context.settings;
  SettingsFound read;
  if (device.detected) {
    CopyConstantText(record.version, kVersionText);
    read.mark(Setting::kVersion, true);
  } else {
    ReadSavedSetting(previousKey, Setting::kVersion, record, read);
  }
  for (Setting setting : kReadBetween) ReadSavedSetting(previousKey, setting, record, read);
  if (device.portNameRead) {
    read.mark(Setting::kPortName, true);
  } else {
    read.note(Setting::kPortName, ReadPreviousPortName(previousKey, record));
  }
  return read;
}

// A setting the service key does not hold at all is read from the vendor
// key, which the upgrade deletes as well: it is the user's all the same.
void ReadWhatTheServiceKeyLacks(HKEY serviceKey, SettingsRecord& record, SettingsFound& read) {
  UniqueHkey vendorKey;
  for (size_t i = 0; i < kSettingCount; ++i) {
    const Setting setting = static_cast<Setting>(i);
    if (read.has(setting) || RegQueryValueExA(serviceKey, EntryOf(setting).name, nullptr, nullptr,
                                              nullptr, nullptr) != ERROR_FILE_NOT_FOUND) {
      continue;
    }
    if (!vendorKey && RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_READ, vendorKey.put()) !=
                          ERROR_SUCCESS) {
      return;
    }
    if (setting == Setting::kPortName) {
      read.note(setting, ReadPreviousPortName(vendorKey.get(), record));
    } else {
      ReadSavedSetting(vendorKey.get(), setting, record, read);
    }
  }
}

// Writes every setting that was read; true when all of them were written.
bool WriteSavedSettings(HKEY tempKey, SettingsRecord& record, const SettingsFound& read) {
  bool allWritten = true;
  for (Setting setting : kSavedOrder) {
    if (read.has(setting) && WriteSavedSetting(tempKey, setting, record) != ERROR_SUCCESS) {
      allWritten = false;
    }
  }
  return allWritten;
}

// Moves the previous installation's settings into the temporary settings key,
// where the next setup run takes them over, and removes the old keys. The old
// keys go only once every setting they hold is safe in the temporary key, and
// the one the settings came from goes last: cut short between the two, the
// next run finds it and offers the upgrade again.
void SaveSettingsAndRemoveOldKeys(SetupContext& context, const CurrentDevice& device) {
  UniqueHkey previousKey;
  bool isServiceKey = false;
  bool reopened = OpenPreviousInstallationKey(previousKey, isServiceKey);
  SettingsFound read;
  if (reopened) read = ReadPreviousSettings(previousKey.get(), context, device);
  if (reopened && isServiceKey)
    ReadWhatTheServiceKeyLacks(previousKey.get(), context.settings, read);

  UniqueHkey tempKey;
  DWORD disposition = 0;
  bool saved = false;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTempSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, tempKey.put(), &disposition) == ERROR_SUCCESS) {
    saved = WriteSavedSettings(tempKey.get(), context.settings, read);
  } else {
    MessageBoxA(nullptr, kTempKeyFailed, kModemCaption, MB_OK);
  }
  tempKey.reset();
  previousKey.reset();

  // On Windows 95/98 RegDeleteKeyA takes a key's subkeys with it (NT refuses
  // a key that has any); the old keys go whole either way.
  if (reopened && read.allKnown && saved) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, isServiceKey ? kVendorKey : kServiceKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, isServiceKey ? kServiceKey : kVendorKey);
  }
}

void ShowArchiveFailed(const char* file) {
  char text[sizeof kArchiveFailedBefore + MAX_PATH + sizeof kArchiveFailedAfter];
  // Sized for any path, so every piece fits.
  static_cast<void>(CopyText(text, kArchiveFailedBefore) && AppendText(text, file) &&
                    AppendText(text, kArchiveFailedAfter));
  MessageBoxA(nullptr, text, kUpgradeCaption, MB_OK);
}

// The accepted upgrade, from the previous uninstaller to the reboot request.
UpgradeResult PrepareUpgrade(SetupContext& context, const CurrentDevice& device) {
  StartPreviousUninstaller();
  RefreshWindowsDirectory(context);
  CreateBackupFolder(context);
  EnterPreviousSetupFolder(context);
  // Nothing of the previous version is removed unless its archive is whole
  // and holds every file that is removed, as it is.
  KeptOldFiles kept;
  if (ArchivePreviousVersion(context) == Archive::kFailed ||
      KeepOldFiles(context, kept) == Archive::kFailed) {
    ShowArchiveFailed(context.notArchived);
    return UpgradeResult::kArchiveFailed;
  }
  MessageBoxA(nullptr, kArchiveNotice, kUpgradeCaption, MB_OK);
  DeleteKeptDrivers(context, kept);
  RemoveDriverLine();
  DeleteKeptInfCopies(context, kept);
  SaveSettingsAndRemoveOldKeys(context, device);

  MessageBoxA(nullptr, kRebootRequest, kModemCaption, MB_OK);
  return UpgradeResult::kPrepared;
}

}  // namespace

UpgradeResult UpgradePreviousInstallation(SetupContext& context) {
  UniqueHkey previousKey;
  bool isServiceKey = false;
  if (!OpenPreviousInstallationKey(previousKey, isServiceKey) ||
      (!isServiceKey && HoldsNoSettings(previousKey.get()))) {
    return UpgradeResult::kNoEarlierInstallation;
  }
  if (IsCurrentVersionInstalled(previousKey.get()) && !(isServiceKey && IsUpgradePending())) {
    return UpgradeResult::kThisVersionInstalled;
  }

  CurrentDevice device = ReadCurrentDevice(DetectModemHardware(), context.settings);
  // Neither answer may leave a machine that the package cannot install on.
  if (CheckPackageComplete() == Package::kIncomplete) return UpgradeResult::kPackageIncomplete;

  // A question that could not be shown (0) is no consent to remove anything.
  int answer = MessageBoxA(nullptr, kUpgradeQuestion, kUpgradeCaption, MB_YESNO);
  if (answer == IDNO || answer == 0) {
    RecordCurrentDevice(previousKey.get(), context, device);
    return UpgradeResult::kDeclined;
  }
  previousKey.reset();
  return PrepareUpgrade(context, device);
}

}  // namespace rq47set
