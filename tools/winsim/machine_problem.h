// A machine folder that cannot be used, said so that a person can act:
// "<folder>/machine.ini:12: unknown section [Foo]", and for a folder that is
// not there, how to make one.
#ifndef WINSIM_TOOL_MACHINE_PROBLEM_H
#define WINSIM_TOOL_MACHINE_PROBLEM_H

#include <string>

#include "winsim/machine.h"

namespace winsim_tool {

std::string MachineProblem(const std::string& folder, const winsim::MachineError& error,
                           bool suggestNew = true);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_MACHINE_PROBLEM_H
