#include "program_run.h"

#include "main_sequence.h"
#include "uninstall_sequence.h"
#include "winsim/registry.h"

namespace winsim_tool {

std::optional<Program> ProgramNamed(std::string_view name) {
  std::string_view stem = name;
  if (stem.size() > 4 && winsim::NamesEqual(stem.substr(stem.size() - 4), ".exe")) {
    stem.remove_suffix(4);
  }
  if (winsim::NamesEqual(stem, "rq47set")) return Program::Setup;
  if (winsim::NamesEqual(stem, "zuninst")) return Program::Uninstaller;
  return std::nullopt;
}

const char* ProgramName(Program program) {
  return program == Program::Setup ? "rq47set" : "zuninst";
}

int CallProgram(Program program) {
  return program == Program::Setup ? rq47set::RunSetup() : zuninst::RunUninstall();
}

}  // namespace winsim_tool
