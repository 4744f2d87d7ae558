// Small registry helpers of the cleanup steps.
#ifndef ZUNINST_REGISTRY_WALK_H
#define ZUNINST_REGISTRY_WALK_H

#include <windows.h>

#include <cstddef>

#include "unique_hkey.h"

namespace zuninst {

// True when a key name read from the registry names no key below the one it
// is taken relative to: empty, or nothing but backslashes. Deleting such a
// name would delete the parent key itself (Windows 95/98's RegDeleteKeyA
// deletes the key the handle names when the subkey name is empty).
bool NamesNoSubkey(const char* name);

// True when a "driver" value names one device's software key: a class and a
// key below it ("MEDIA\0008"). A name of one level names a whole class
// ("MEDIA"), every device's software key of that class with it.
bool NamesSoftwareKey(const char* driver);

// The longest "driver" value a step reads.
inline constexpr DWORD kLongestDriverValue = 50;

// Deletes the software key that the "driver" value of the instance (a subkey
// of `device`, a device or MODEMWAVE key) names below the class root; the
// value is read with `driverCapacity`. The instance and the device key are
// closed before the class root is opened. An instance that does not open,
// has no such value or one that names no software key deletes nothing.
void DeleteSoftwareKeyOf(UniqueHkey device, const char* instanceName, DWORD driverCapacity);

}  // namespace zuninst

#endif  // ZUNINST_REGISTRY_WALK_H
