// The modem's PCI device as the detection hands it on: the name of its key
// below HKLM\Enum\PCI (its device instance id) and the path of that key.
#ifndef RQ47SET_MODEM_DEVICE_H
#define RQ47SET_MODEM_DEVICE_H

#include <cstddef>

#include "modem_settings.h"

namespace rq47set {

// The device instance id when no modem was found; its key is looked for like
// any other, and is not there.
inline constexpr char kNoDeviceInstanceId[] = "FFFFFFFFFFFFFFFFFFF";

// The longest device instance id carried whole: it is written as PNP ID.
inline constexpr size_t kLongestDeviceInstanceId = EntryOf(Setting::kPnpId).installedBytes - 1;

struct ModemDevice {
  char instanceId[64];
  // "Enum\PCI\" followed by the device instance id.
  char keyPath[56];
};

static_assert(sizeof ModemDevice::keyPath >= sizeof "Enum\\PCI\\" + kLongestDeviceInstanceId,
              "the device key path holds the prefix and the longest device instance id");
static_assert(sizeof ModemDevice::instanceId > kLongestDeviceInstanceId,
              "the device instance id holds the longest name carried");

// The device whose key below Enum\PCI is named instanceId. An id longer than
// the longest carried whole is never cut: it gives the device of no modem.
ModemDevice DeviceNamed(const char* instanceId);

}  // namespace rq47set

#endif  // RQ47SET_MODEM_DEVICE_H
