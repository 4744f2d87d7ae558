// The PCI device key of the modem and the software key of its first instance.
#include <windows.h>

#include <cstring>
#include <utility>

#include "first_subkey.h"
#include "modem_names.h"
#include "modem_settings.h"
#include "registry_cleanup.h"
#include "registry_walk.h"
#include "text_buffer.h"
#include "unique_hkey.h"

namespace zuninst {
namespace {

constexpr char kNeitherKeyOpens[] = "Could not open either key";
// Capacity of the first instance's "driver" value.
constexpr DWORD kDriverBytes = 40;

// Reads "PNP ID" from the service key, or the vendor key when the service key
// does not open. Both are opened before either is looked at; the service key
// wins whenever it opens, even without a "PNP ID" value. False when the value
// could not be read.
bool ReadDeviceInstanceId(UninstallContext& context) {
  UniqueHkey serviceKey;
  UniqueHkey vendorKey;
  LONG serviceOpened =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_QUERY_VALUE, serviceKey.put());
  LONG vendorOpened =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_QUERY_VALUE, vendorKey.put());
  if (serviceOpened != ERROR_SUCCESS && vendorOpened != ERROR_SUCCESS) {
    MessageBoxA(nullptr, kNeitherKeyOpens, kModemCaption, MB_OK);
    return false;
  }
  UniqueHkey settingsKey;
  if (serviceOpened == ERROR_SUCCESS) {
    settingsKey = std::move(serviceKey);
    vendorKey.reset();
  } else {
    settingsKey = std::move(vendorKey);
  }
  return ReadSetting(settingsKey.get(), EntryOf(Setting::kPnpId), kPnpIdCapacity,
                     context.deviceInstanceId) == ERROR_SUCCESS;
}

bool DeviceKeyPathIsBare(const UninstallContext& context) {
  return std::strcmp(context.deviceKeyPath, kPciKeyPrefix) == 0;
}

}  // namespace

void RemovePciDeviceSoftwareKey(UninstallContext& context) {
  if (!ReadDeviceInstanceId(context)) return;

  // An id that names no key below "Enum\PCI" (empty, or only separators)
  // leaves the path bare, so the device key step deletes nothing.
  if (NamesNoSubkey(context.deviceInstanceId)) return;
  if (!AppendText(context.deviceKeyPath, context.deviceInstanceId)) return;

  UniqueHkey deviceKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, context.deviceKeyPath, 0, KEY_READ, deviceKey.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  // Only the first instance's software key is deleted; the device key step
  // takes every instance with the device key.
  char instanceName[kInstanceNameChars] = "";
  if (ReadFirstSubkeyName(deviceKey.get(), instanceName, kInstanceNameChars) != ERROR_SUCCESS) {
    return;
  }
  DeleteSoftwareKeyOf(std::move(deviceKey), instanceName, kDriverBytes);
}

void RemovePciDeviceKey(const UninstallContext& context) {
  if (!DeviceKeyPathIsBare(context)) RegDeleteKeyA(HKEY_LOCAL_MACHINE, context.deviceKeyPath);
}

}  // namespace zuninst
