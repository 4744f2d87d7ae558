#include "upgrade.h"

#include <windows.h>

#include <cstring>

#include "archive.h"
#include "detection.h"
#include "driver_line.h"
#include "exit_codes.h"
#include "install_paths.h"
#include "modem_names.h"
#include "package_check.h"
#include "registry_values.h"
#include "settings.h"
#include "setup_state.h"
#include "text_buffer.h"
#include "unique_handle.h"
#include "unique_hkey.h"

namespace rq47set {
namespace {

constexpr int kUpgradeEndsRun = 10;

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
constexpr char kArchiveFailed[] =
    "The previous version of the RQ47 Modem could not be archived to the following\n"
    "directory: windir\\Zelvaran\\zelbak95\\.  Nothing of it has been removed.  Free some\n"
    "disk space, or close the programs that use its files, then run Setup again.";
constexpr char kTempKeyFailed[] = "Failed to create temp RQ31 Key";
constexpr char kRebootRequest[] =
    "Please reboot the computer to continue with the upgrade.  "
    "Upon reboot, the system will install the new software. ";

// The previous version's uninstaller, found by the platform's search for a bare name.
constexpr char kPreviousUninstaller[] = "UNINST.EXE";

// The previous version's drivers: installation placed them in the System
// directory; copies of them in the Windows directory are removed as well.
// Each is archived under its own name.
constexpr const char* kOldDriverNames[] = {"RQ47pci.vxd", "RQ47pci1.vxd", "zelvcd.vxd"};
// Windows' own copies of the previous version's INF files (below the Windows
// directory), and the names they are archived under.
struct OldInfCopy {
  const char* path;
  const char* archivedName;
};
constexpr OldInfCopy kOldInfCopies[] = {{"INF\\Other\\Zelvaran IncZQRTMODM.inf", kArchivedModemInf},
                                        {"INF\\Other\\ZelvaranSERWAVE.inf", kArchivedWaveInf}};

// The service key, where earlier installations kept their settings, else the
// vendor key. isServiceKey tells which of them opened.
LONG OpenPreviousInstallationKey(UniqueHkey& key, bool* isServiceKey = nullptr) {
  bool serviceKey =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS;
  if (isServiceKey != nullptr) *isServiceKey = serviceKey;
  if (serviceKey) return ERROR_SUCCESS;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_ALL_ACCESS, key.put());
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
  char installedVersion[kVersionBytes + 1] = {};
  return ReadFixedString(previousKey, "Version", installedVersion, kVersionBytes) ==
             ERROR_SUCCESS &&
         std::strcmp(installedVersion, g_setup.versionText) == 0;
}

// What the modem tells of itself: whether it was detected, and the port its
// first instance uses now, read into the settings record's PortName.
struct CurrentDevice {
  bool detected = false;
  bool portNameRead = false;
};

CurrentDevice ReadCurrentDevice() {
  CurrentDevice device;
  char deviceKeyPath[64];
  UniqueHkey deviceKey;
  if (!ComposePath(deviceKeyPath, kPciKeyPrefix, g_setup.deviceInstanceId) ||
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, deviceKeyPath, 0, KEY_QUERY_VALUE, deviceKey.put()) !=
          ERROR_SUCCESS) {
    return device;
  }
  device.detected = true;
  char firstInstanceName[40] = {};
  DWORD nameLength = sizeof firstInstanceName;
  UniqueHkey firstInstanceKey;
  device.portNameRead =
      RegEnumKeyExA(deviceKey.get(), 0, firstInstanceName, &nameLength, nullptr, nullptr, nullptr,
                    nullptr) == ERROR_SUCCESS &&
      RegOpenKeyExA(deviceKey.get(), firstInstanceName, 0, KEY_READ, firstInstanceKey.put()) ==
          ERROR_SUCCESS &&
      ReadFixedString(firstInstanceKey.get(), "PortName", g_setup.settings.portName,
                      kSavedPortNameBytes) == ERROR_SUCCESS;
  return device;
}

// After a No: marks the previous installation's key with this version and
// the port the modem uses now, so that the next setup run installs without
// asking. Nothing is written without the modem. The key's own PortName is the
// user's setting: only a port name actually read from the device replaces it.
// An upgrade the user accepts writes nothing here: until its end the old key
// keeps its own version, so an upgrade cut short is offered again.
void RecordCurrentDevice(HKEY previousKey, const CurrentDevice& device) {
  if (!device.detected) return;
  WriteFixedString(previousKey, "Version", g_setup.versionText, kVersionBytes);
  if (device.portNameRead) {
    WriteFixedString(previousKey, "PortName", g_setup.settings.portName, kSavedPortNameBytes);
  }
}

// Starts the previous version's uninstaller and leaves it running on its own.
void StartPreviousUninstaller() {
  char commandLine[sizeof kPreviousUninstaller];
  CopyText(commandLine, kPreviousUninstaller);
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

void CreateBackupFolder() {
  char backupFolder[256];
  if (ComposePath(backupFolder, g_setup.windowsDirectory, "\\Zelvaran\\zelbak95")) {
    CreateDirectoryA(backupFolder, nullptr);
  }
}

// The previous kit's setup folder, on the current directory's drive.
void EnterPreviousSetupFolder() {
  char setupFolder[256];
  if (CopyText(setupFolder, g_setup.driveRoot) && AppendText(setupFolder, "Progra~1\\") &&
      AppendText(setupFolder, "ZelSetup")) {
    SetCurrentDirectoryA(setupFolder);
  }
}

// directory\relativePath. A path that does not fit names no file of ours: it
// is passed over.
void DeleteBelow(const char* directory, const char* relativePath) {
  char filePath[256];
  if (CopyText(filePath, directory) && AppendText(filePath, "\\") &&
      AppendText(filePath, relativePath)) {
    DeleteFileA(filePath);
  }
}

// A file of the previous version is deleted only once the backup folder
// holds its copy: the user's way back to the old version.
void DeleteOldDrivers() {
  for (const char* driver : kOldDriverNames) {
    if (!IsArchived(driver)) continue;
    DeleteBelow(g_setup.systemDirectory, driver);
    DeleteBelow(g_setup.windowsDirectory, driver);
  }
}

void DeleteOldInfCopies() {
  for (const OldInfCopy& inf : kOldInfCopies) {
    if (IsArchived(inf.archivedName)) DeleteBelow(g_setup.windowsDirectory, inf.path);
  }
}

// The eight settings as the previous installation holds them, each marked as
// read only when its read succeeded, and whether every read said what the key
// holds (a value that is not there or cannot fit is left out; one the registry
// could not read may still be there).
struct SavedSettings {
  bool version = false;
  bool language = false;
  bool country = false;
  bool pnpId = false;
  bool micGain = false;
  bool spkrGain = false;
  bool dosBoxEnabled = false;
  bool portName = false;
  bool allKnown = true;
};

// Earlier versions wrote PortName with 10 bytes, this program's port
// assignment writes it with 20: a name that fits the 10 bytes saved is
// carried over either way.
LONG ReadPreviousPortName(HKEY previousKey) {
  LONG status =
      ReadFixedString(previousKey, "PortName", g_setup.settings.portName, kSavedPortNameBytes);
  if (status != ERROR_MORE_DATA) return status;
  char wide[kPortNameBytes + 1] = {};
  status = ReadFixedString(previousKey, "PortName", wide, kPortNameBytes);
  if (status != ERROR_SUCCESS) return status;
  if (BoundedLength(wide, sizeof wide) >= kSavedPortNameBytes) return ERROR_MORE_DATA;
  CopyText(g_setup.settings.portName, wide);
  return ERROR_SUCCESS;
}

// With the modem detected, this version and the port the device uses stand
// for the old key's own, as a No would have recorded them there.
SavedSettings ReadPreviousSettings(HKEY previousKey, const CurrentDevice& device) {
  SettingsRecord& fields = g_setup.settings;
  SavedSettings read;
  auto taken = [&read](LONG status) {
    if (!ReadSaysWhatIsStored(status)) read.allKnown = false;
    return status == ERROR_SUCCESS;
  };
  read.version = device.detected ||
                 taken(ReadFixedString(previousKey, "Version", g_setup.versionText, kVersionBytes));
  read.language = taken(ReadFixedString(previousKey, "Language", fields.language, kLanguageBytes));
  read.country = taken(ReadByteValue(previousKey, "Country", &fields.country));
  read.pnpId = taken(ReadFixedString(previousKey, "PNP ID", fields.pnpId, kSavedPnpIdBytes));
  read.micGain = taken(ReadByteValue(previousKey, "MicGain", &fields.micGain));
  read.spkrGain = taken(ReadByteValue(previousKey, "SpkrGain", &fields.spkrGain));
  read.dosBoxEnabled = taken(
      ReadFixedString(previousKey, "DOSboxEnabled", fields.dosBoxEnabled, kDosBoxEnabledBytes));
  read.portName = device.portNameRead || taken(ReadPreviousPortName(previousKey));
  return read;
}

// Writes every value that was read; true when all of them were written.
bool WriteSavedSettings(HKEY tempKey, const SavedSettings& read) {
  const SettingsRecord& fields = g_setup.settings;
  bool allWritten = true;
  auto save = [&allWritten](bool wasRead, auto write) {
    if (wasRead && write() != ERROR_SUCCESS) allWritten = false;
  };
  save(read.version,
       [&] { return WriteFixedString(tempKey, "Version", g_setup.versionText, kVersionBytes); });
  save(read.country, [&] { return WriteByteValue(tempKey, "Country", fields.country); });
  save(read.language,
       [&] { return WriteFixedString(tempKey, "Language", fields.language, kLanguageBytes); });
  save(read.pnpId,
       [&] { return WriteFixedString(tempKey, "PNP ID", fields.pnpId, kSavedPnpIdBytes); });
  save(read.micGain, [&] { return WriteByteValue(tempKey, "MicGain", fields.micGain); });
  save(read.spkrGain, [&] { return WriteByteValue(tempKey, "SpkrGain", fields.spkrGain); });
  save(read.dosBoxEnabled, [&] {
    return WriteFixedString(tempKey, "DOSboxEnabled", fields.dosBoxEnabled, kDosBoxEnabledBytes);
  });
  save(read.portName,
       [&] { return WriteFixedString(tempKey, "PortName", fields.portName, kSavedPortNameBytes); });
  return allWritten;
}

// Moves the previous installation's settings into the temporary settings key,
// where the next setup run takes them over, and removes the old keys. The old
// keys go only once every setting they hold is safe in the temporary key, and
// the one the settings came from goes last: cut short between the two, the
// next run finds it and offers the upgrade again.
void SaveSettingsAndRemoveOldKeys(const CurrentDevice& device) {
  UniqueHkey previousKey;
  bool isServiceKey = false;
  bool reopened = OpenPreviousInstallationKey(previousKey, &isServiceKey) == ERROR_SUCCESS;
  SavedSettings read;
  if (reopened) read = ReadPreviousSettings(previousKey.get(), device);

  UniqueHkey tempKey;
  DWORD disposition = 0;
  bool saved = false;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTempSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, tempKey.put(), &disposition) == ERROR_SUCCESS) {
    saved = WriteSavedSettings(tempKey.get(), read);
  } else {
    MessageBoxA(nullptr, kTempKeyFailed, kModemCaption, MB_OK);
  }
  tempKey.reset();
  previousKey.reset();

  if (reopened && read.allKnown && saved) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, isServiceKey ? kVendorKey : kServiceKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, isServiceKey ? kServiceKey : kVendorKey);
  }
}

}  // namespace

int UpgradePreviousInstallation() {
  UniqueHkey previousKey;
  bool isServiceKey = false;
  LONG openStatus = OpenPreviousInstallationKey(previousKey, &isServiceKey);
  if (openStatus != ERROR_SUCCESS) return openStatus;
  if (IsCurrentVersionInstalled(previousKey.get()) && !(isServiceKey && IsUpgradePending())) {
    return 0;
  }

  DetectModemHardware();
  CurrentDevice device = ReadCurrentDevice();
  // Neither answer may leave a machine that the package cannot install on.
  if (!CheckPackageComplete()) return kExitPackageIncomplete;

  // A question that could not be shown (0) is no consent to remove anything.
  int answer = MessageBoxA(nullptr, kUpgradeQuestion, kUpgradeCaption, MB_YESNO);
  if (answer == IDNO || answer == 0) {
    RecordCurrentDevice(previousKey.get(), device);
    return kUpgradeEndsRun;
  }
  previousKey.reset();

  StartPreviousUninstaller();
  RefreshWindowsDirectory();
  CreateBackupFolder();
  EnterPreviousSetupFolder();
  // Nothing of the previous version is removed unless its archive is whole.
  if (!ArchivePreviousVersion()) {
    MessageBoxA(nullptr, kArchiveFailed, kUpgradeCaption, MB_OK);
    return kExitArchiveFailed;
  }
  MessageBoxA(nullptr, kArchiveNotice, kUpgradeCaption, MB_OK);
  DeleteOldDrivers();
  RemoveDriverLine();
  DeleteOldInfCopies();
  SaveSettingsAndRemoveOldKeys(device);

  CopyText(g_setup.messageBuffer, kRebootRequest);
  MessageBoxA(nullptr, g_setup.messageBuffer, kModemCaption, MB_OK);
  return kUpgradeEndsRun;
}

}  // namespace rq47set
