#include "machine_problem.h"

#include <filesystem>
#include <system_error>

namespace winsim_tool {

std::string MachineProblem(const std::string& folder, const winsim::MachineError& error,
                           bool suggestNew) {
  std::string where = folder;
  if (!error.file().empty()) where += "/" + error.file();
  if (error.line() != 0) where += ":" + std::to_string(error.line());
  std::string text = where + ": " + error.problem();
  std::error_code ignored;
  if (suggestNew && error.file().empty() && !std::filesystem::exists(folder, ignored)) {
    text += " (winsim new " + folder + " makes a copy of the default machine there)";
  }
  return text;
}

}  // namespace winsim_tool
