#include "registry_walk.h"

#include <cstring>

#include "registry_values.h"
#include "uninstall_keys.h"

namespace zuninst {

bool NamesNoSubkey(const char* name) { return name[std::strspn(name, "\\")] == '\0'; }

bool NamesSoftwareKey(const char* driver) {
  // A name begins wherever a character other than a separator follows a
  // separator or the start.
  int levels = 0;
  char previous = '\\';
  for (const char* at = driver; *at != '\0'; previous = *at++) {
    if (previous == '\\' && *at != '\\') ++levels;
  }
  return levels >= 2;
}

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
  // An instance without a software key: nothing to delete. Deleting an empty
  // name would take the class root with every device's software key, and a
  // class's name every software key of that class.
  if (NamesSoftwareKey(driver)) RegDeleteKeyA(classRoot.get(), driver);
}

}  // namespace zuninst
