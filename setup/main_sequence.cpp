#include "main_sequence.h"

#include <windows.h>

#include <utility>

#include "child_process.h"
#include "detection.h"
#include "file_placement.h"
#include "install_paths.h"
#include "modem_names.h"
#include "modem_settings.h"
#include "package_check.h"
#include "package_files.h"
#include "ports.h"
#include "requirements.h"
#include "settings.h"
#include "setup_context.h"
#include "setup_end.h"
#include "text_buffer.h"
#include "unique_hkey.h"
#include "upgrade.h"

namespace rq47set {
namespace {

// Lines separated by a carriage return alone, as the message has always been shown.
constexpr char kHardwareNotFound[] =
    "The Modem Hardware is either not physically installed\r"
    "in your PC, or auto-detection has not detected it. Make sure\r"
    "the Modem Hardware is physically installed, then, either re-boot\r"
    "your machine, or go to the Start Menu, select Settings, and open\r"
    "the Control Panel. Open the Device Manager and click on Refresh.";
constexpr char kVendorKeyFailed[] = "Failed to create VENDOR_KEY";
constexpr char kRegistryKeysFailed[] = "Failed to set the modem's registry keys.";
constexpr char kInstalled[] =
    "You have successfully installed the RQ47 Modem.\r\r"
    "Please see the Readme.doc and Revhist.doc files for\r"
    "new features, bug fixes, and troubleshooting guide.\r\r"
    "The Modem is now ready for use.";

void ShowMessage(const char* text) { MessageBoxA(nullptr, text, kModemCaption, MB_OK); }

// regedit /si "<program folder>\rq47.reg"
bool FormatImportCommand(char (&command)[MAX_PATH + 24], const char* programFolder) {
  command[0] = '\0';
  return AppendText(command, "regedit /si \"") && AppendText(command, programFolder) &&
         AppendText(command, "\\") && AppendText(command, kRegistryFile) &&
         AppendText(command, "\"");
}

// The device key opens only when the modem is present.
bool IsModemPresent(const ModemDevice& device) {
  UniqueHkey deviceKey;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, device.keyPath, 0, KEY_READ, deviceKey.put()) ==
         ERROR_SUCCESS;
}

// Imports the package's registry file with regedit, the last step of an installation.
SetupEnd ImportRegistryFile() {
  char programFolder[260] = "";
  ProgramFolderPath found = GetProgramFolderPath(programFolder, sizeof programFolder);
  if (found != ProgramFolderPath::kFound) {
    ShowMessage(kRegistryKeysFailed);
    return found;
  }

  char command[MAX_PATH + 24];
  FormatImportCommand(command, programFolder);  // a 259-character folder fits
  ChildRun import = RunChildProcess(command, INFINITE);
  if (import != ChildRun::kEnded) {
    ShowMessage(kRegistryKeysFailed);
    return import;
  }

  ShowMessage(kInstalled);
  return SetupResult::kFinished;
}

SetupEnd RunSequence(SetupContext& context) {
  InitInstallPaths(context);
  switch (UpgradePreviousInstallation(context)) {
    case UpgradeResult::kNoEarlierInstallation:
    case UpgradeResult::kThisVersionInstalled: break;
    case UpgradeResult::kDeclined:
    case UpgradeResult::kPrepared: return SetupResult::kFinished;
    case UpgradeResult::kPackageIncomplete: return SetupResult::kPackageIncomplete;
    case UpgradeResult::kArchiveFailed: return SetupResult::kArchiveFailed;
  }

  context.device = DetectModemHardware();
  if (!IsModemPresent(context.device)) {
    ShowMessage(kHardwareNotFound);
    return SetupResult::kFinished;
  }
  if (CheckPackageComplete() == Package::kIncomplete) return SetupResult::kPackageIncomplete;

  UniqueHkey vendorKey;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, vendorKey.put(), &disposition) != ERROR_SUCCESS) {
    ShowMessage(kVendorKeyFailed);
    return SetupResult::kFinished;
  }
  const SettingEntry& version = EntryOf(Setting::kVersion);
  NotLookedAt(WriteSetting(vendorKey.get(), version, version.installedBytes, kVersionText));

  if (CheckSystemRequirements() == Requirements::kNotMet) return SetupResult::kRequirementsNotMet;

  ApplyModemSettings(context, std::move(vendorKey));
  // Without its files the modem is not ready: no success is shown. What is
  // done stays, and the next run, a reinstallation, places them.
  if (PlaceModemFiles(context) == Placement::kNotPlaced) return SetupResult::kFilesNotPlaced;
  AssignPortName(context);
  FillMissingPortNames(context);
  return ImportRegistryFile();
}

}  // namespace

int RunSetup() {
  SetupContext context;
  StartSetupContext(context);
  return RunSequence(context).exitCode();
}

}  // namespace rq47set
