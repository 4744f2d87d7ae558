// Owner of an open registry key: closed with RegCloseKey when the owner goes.
#ifndef RQ47_COMMON_UNIQUE_HKEY_H
#define RQ47_COMMON_UNIQUE_HKEY_H

#include <windows.h>

#include "unique_resource.h"

struct RegistryKeyTraits {
  using Type = HKEY;
  static bool IsHeld(HKEY key) { return key != nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

using UniqueHkey = UniqueResource<RegistryKeyTraits>;

#endif  // RQ47_COMMON_UNIQUE_HKEY_H
