// The modem's wave devices below "Enum\MODEMWAVE" and their software keys.
#include <windows.h>

#include "registry_cleanup.h"
#include "registry_values.h"
#include "registry_walk.h"
#include "uninstall_keys.h"
#include "uninstall_state.h"
#include "unique_hkey.h"

namespace zuninst {
namespace {
// Capacity of a wave instance's "driver" value.
constexpr DWORD kDriverBytes = 50;
}  // namespace

int RemoveModemWaveSoftwareKey(const char* modemWaveKey) {
  UniqueHkey waveKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, modemWaveKey, 0, KEY_READ, waveKey.put()) !=
      ERROR_SUCCESS) {
    return 1;
  }
  // The name stays behind for the MODEMWAVE key steps.
  if (ReadFirstSubkeyName(waveKey.get(), g_uninstall.instanceName,
                          sizeof g_uninstall.instanceName) != ERROR_SUCCESS) {
    return 1;
  }
  UniqueHkey instanceKey;
  if (RegOpenKeyExA(waveKey.get(), g_uninstall.instanceName, 0, KEY_READ, instanceKey.put()) !=
      ERROR_SUCCESS) {
    return 1;
  }
  char driver[kDriverBytes + 1] = "";
  if (ReadFixedString(instanceKey.get(), "driver", driver, kDriverBytes) != ERROR_SUCCESS) {
    return 1;
  }
  instanceKey.reset();
  waveKey.reset();

  UniqueHkey classRoot;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassRoot, 0, KEY_READ, classRoot.put()) !=
      ERROR_SUCCESS) {
    return 1;
  }
  // An empty name would delete the class root itself, every device's
  // software key with it.
  if (!NamesNoSubkey(driver)) RegDeleteKeyA(classRoot.get(), driver);
  return 1;
}

int RemoveModemWaveKey(const char* modemWaveKey) {
  {
    UniqueHkey waveKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, modemWaveKey, 0, KEY_READ, waveKey.put()) !=
        ERROR_SUCCESS) {
      return 1;
    }
    // The name is that of the last wave key with an instance, not
    // necessarily this key's own; the deletion below takes whatever remains.
    RegDeleteKeyA(waveKey.get(), g_uninstall.instanceName);
  }
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, modemWaveKey);
  return 1;
}

}  // namespace zuninst
