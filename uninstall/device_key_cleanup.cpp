// The PCI device key of the modem and the software key of its first instance.
#include <windows.h>

#include <cstring>
#include <utility>

#include "modem_names.h"
#include "registry_cleanup.h"
#include "registry_values.h"
#include "registry_walk.h"
#include "text_buffer.h"
#include "uninstall_keys.h"
#include "uninstall_state.h"
#include "unique_hkey.h"

namespace zuninst {
namespace {

constexpr char kNeitherKeyOpens[] = "Could not open either key";
// Capacities of the first instance's name (with its terminator) and of its "driver" value.
constexpr DWORD kInstanceNameChars = 40;
constexpr DWORD kDriverBytes = 40;

bool DeviceKeyPathIsBare() { return std::strcmp(g_uninstall.deviceKeyPath, kPciKeyPrefix) == 0; }

}  // namespace

int RemovePciDeviceSoftwareKey() {
  // Both keys are opened before either is looked at; the service key wins
  // whenever it opens, even without a "PNP ID" value.
  UniqueHkey serviceKey;
  UniqueHkey vendorKey;
  LONG serviceOpened =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_QUERY_VALUE, serviceKey.put());
  LONG vendorOpened =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_QUERY_VALUE, vendorKey.put());
  if (serviceOpened != ERROR_SUCCESS && vendorOpened != ERROR_SUCCESS) {
    MessageBoxA(nullptr, kNeitherKeyOpens, kModemCaption, MB_OK);
    return 0;
  }
  UniqueHkey settingsKey;
  if (serviceOpened == ERROR_SUCCESS) {
    settingsKey = std::move(serviceKey);
    vendorKey.reset();
  } else {
    settingsKey = std::move(vendorKey);
  }

  LONG read =
      ReadFixedString(settingsKey.get(), "PNP ID", g_uninstall.deviceInstanceId, kPnpIdBytes);
  settingsKey.reset();
  if (read != ERROR_SUCCESS) return 0;

  // An id that names no key below "Enum\PCI" (empty, or only separators)
  // leaves the path bare, so the device key step deletes nothing.
  if (NamesNoSubkey(g_uninstall.deviceInstanceId)) return 0;
  if (!AppendText(g_uninstall.deviceKeyPath, g_uninstall.deviceInstanceId)) return 0;

  UniqueHkey deviceKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_uninstall.deviceKeyPath, 0, KEY_READ, deviceKey.put()) !=
      ERROR_SUCCESS) {
    return 0;
  }
  char instanceName[kInstanceNameChars] = "";
  if (ReadFirstSubkeyName(deviceKey.get(), instanceName, kInstanceNameChars) != ERROR_SUCCESS) {
    return 0;
  }
  UniqueHkey instanceKey;
  if (RegOpenKeyExA(deviceKey.get(), instanceName, 0, KEY_READ, instanceKey.put()) !=
      ERROR_SUCCESS) {
    return 0;
  }
  char driver[kDriverBytes + 1] = "";
  if (ReadFixedString(instanceKey.get(), "driver", driver, kDriverBytes) != ERROR_SUCCESS) {
    return 0;
  }
  instanceKey.reset();
  deviceKey.reset();

  UniqueHkey classRoot;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassRoot, 0, KEY_READ, classRoot.put()) !=
      ERROR_SUCCESS) {
    return 0;
  }
  // An instance without a software key: nothing to delete, and deleting the
  // empty name would take the class root with every device's software key.
  if (NamesNoSubkey(driver)) return 1;
  return RegDeleteKeyA(classRoot.get(), driver) == ERROR_SUCCESS ? 1 : 0;
}

int RemovePciDeviceKey() {
  if (!DeviceKeyPathIsBare()) RegDeleteKeyA(HKEY_LOCAL_MACHINE, g_uninstall.deviceKeyPath);
  return 0;
}

}  // namespace zuninst
