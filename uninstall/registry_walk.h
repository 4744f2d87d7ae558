// Small registry helpers of the cleanup steps.
#ifndef ZUNINST_REGISTRY_WALK_H
#define ZUNINST_REGISTRY_WALK_H

#include <windows.h>

#include <cstddef>

namespace zuninst {

// Reads the name of the key's subkey at index 0 into `name`, asking for a
// name of at most `capacity` characters with its terminator. `name` is
// changed only on success, so a failed enumeration leaves what it held.
LONG ReadFirstSubkeyName(HKEY key, char* name, size_t nameSize, DWORD capacity);

template <size_t N>
LONG ReadFirstSubkeyName(HKEY key, char (&name)[N], DWORD capacity) {
  return ReadFirstSubkeyName(key, name, N, capacity);
}

// True when a key name read from the registry names no key below the one it
// is taken relative to: empty, or nothing but backslashes. Deleting such a
// name would delete the parent key itself.
bool NamesNoSubkey(const char* name);

}  // namespace zuninst

#endif  // ZUNINST_REGISTRY_WALK_H
