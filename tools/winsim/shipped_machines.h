// The machine folders shipped with the project (machines/win98se ...).
#ifndef WINSIM_TOOL_SHIPPED_MACHINES_H
#define WINSIM_TOOL_SHIPPED_MACHINES_H

#include <filesystem>
#include <string>
#include <vector>

namespace winsim_tool {

// Where they are: the folder given (--machines), else the environment
// variable WINSIM_MACHINES, else the machines/ folder of the source tree
// this tool was built from.
std::filesystem::path ShippedMachinesFolder(const std::string& given);

// How that folder was chosen, for messages ("the machines/ folder of the source tree").
std::string ShippedMachinesOrigin(const std::string& given);

// The names of the machine folders in it (those with a machine.ini), sorted.
std::vector<std::string> ShippedMachineNames(const std::filesystem::path& folder);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_SHIPPED_MACHINES_H
