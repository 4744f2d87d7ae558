// A walk over the subkeys of a key below HKEY_LOCAL_MACHINE, as the
// detection and the port assignment make it.
#ifndef RQ47SET_SUBKEY_WALK_H
#define RQ47SET_SUBKEY_WALK_H

#include <windows.h>

#include <cstddef>

#include "unique_hkey.h"

namespace rq47set {

// Enumerates the subkeys of keyPath by index from the last down to the first,
// each name into `name`, and calls visit(key, name) for each until it returns
// true. A name that cannot be enumerated is passed over; the walk ends early
// when the platform says no subkeys are left. A key that does not open, or
// whose subkeys cannot be counted, is not walked.
template <size_t N, typename Visit>
void WalkSubkeysFromLast(const char* keyPath, char (&name)[N], Visit visit) {
  UniqueHkey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  DWORD subkeyCount = 0;
  if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeyCount, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = subkeyCount; index-- > 0;) {
    DWORD capacity = N;
    LONG status =
        RegEnumKeyExA(key.get(), index, name, &capacity, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return;
    if (status != ERROR_SUCCESS) continue;
    name[N - 1] = '\0';
    if (visit(key.get(), name)) return;
  }
}

}  // namespace rq47set

#endif  // RQ47SET_SUBKEY_WALK_H
