// Finds the modem among the PCI devices listed under HKLM\Enum\PCI.
#ifndef RQ47SET_DETECTION_H
#define RQ47SET_DETECTION_H

#include "modem_device.h"

namespace rq47set {

// The device whose key's name is a supported modem's; the device of no modem
// ("FFFFFFFFFFFFFFFFFFF") when none is.
ModemDevice DetectModemHardware();

}  // namespace rq47set

#endif  // RQ47SET_DETECTION_H
