#include "tool_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "test_machine.h"

extern char** environ;

namespace fs = std::filesystem;

namespace rq47test {

fs::path ToolPath() { return BinaryDir() / "tools" / "winsim" / "winsim"; }

std::string ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) throw std::runtime_error("cannot open " + file.string());
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteWhole(const fs::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) throw std::runtime_error("cannot write " + file.string());
  out << content;
}

ToolResult RunTool(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env) {
  fs::path tool = ToolPath();
  if (!fs::exists(tool)) throw std::runtime_error("the tool " + tool.string() + " is not built");
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "WINSIM_", 7) != 0) environment.emplace_back(*entry);
  }
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::string toolText = tool.string();
  std::vector<std::string> argStrings = {toolText};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  TempDir outputs;
  fs::path outFile = outputs.path() / "out";
  fs::path errFile = outputs.path() / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = 0;
  int spawnError = posix_spawn(&pid, toolText.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawnError != 0) {
    throw std::runtime_error("cannot start " + toolText + ": " + std::strerror(spawnError));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ToolResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadWhole(outFile);
  result.err = ReadWhole(errFile);
  return result;
}

std::map<std::string, std::string> FolderContents(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string relative = fs::relative(entry.path(), folder).string();
    contents[relative] = entry.is_directory() ? std::string("<folder>") : ReadWhole(entry.path());
  }
  return contents;
}

void CopyShippedMachine(const std::string& name, const fs::path& target) {
  fs::copy(SourceDir() / "machines" / name, target, fs::copy_options::recursive);
}

}  // namespace rq47test
