#include "registry_walk.h"

#include <cstring>

#include "registry_values.h"
#include "uninstall_keys.h"

namespace zuninst {
namespace {
// A key name on this platform has at most 255 characters.
constexpr DWORD kMaxKeyNameChars = 256;
}  // namespace

LONG ReadFirstSubkeyName(HKEY key, char* name, size_t nameSize, DWORD capacity) {
  if (capacity == 0 || capacity > kMaxKeyNameChars || nameSize < capacity) {
    return ERROR_INVALID_PARAMETER;
  }
  // What a too-small buffer receives is not promised, so the name is read
  // aside and copied only when it arrived whole.
  char scratch[kMaxKeyNameChars] = {};
  DWORD length = capacity;
  LONG status = RegEnumKeyExA(key, 0, scratch, &length, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  if (length >= capacity) return ERROR_MORE_DATA;
  std::memcpy(name, scratch, length);
  name[length] = '\0';
  return ERROR_SUCCESS;
}

bool NamesNoSubkey(const char* name) { return name[std::strspn(name, "\\")] == '\0'; }

void DeleteSoftwareKeyOf(UniqueHkey device, const char* instanceName, DWORD driverCapacity) {
  UniqueHkey instanceKey;
  if (RegOpenKeyExA(device.get(), instanceName, 0, KEY_READ, instanceKey.put()) != ERROR_SUCCESS) {
    return;
  }
  char driver[kLongestDriverValue + 1] = "";
  if (driverCapacity > kLongestDriverValue ||
      ReadFixedText(instanceKey.get(), "driver", driver, sizeof driver, driverCapacity) !=
          ERROR_SUCCESS) {
    return;
  }
  instanceKey.reset();
  device.reset();

  // The parent's access is not checked when a subkey is deleted.
  UniqueHkey classRoot;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassRoot, 0, KEY_READ, classRoot.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  // An instance without a software key: nothing to delete, and deleting the
  // empty name would take the class root with every device's software key.
  if (!NamesNoSubkey(driver)) RegDeleteKeyA(classRoot.get(), driver);
}

}  // namespace zuninst
