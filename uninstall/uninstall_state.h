// The uninstaller's process-wide buffers. The registry steps hand their
// results on through these: the device key path from the first step to the
// second, the instance name from the MODEMWAVE software key steps to the
// MODEMWAVE key steps.
#ifndef ZUNINST_UNINSTALL_STATE_H
#define ZUNINST_UNINSTALL_STATE_H

#include <windows.h>

namespace zuninst {

// Byte limit of the "PNP ID" value: with "Enum\PCI\" in front it still fits
// the device key path.
inline constexpr DWORD kPnpIdBytes = 42;

struct UninstallState {
  // "Enum\PCI\" followed by the device instance id once it is known.
  char deviceKeyPath[56];
  // The "PNP ID" value; the bytes behind it stay zero, so it is always terminated.
  char deviceInstanceId[64];
  // The first instance name of the last MODEMWAVE key that had one; the
  // MODEMWAVE key steps delete that name below every MODEMWAVE key.
  char instanceName[256];
};

extern UninstallState g_uninstall;

// Puts every buffer back to its program-start value: all zero but the device
// key path, which starts as "Enum\PCI\".
void ResetUninstallState();

}  // namespace zuninst

#endif  // ZUNINST_UNINSTALL_STATE_H
