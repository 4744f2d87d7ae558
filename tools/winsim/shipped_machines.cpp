#include "shipped_machines.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace winsim_tool {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

fs::path ShippedMachinesFolder(const std::string& given) {
  if (!given.empty()) return given;
  std::string fromEnvironment = Environment("WINSIM_MACHINES");
  if (!fromEnvironment.empty()) return fromEnvironment;
  return fs::path(WINSIM_TOOL_SOURCE_DIR) / "machines";
}

std::string ShippedMachinesOrigin(const std::string& given) {
  if (!given.empty()) return "the folder given with --machines";
  if (!Environment("WINSIM_MACHINES").empty()) return "the folder named by WINSIM_MACHINES";
  return "the machines/ folder of the source tree winsim was built from";
}

std::vector<std::string> ShippedMachineNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    if (fs::is_regular_file(it->path() / "machine.ini", error)) {
      names.push_back(it->path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace winsim_tool
