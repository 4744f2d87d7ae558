// The modem's wave devices below "Enum\MODEMWAVE" and their software keys.
#include <windows.h>

#include <utility>

#include "first_subkey.h"
#include "registry_cleanup.h"
#include "registry_walk.h"
#include "unique_hkey.h"

namespace zuninst {
namespace {
// Capacity of a wave instance's "driver" value.
constexpr DWORD kDriverBytes = 50;
}  // namespace

void RemoveModemWaveSoftwareKey(UninstallContext& context, const char* modemWaveKey) {
  UniqueHkey waveKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, modemWaveKey, 0, KEY_READ, waveKey.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  // The name stays behind for the MODEMWAVE key steps.
  if (ReadFirstSubkeyName(waveKey.get(), context.instanceName, sizeof context.instanceName) !=
      ERROR_SUCCESS) {
    return;
  }
  DeleteSoftwareKeyOf(std::move(waveKey), context.instanceName, kDriverBytes);
}

void RemoveModemWaveKey(const UninstallContext& context, const char* modemWaveKey) {
  {
    UniqueHkey waveKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, modemWaveKey, 0, KEY_READ, waveKey.put()) !=
        ERROR_SUCCESS) {
      return;
    }
    // The name is that of the last wave key with an instance, not
    // necessarily this key's own; the deletion below takes whatever remains.
    RegDeleteKeyA(waveKey.get(), context.instanceName);
  }
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, modemWaveKey);
}

}  // namespace zuninst
