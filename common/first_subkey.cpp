#include "first_subkey.h"

#include <cstring>

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

bool OpenFirstInstance(HKEY deviceKey, REGSAM access, UniqueHkey& instanceKey) {
  char instanceName[kInstanceNameChars];
  return ReadFirstSubkeyName(deviceKey, instanceName, kInstanceNameChars) == ERROR_SUCCESS &&
         RegOpenKeyExA(deviceKey, instanceName, 0, access, instanceKey.put()) == ERROR_SUCCESS;
}
