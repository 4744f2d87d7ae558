// The COM port name of the modem, written as PortName into the device's
// instance keys and the vendor key.
#ifndef RQ47SET_PORTS_H
#define RQ47SET_PORTS_H

namespace rq47set {

// 0 on success, 1 when no candidate port name is free, 100 on a registry failure.
int AssignPortName();
// Gives every instance key of the device that lacks PortName the chosen name.
void FillMissingPortNames();

}  // namespace rq47set

#endif  // RQ47SET_PORTS_H
