// Runs the built winsim command as a person runs it: a separate process with
// arguments, standard input from /dev/null (so no box waits for a person),
// standard output and standard error kept apart.
#ifndef RQ47_TOOL_RUNNER_H
#define RQ47_TOOL_RUNNER_H

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_machine.h"

namespace rq47test {

struct ToolResult {
  int exitCode = -1;  // 0..255, -1 when the process did not exit normally
  std::string out;    // standard output
  std::string err;    // standard error
};

std::filesystem::path ToolPath();

// The environment is this process's without any WINSIM_ variable, plus `env`.
ToolResult RunTool(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env = {});

void WriteWhole(const std::filesystem::path& file, const std::string& content);

}  // namespace rq47test

#endif  // RQ47_TOOL_RUNNER_H
