#include "modem_settings.h"

#include "registry_values.h"

LONG WriteSetting(HKEY key, const SettingSpec& spec, DWORD byteCount, const char* field,
                  size_t fieldSize) {
  if (spec.type == REG_BINARY) return WriteByteValue(key, spec.name, static_cast<BYTE>(field[0]));
  return WriteFixedText(key, spec.name, spec.type, field, fieldSize, byteCount);
}

LONG ReadSetting(HKEY key, const SettingSpec& spec, DWORD capacity, char* field, size_t fieldSize) {
  if (spec.type == REG_BINARY) return ReadByteValue(key, spec.name, reinterpret_cast<BYTE*>(field));
  return ReadFixedText(key, spec.name, field, fieldSize, capacity);
}
