// The setup program's buffers. The entry makes one context for the run and
// hands it to the steps, which pass their results on through it; every buffer
// has one meaning for the whole run.
//
// Text fields that receive registry values have one byte more than the
// value's read capacity, so a value that fills the capacity without a
// terminator still ends in one; the capacities and the counts written stay
// those of the settings table.
#ifndef RQ47SET_SETUP_CONTEXT_H
#define RQ47SET_SETUP_CONTEXT_H

#include <windows.h>

#include <cstddef>

#include "modem_device.h"
#include "modem_settings.h"
#include "version_text.h"

namespace rq47set {

// This version as the registry records it.
inline constexpr char kVersionText[] = RQ47_VERSION_TEXT;

// Room for a setting read with its largest capacity, and a terminator.
constexpr size_t TextFieldSize(Setting setting) {
  const SettingEntry& entry = EntryOf(setting);
  DWORD widest = entry.installedBytes > entry.savedBytes ? entry.installedBytes : entry.savedBytes;
  return widest + 1;
}

// The settings as they travel between an earlier installation's key, the
// temporary settings key and the vendor key; a one-byte value in its own byte.
struct SettingsRecord {
  char version[TextFieldSize(Setting::kVersion)];
  char language[TextFieldSize(Setting::kLanguage)];
  char country[1];
  char pnpId[TextFieldSize(Setting::kPnpId)];
  char micGain[1];
  char spkrGain[1];
  char dosBoxEnabled[TextFieldSize(Setting::kDosBoxEnabled)];
  char portName[TextFieldSize(Setting::kPortName)];
};

// A setting's field in the record.
struct SettingField {
  char* data;
  size_t size;
};
SettingField FieldOf(SettingsRecord& record, Setting setting);

struct SetupContext {
  // The modem as the detection found it.
  ModemDevice device;
  // Hold whatever directory the platform reports, up to MAX_PATH characters.
  char windowsDirectory[MAX_PATH + 1];
  char systemDirectory[MAX_PATH + 1];
  // Root of the current directory's drive ("C:\"), empty beyond P:.
  char driveRoot[4];
  // The COM port name chosen for the modem.
  char portName[20];
  SettingsRecord settings;
  // The file of the previous version that could not be copied into the
  // backup folder, for the message that stops the upgrade.
  char notArchived[MAX_PATH];
};

static_assert(sizeof SetupContext::portName == EntryOf(Setting::kPortName).installedBytes,
              "the port name is written whole");

// Puts every buffer to its value at program start: no modem found yet (the
// device of "FFFFFFFFFFFFFFFFFFF"), and zero bytes everywhere else.
void StartSetupContext(SetupContext& context);

}  // namespace rq47set

#endif  // RQ47SET_SETUP_CONTEXT_H
