// The settings as an upgrade moves them: read from an earlier installation's
// key or the temporary settings key into the settings record, and written
// from it, with the counts the settings table gives for what an upgrade
// moves, keeping track of what each key held.
#ifndef RQ47SET_SAVED_SETTINGS_H
#define RQ47SET_SAVED_SETTINGS_H

#include <windows.h>

#include <cstddef>

#include "modem_settings.h"
#include "setup_context.h"

namespace rq47set {

// Whether the status of a settings read says what the key holds: the value
// was read, is not there, or is too long or of the wrong size for its field.
// Any other failure says nothing, and the value may well be there.
bool ReadSaysWhatIsStored(LONG status);

// Which settings the reads found, and whether every read said what the key holds.
struct SettingsFound {
  bool found[kSettingCount] = {};
  bool allKnown = true;

  bool has(Setting setting) const { return found[static_cast<size_t>(setting)]; }
  void mark(Setting setting, bool wasFound) { found[static_cast<size_t>(setting)] = wasFound; }
  // Takes note of how a read of the setting went; true when it was read.
  bool note(Setting setting, LONG status);
};

// Reads the setting into its field of the record; a value that is not there
// or cannot be read leaves the field as it was. True when it was read.
bool ReadSavedSetting(HKEY key, Setting setting, SettingsRecord& record, SettingsFound& found);

// Writes the setting from its field of the record.
LONG WriteSavedSetting(HKEY key, Setting setting, SettingsRecord& record);

}  // namespace rq47set

#endif  // RQ47SET_SAVED_SETTINGS_H
