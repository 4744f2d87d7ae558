// machine.ini, the description of a simulated machine (INI format).
//
//   [Windows]  Platform (any 32-bit id), Version (major.minor.build), WindowsDirectory,
//              SystemDirectory, CurrentDirectory
//   [Hardware] Processor, Memory (bytes)
//   [Ports]    COMn=free|busy
//   [Programs] NAME=exit N | runs
//
// Every key is optional; comments start with ';' (also after a value).
#ifndef WINSIM_MACHINE_INI_H
#define WINSIM_MACHINE_INI_H

#include <string>
#include <string_view>

#include "winsim/machine.h"

namespace winsim {

// Throws MachineError (file "machine.ini", the line, what is wrong) on a malformed file.
MachineConfig ParseMachineIni(std::string_view text);
std::string WriteMachineIni(const MachineConfig& config);

}  // namespace winsim

#endif  // WINSIM_MACHINE_INI_H
