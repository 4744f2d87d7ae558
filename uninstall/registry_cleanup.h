// Removal of the modem's keys from the device registry: the PCI device key
// with its software key, the MODEMWAVE keys with theirs, the wave media
// resource and the uninstall entry. The vendor key, the service key and the
// temporary settings key are only read, never deleted.
#ifndef ZUNINST_REGISTRY_CLEANUP_H
#define ZUNINST_REGISTRY_CLEANUP_H

namespace zuninst {

// Finds the device key from the "PNP ID" value (service key, else vendor key),
// completes the device key path and deletes the software key of the device's
// first instance. 1 when that key was deleted or the instance names none;
// 0 otherwise. Shows "Could not open either key" when neither key opens.
int RemovePciDeviceSoftwareKey();

// Deletes the device key that RemovePciDeviceSoftwareKey found, with all its
// instances; "Enum\PCI" itself is never touched. Always 0.
int RemovePciDeviceKey();

// Deletes the software key of the MODEMWAVE key's first instance and leaves
// that instance's name in the shared instance name. Always 1.
int RemoveModemWaveSoftwareKey(const char* modemWaveKey);

// Deletes the shared instance name below the MODEMWAVE key, then the key
// itself with whatever instances remain. Always 1.
int RemoveModemWaveKey(const char* modemWaveKey);

// 1 when the key was deleted, 0 otherwise.
int RemoveWaveMediaResource();
int RemoveUninstallEntry();

// Every step above, in the order they depend on one another; the steps'
// results are not looked at.
void RunRegistryCleanup();

}  // namespace zuninst

#endif  // ZUNINST_REGISTRY_CLEANUP_H
