#include "modem_settings.h"

#include "registry_values.h"

LONG WriteSetting(HKEY key, const SettingEntry& entry, DWORD byteCount, const char* field,
                  size_t fieldSize) {
  if (entry.type == REG_BINARY) return WriteByteValue(key, entry.name, static_cast<BYTE>(field[0]));
  return WriteFixedText(key, entry.name, entry.type, field, fieldSize, byteCount);
}

LONG ReadSetting(HKEY key, const SettingEntry& entry, DWORD capacity, char* field,
                 size_t fieldSize) {
  if (entry.type == REG_BINARY)
    return ReadByteValue(key, entry.name, reinterpret_cast<BYTE*>(field));
  return ReadFixedText(key, entry.name, field, fieldSize, capacity);
}
