#include "registry_cleanup.h"

#include <windows.h>

#include "uninstall_keys.h"

namespace zuninst {

int RemoveWaveMediaResource() {
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, kWaveMediaResourceKey) == ERROR_SUCCESS ? 1 : 0;
}

int RemoveUninstallEntry() {
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallEntry) == ERROR_SUCCESS ? 1 : 0;
}

void RunRegistryCleanup() {
  // The device key step reads the path that the software key step completes.
  RemovePciDeviceSoftwareKey();
  RemovePciDeviceKey();
  // The wave key steps reuse the instance name that the software key steps leave.
  for (const char* waveKey : kModemWaveKeys) RemoveModemWaveSoftwareKey(waveKey);
  for (const char* waveKey : kModemWaveKeys) RemoveModemWaveKey(waveKey);
  RemoveWaveMediaResource();
  RemoveUninstallEntry();
}

}  // namespace zuninst
