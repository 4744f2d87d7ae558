#include "modem_device.h"

#include <cstring>

#include "modem_names.h"
#include "paths.h"
#include "text_buffer.h"

namespace rq47set {

ModemDevice DeviceNamed(const char* instanceId) {
  if (std::strlen(instanceId) > kLongestDeviceInstanceId) instanceId = kNoDeviceInstanceId;
  ModemDevice device = {};
  // Both fit: the buffers hold the prefix and the longest id carried.
  static_cast<void>(CopyText(device.instanceId, instanceId));
  static_cast<void>(JoinPath(device.keyPath, kPciKeyPrefix, instanceId));
  return device;
}

}  // namespace rq47set
