// The uninstaller's buffers. The entry makes one context for the run and
// hands it to the registry steps, which pass their results on through it: the
// device key path from the first step to the second, the instance name from
// the MODEMWAVE software key steps to the MODEMWAVE key steps.
#ifndef ZUNINST_UNINSTALL_CONTEXT_H
#define ZUNINST_UNINSTALL_CONTEXT_H

#include <windows.h>

#include "modem_settings.h"

namespace zuninst {

// The "PNP ID" value is read with this capacity: with "Enum\PCI\" in front it
// still fits the device key path.
inline constexpr DWORD kPnpIdCapacity = EntryOf(Setting::kPnpId).vendorReadBytes;

struct UninstallContext {
  // "Enum\PCI\" followed by the device instance id once it is known.
  char deviceKeyPath[56];
  // The "PNP ID" value; the bytes behind it stay zero, so it is always terminated.
  char deviceInstanceId[64];
  // The first instance name of the last MODEMWAVE key that had one; the
  // MODEMWAVE key steps delete that name below every MODEMWAVE key.
  char instanceName[256];
};

static_assert(sizeof "Enum\\PCI\\" - 1 + kPnpIdCapacity < sizeof UninstallContext::deviceKeyPath,
              "the device key path holds the prefix and the longest device instance id");
static_assert(kPnpIdCapacity < sizeof UninstallContext::deviceInstanceId,
              "the device instance id stays terminated");

// Puts every buffer to its value at program start: all zero but the device
// key path, which starts as "Enum\PCI\".
void StartUninstallContext(UninstallContext& context);

}  // namespace zuninst

#endif  // ZUNINST_UNINSTALL_CONTEXT_H
