// The first subkey of a key, as the programs look at it: its name, and a
// device key's first instance.
#ifndef RQ47_COMMON_FIRST_SUBKEY_H
#define RQ47_COMMON_FIRST_SUBKEY_H

#include <windows.h>

#include <cstddef>

#include "unique_hkey.h"

// A device's first instance key is looked for by a name of at most this many
// characters with its terminator.
inline constexpr DWORD kInstanceNameChars = 40;

// Reads the name of the key's subkey at index 0 into `name`, asking for a
// name of at most `capacity` characters with its terminator. `name` is
// changed only on success, so a failed enumeration leaves what it held.
LONG ReadFirstSubkeyName(HKEY key, char* name, size_t nameSize, DWORD capacity);

template <size_t N>
LONG ReadFirstSubkeyName(HKEY key, char (&name)[N], DWORD capacity) {
  return ReadFirstSubkeyName(key, name, N, capacity);
}

// Opens the open device key's first instance (its subkey at index 0) with
// `access`; false, with instanceKey not holding a key, when there is none or
// it does not open.
bool OpenFirstInstance(HKEY deviceKey, REGSAM access, UniqueHkey& instanceKey);

#endif  // RQ47_COMMON_FIRST_SUBKEY_H
