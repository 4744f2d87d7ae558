// Finds the modem among the PCI devices listed under HKLM\Enum\PCI.
#ifndef RQ47SET_DETECTION_H
#define RQ47SET_DETECTION_H

#include "setup_context.h"

namespace rq47set {

// On a match, the device instance id becomes the matching subkey's name;
// otherwise it keeps its value.
void DetectModemHardware(SetupContext& context);

}  // namespace rq47set

#endif  // RQ47SET_DETECTION_H
