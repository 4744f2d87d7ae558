// Runs the setup program or the uninstaller on a loaded machine, in this
// process, as the machine's own entry would: message boxes drawn on standard
// error and answered from a list, then by the person at the terminal, then by
// their default button.
#ifndef WINSIM_TOOL_PROGRAM_RUN_H
#define WINSIM_TOOL_PROGRAM_RUN_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winsim/machine.h"
#include "winsim/run.h"

namespace winsim_tool {

enum class Program { Setup, Uninstaller };

// "rq47set" or "zuninst", in any case, with or without ".exe".
std::optional<Program> ProgramNamed(std::string_view name);
const char* ProgramName(Program program);

// Exit codes of winsim itself, as the machine's entry uses them.
constexpr int kCouldNotRun = 125;
constexpr int kInterrupted = 137;

struct RunSettings {
  std::vector<int> answers;  // IDYES, IDOK ... (winsim::ParseAnswers)
  std::string traceFile;     // one line for every platform call; empty for none
  bool interactive = true;   // ask at the terminal when the answers run out
};

struct ProgramOutcome {
  int exitCode = 0;     // the program's, or kCouldNotRun / kInterrupted when winsim stopped it
  std::string stopped;  // why winsim stopped the program; empty when it ended by itself
  std::vector<winsim::MessageBoxRecord> boxes;
};

// Throws std::runtime_error, before the program starts, when the trace file
// cannot be written. The machine is not saved here: the caller saves it.
ProgramOutcome RunProgramOn(winsim::Machine& machine, Program program, const RunSettings& settings);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_PROGRAM_RUN_H
