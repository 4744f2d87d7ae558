#include "program_runner.h"

#include <stdexcept>

#include "child_process.h"

namespace rq47test {

std::filesystem::path ProgramPath(const std::string& name) {
  std::string folder = name == "zuninst" ? "uninstall" : "setup";
  return BinaryDir() / folder / name;
}

ProgramResult RunProgram(const std::string& name, const std::filesystem::path& machineFolder,
                         const std::string& answers, const std::filesystem::path& traceFile) {
  std::filesystem::path program = ProgramPath(name);
  if (!std::filesystem::exists(program)) {
    throw std::runtime_error("the program " + program.string() + " is not built");
  }
  ChildOptions options;
  options.argv = {program.string()};
  options.env = {{"WINSIM_MACHINE", machineFolder.string()}, {"WINSIM_ANSWERS", answers}};
  if (!traceFile.empty()) options.env["WINSIM_TRACE"] = traceFile.string();
  ChildEnd end = RunChild(options);
  return ProgramResult{end.exitCode, end.err};
}

}  // namespace rq47test
