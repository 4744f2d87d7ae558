#include "uninstall_sequence.h"

#include <windows.h>

#include "driver_line.h"
#include "file_removal.h"
#include "modem_names.h"
#include "registry_cleanup.h"
#include "uninstall_context.h"

namespace zuninst {
namespace {

constexpr char kConfirmation[] =
    "If you want to remove the Zelvaran RQ47 Modem from your system, Click Yes.  "
    "If you are intending to Upgrade the RQ47 Modem with new software drivers, "
    "Click No and simply run Setup.exe from within the new installation kit.";
// The closing text ends with a blank.
constexpr char kFinished[] =
    "Software uninstall is finished.  "
    "To complete uninstallation, you must remove the hardware from the computer. ";

constexpr int kExitDeclined = 0;

}  // namespace

int RunUninstall() {
  UninstallContext context;
  StartUninstallContext(context);

  // Only a Yes removes anything: a box that could not be shown is no consent.
  int answer = MessageBoxA(nullptr, kConfirmation, kModemCaption, MB_YESNO | MB_DEFBUTTON2);
  if (answer != IDYES) return kExitDeclined;

  // No step's result stops the ones after it.
  RunRegistryCleanup(context);
  RemoveDriverFiles();
  RemoveControlPanelApplet();
  RemoveDriverLine();

  // A finished uninstall ends with the closing box's answer, IDOK also when
  // the box could not be shown: 0 would tell that the user declined.
  int closed = MessageBoxA(nullptr, kFinished, kModemCaption, MB_OK);
  return closed != 0 ? closed : IDOK;
}

}  // namespace zuninst
