#include "detection.h"

#include <windows.h>

#include <cstring>

#include "modem_names.h"
#include "setup_state.h"
#include "text_buffer.h"
#include "unique_hkey.h"

namespace rq47set {
namespace {

// The supported hardware ids, in the order they are tried.
constexpr const char* kSupportedHardwareIds[] = {
    "VEN_1B27&DEV_0905",
    "VEN_1C5E&DEV_4700",
    "VEN_1A3C&DEV_2210",
};
// The vendor number and the first three digits of the device number: the
// fourth digit tells apart revisions of the same modem.
constexpr size_t kComparedLength = 16;

bool NamesSupportedModem(const char* keyName) {
  for (const char* id : kSupportedHardwareIds) {
    if (std::strncmp(keyName, id, kComparedLength) == 0) return true;
  }
  return false;
}

// The name becomes the PNP ID value and part of the device key path; a name
// that does not fit whole in them is not taken, so nothing cut is ever written.
bool FitsDeviceInstanceId(const char* keyName) {
  return std::strlen(keyName) <= kLongestDeviceInstanceId;
}

}  // namespace

void DetectModemHardware() {
  UniqueHkey pci;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPciKeyPrefix, 0, KEY_READ, pci.put()) != ERROR_SUCCESS) {
    return;
  }
  DWORD subkeyCount = 0;
  if (RegQueryInfoKeyA(pci.get(), nullptr, nullptr, nullptr, &subkeyCount, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }

  // From the highest index down: of several supported modems the last listed wins.
  for (DWORD index = subkeyCount; index-- > 0;) {
    DWORD nameCapacity = sizeof g_setup.keyName;
    LONG status = RegEnumKeyExA(pci.get(), index, g_setup.keyName, &nameCapacity, nullptr, nullptr,
                                nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return;
    if (status != ERROR_SUCCESS) continue;
    g_setup.keyName[sizeof g_setup.keyName - 1] = '\0';

    if (NamesSupportedModem(g_setup.keyName) && FitsDeviceInstanceId(g_setup.keyName)) {
      CopyText(g_setup.deviceInstanceId, g_setup.keyName);
      return;
    }
  }
}

}  // namespace rq47set
