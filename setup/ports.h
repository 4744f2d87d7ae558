// The COM port name of the modem, written as PortName into the device's
// instance keys and the vendor key.
#ifndef RQ47SET_PORTS_H
#define RQ47SET_PORTS_H

#include "setup_context.h"

namespace rq47set {

// Chooses the port name (the vendor key's PortName, else the first candidate
// port that does not open) and writes it into the device's first instance
// key and, where the vendor key has no usable one, into the vendor key. Writes
// nothing when no candidate is free or the registry fails it; when no
// candidate is free or the vendor key's PortName cannot be read, no port name
// is chosen.
void AssignPortName(SetupContext& context);
// Gives every instance key of the device that lacks PortName the chosen name.
void FillMissingPortNames(SetupContext& context);

}  // namespace rq47set

#endif  // RQ47SET_PORTS_H
