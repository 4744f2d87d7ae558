#include "detection.h"

#include <windows.h>

#include <cstring>

#include "modem_names.h"
#include "subkey_walk.h"

namespace rq47set {
namespace {

// The supported hardware ids, in the order they are tried.
constexpr const char* kSupportedHardwareIds[] = {
    "VEN_1B27&DEV_0905",
    "VEN_1C5E&DEV_4700",
    "VEN_1A3C&DEV_2210",
};
// The vendor number and the first three digits of the device number: the
// fourth digit tells apart revisions of the same modem.
constexpr size_t kComparedLength = 16;

bool NamesSupportedModem(const char* keyName) {
  for (const char* id : kSupportedHardwareIds) {
    if (std::strncmp(keyName, id, kComparedLength) == 0) return true;
  }
  return false;
}

// The name becomes the PNP ID value and part of the device key path; a name
// that does not fit whole in them is not taken, so nothing cut is ever written.
bool FitsDeviceInstanceId(const char* keyName) {
  return std::strlen(keyName) <= kLongestDeviceInstanceId;
}

}  // namespace

ModemDevice DetectModemHardware() {
  ModemDevice found = DeviceNamed(kNoDeviceInstanceId);
  char keyName[80];
  // From the highest index down: of several supported modems the last listed wins.
  WalkSubkeysFromLast(kPciKeyPrefix, keyName, [&found](HKEY, const char* name) {
    if (!NamesSupportedModem(name) || !FitsDeviceInstanceId(name)) return false;
    found = DeviceNamed(name);
    return true;
  });
  return found;
}

}  // namespace rq47set
