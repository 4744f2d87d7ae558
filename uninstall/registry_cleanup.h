// Removal of the modem's keys from the device registry: the PCI device key
// with its software key, the MODEMWAVE keys with theirs, the wave media
// resource and the uninstall entry. The vendor key, the service key and the
// temporary settings key are only read, never deleted.
//
// On Windows 95/98 RegDeleteKeyA deletes a key with all its subkeys (NT
// refuses a key that has any): every key here goes whole by one call, its
// instances and their values with it.
#ifndef ZUNINST_REGISTRY_CLEANUP_H
#define ZUNINST_REGISTRY_CLEANUP_H

#include "uninstall_context.h"

namespace zuninst {

// Finds the device key from the "PNP ID" value (service key, else vendor key),
// completes the device key path and deletes the software key of the device's
// first instance. Shows "Could not open either key" when neither key opens.
void RemovePciDeviceSoftwareKey(UninstallContext& context);

// Deletes the device key that RemovePciDeviceSoftwareKey found, with all its
// instances; "Enum\PCI" itself is never touched.
void RemovePciDeviceKey(const UninstallContext& context);

// Deletes the software key of the MODEMWAVE key's first instance and leaves
// that instance's name in the context's instance name.
void RemoveModemWaveSoftwareKey(UninstallContext& context, const char* modemWaveKey);

// Deletes the instance name below the MODEMWAVE key, then the key itself with
// whatever instances remain.
void RemoveModemWaveKey(const UninstallContext& context, const char* modemWaveKey);

void RemoveWaveMediaResource();
void RemoveUninstallEntry();

// Every step above, in the order they depend on one another.
void RunRegistryCleanup(UninstallContext& context);

}  // namespace zuninst

#endif  // ZUNINST_REGISTRY_CLEANUP_H
