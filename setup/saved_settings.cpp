#include "saved_settings.h"

namespace rq47set {

bool ReadSaysWhatIsStored(LONG status) {
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA ||
         status == ERROR_INVALID_PARAMETER;
}

bool SettingsFound::note(Setting setting, LONG status) {
  if (!ReadSaysWhatIsStored(status)) allKnown = false;
  mark(setting, status == ERROR_SUCCESS);
  return status == ERROR_SUCCESS;
}

bool ReadSavedSetting(HKEY key, Setting setting, SettingsRecord& record, SettingsFound& found) {
  SettingField field = FieldOf(record, setting);
  const SettingEntry& entry = EntryOf(setting);
  return found.note(setting, ReadSetting(key, entry, entry.savedBytes, field.data, field.size));
}

LONG WriteSavedSetting(HKEY key, Setting setting, SettingsRecord& record) {
  SettingField field = FieldOf(record, setting);
  return WriteSetting(key, EntryOf(setting), EntryOf(setting).savedBytes, field.data, field.size);
}

}  // namespace rq47set
