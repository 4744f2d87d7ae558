// Runs a built program (rq47set, zuninst) as a person runs it: a separate
// process on a machine folder, with scripted answers, its standard error kept.
#ifndef RQ47_PROGRAM_RUNNER_H
#define RQ47_PROGRAM_RUNNER_H

#include <filesystem>
#include <string>
#include <vector>

namespace rq47test {

struct ProgramResult {
  int exitCode = -1;       // the process's exit status (0..255), -1 when it did not exit normally
  std::string errorText;   // everything it wrote on standard error (the message boxes among it)
};

// The built program of that name ("rq47set", "zuninst") in the build folder.
std::filesystem::path ProgramPath(const std::string& name);

// Runs the program with WINSIM_MACHINE=machineFolder, WINSIM_ANSWERS=answers
// (comma-separated, may be empty) and, when traceFile is not empty, WINSIM_TRACE.
// Standard input is /dev/null, so no box waits for a person.
ProgramResult RunProgram(const std::string& name, const std::filesystem::path& machineFolder,
                         const std::string& answers = "",
                         const std::filesystem::path& traceFile = {});

}  // namespace rq47test

#endif  // RQ47_PROGRAM_RUNNER_H
