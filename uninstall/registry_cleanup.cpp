#include "registry_cleanup.h"

#include <windows.h>

#include "uninstall_keys.h"

namespace zuninst {

void RemoveWaveMediaResource() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kWaveMediaResourceKey); }

void RemoveUninstallEntry() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallEntry); }

void RunRegistryCleanup(UninstallContext& context) {
  // The device key step reads the path that the software key step completes.
  RemovePciDeviceSoftwareKey(context);
  RemovePciDeviceKey(context);
  // The wave key steps reuse the instance name that the software key steps leave.
  for (const char* waveKey : kModemWaveKeys) RemoveModemWaveSoftwareKey(context, waveKey);
  for (const char* waveKey : kModemWaveKeys) RemoveModemWaveKey(context, waveKey);
  RemoveWaveMediaResource();
  RemoveUninstallEntry();
}

}  // namespace zuninst
