#include "main_sequence.h"

#include <windows.h>

#include <utility>

#include "child_process.h"
#include "detection.h"
#include "file_placement.h"
#include "install_paths.h"
#include "modem_names.h"
#include "package_check.h"
#include "package_files.h"
#include "ports.h"
#include "registry_values.h"
#include "requirements.h"
#include "settings.h"
#include "setup_state.h"
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

constexpr int kUpgradeEndsRun = 10;

void ShowMessage(const char* text) { MessageBoxA(nullptr, text, kModemCaption, MB_OK); }

// Shows the text left in the message buffer.
void ShowMessageBuffer() { ShowMessage(g_setup.messageBuffer); }

// regedit /si "<program folder>\rq47.reg"
bool FormatImportCommand(char (&command)[MAX_PATH + 24], const char* programFolder) {
  command[0] = '\0';
  return AppendText(command, "regedit /si \"") && AppendText(command, programFolder) &&
         AppendText(command, "\\") && AppendText(command, kRegistryFile) &&
         AppendText(command, "\"");
}

}  // namespace

int RunSetup() {
  ResetSetupState();
  CopyText(g_setup.versionText, kVersionText);
  CopyText(g_setup.deviceInstanceId, kNoDeviceInstanceId);

  InitInstallPaths();

  int upgrade = UpgradePreviousInstallation();
  if (upgrade == kUpgradeEndsRun) return 0;
  if (upgrade == kExitPackageIncomplete || upgrade == kExitArchiveFailed) return upgrade;

  DetectModemHardware();

  // The device key opens only when the modem is present.
  if (!AppendText(g_setup.deviceKeyPath, g_setup.deviceInstanceId)) {
    ShowMessage(kHardwareNotFound);
    return 0;
  }
  {
    UniqueHkey deviceKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_setup.deviceKeyPath, 0, KEY_READ, deviceKey.put()) !=
        ERROR_SUCCESS) {
      ShowMessage(kHardwareNotFound);
      return 0;
    }
  }
  if (!CheckPackageComplete()) return kExitPackageIncomplete;

  UniqueHkey vendorKey;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, vendorKey.put(), &disposition) != ERROR_SUCCESS) {
    ShowMessage(kVendorKeyFailed);
    return 0;
  }
  WriteFixedString(vendorKey.get(), "Version", g_setup.versionText, kVersionBytes);

  if (CheckSystemRequirements() != 0) return kExitRequirementsNotMet;

  ApplyModemSettings(std::move(vendorKey));
  PlaceModemFiles();
  AssignPortName();
  FillMissingPortNames();

  CopyText(g_setup.messageBuffer, kRegistryKeysFailed);
  char programFolder[260] = "";
  int pathResult = GetProgramFolderPath(programFolder, sizeof programFolder);
  if (pathResult != 0) {
    ShowMessageBuffer();
    return pathResult;
  }

  char command[MAX_PATH + 24];
  FormatImportCommand(command, programFolder);  // a 259-character folder fits
  int runResult = RunChildProcess(command, INFINITE);
  if (runResult != 0) {
    ShowMessageBuffer();
    return runResult;
  }

  CopyText(g_setup.messageBuffer, kInstalled);
  ShowMessageBuffer();
  return 0;
}

}  // namespace rq47set
