// The winsim commands. Each takes the arguments after its name and returns
// the process's exit code; each says on standard error what went wrong.
#ifndef WINSIM_TOOL_COMMANDS_H
#define WINSIM_TOOL_COMMANDS_H

#include <string>
#include <vector>

namespace winsim_tool {

int NewCommand(const std::vector<std::string>& args);
int RunCommand(const std::vector<std::string>& args);
int DiffCommand(const std::vector<std::string>& args);
int RegCommand(const std::vector<std::string>& args);

// The help of a command ("new", "run" ...), or of winsim as a whole for "".
// Empty for a name that is not a command.
std::string CommandHelp(const std::string& command);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_COMMANDS_H
