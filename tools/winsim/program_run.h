// The programs winsim run can start: the setup program and the uninstaller,
// linked into the tool and called in this process as their own entry would.
#ifndef WINSIM_TOOL_PROGRAM_RUN_H
#define WINSIM_TOOL_PROGRAM_RUN_H

#include <optional>
#include <string_view>

namespace winsim_tool {

enum class Program { Setup, Uninstaller };

// "rq47set" or "zuninst", in any case, with or without ".exe".
std::optional<Program> ProgramNamed(std::string_view name);
const char* ProgramName(Program program);

// Runs the program's sequence on the current run and returns its exit code.
int CallProgram(Program program);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_PROGRAM_RUN_H
