#include "tool_runner.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "child_process.h"
#include "test_machine.h"

namespace fs = std::filesystem;

namespace rq47test {

fs::path ToolPath() { return BinaryDir() / "tools" / "winsim" / "winsim"; }

void WriteWhole(const fs::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) throw std::runtime_error("cannot write " + file.string());
  out << content;
}

ToolResult RunTool(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env) {
  fs::path tool = ToolPath();
  if (!fs::exists(tool)) throw std::runtime_error("the tool " + tool.string() + " is not built");
  ChildOptions options;
  options.argv.push_back(tool.string());
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.env = env;
  ChildEnd end = RunChild(options);
  return ToolResult{end.exitCode, end.out, end.err};
}

}  // namespace rq47test
