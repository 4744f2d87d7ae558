// The setup program's process-wide buffers. Every operation of the setup
// works on these, as the steps of one sequence hand their results on; they
// hold their program-start values (mostly zero) until the sequence fills them.
//
// Text fields that receive registry values have one byte more than the
// value's read capacity, so a value that fills the capacity without a
// terminator still ends in one; the capacities and the counts written stay
// those of the constants below.
#ifndef RQ47SET_SETUP_STATE_H
#define RQ47SET_SETUP_STATE_H

#include <windows.h>

#include <cstddef>

namespace rq47set {

// Byte counts of the vendor key's values, as they are written.
inline constexpr DWORD kVersionBytes = 20;
inline constexpr DWORD kOperatingSystemBytes = 20;
inline constexpr DWORD kLanguageBytes = 22;
inline constexpr DWORD kPnpIdBytes = 42;
inline constexpr DWORD kDosBoxEnabledBytes = 10;
inline constexpr DWORD kPortNameBytes = 20;
// What an upgrade moves through the temporary settings key.
inline constexpr DWORD kSavedPnpIdBytes = 54;
inline constexpr DWORD kSavedPortNameBytes = 10;

// The longest device instance id carried whole: it is written as PNP ID.
inline constexpr size_t kLongestDeviceInstanceId = kPnpIdBytes - 1;

inline constexpr char kVersionText[] = "3.02 Build 69";
inline constexpr char kNoDeviceInstanceId[] = "FFFFFFFFFFFFFFFFFFF";

// The settings that travel between the vendor key, an earlier installation's
// key and the temporary settings key.
struct SettingsRecord {
  char language[kLanguageBytes + 1];
  BYTE country;
  BYTE micGain;
  BYTE spkrGain;
  char dosBoxEnabled[kDosBoxEnabledBytes + 1];
  char portName[kPortNameBytes + 1];
  char pnpId[kSavedPnpIdBytes + 1];
};

struct SetupState {
  char versionText[kVersionBytes + 1];
  char deviceInstanceId[64];
  // "Enum\PCI\" followed by the device instance id.
  char deviceKeyPath[56];
  char messageBuffer[256];
  // Hold whatever directory the platform reports, up to MAX_PATH characters.
  char windowsDirectory[MAX_PATH + 1];
  char systemDirectory[MAX_PATH + 1];
  // Root of the current directory's drive ("C:\"), empty beyond P:.
  char driveRoot[4];
  // Subkey names enumerated by the detection and the port assignment.
  char keyName[80];
  // The COM port name chosen for the modem.
  char portName[kPortNameBytes];
  SettingsRecord settings;
};

static_assert(sizeof SetupState::deviceKeyPath >= sizeof "Enum\\PCI\\" + kLongestDeviceInstanceId,
              "the device key path holds the prefix and the longest device instance id");
static_assert(sizeof SetupState::deviceInstanceId > kLongestDeviceInstanceId,
              "the device instance id holds the longest name carried");

extern SetupState g_setup;

// Puts every buffer back to its program-start value: all zero but the device
// key path, which starts as "Enum\PCI\".
void ResetSetupState();

}  // namespace rq47set

#endif  // RQ47SET_SETUP_STATE_H
