#include "program_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "test_machine.h"

extern char** environ;

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
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "WINSIM_", 7) != 0) env.emplace_back(*entry);
  }
  env.push_back("WINSIM_MACHINE=" + machineFolder.string());
  env.push_back("WINSIM_ANSWERS=" + answers);
  if (!traceFile.empty()) env.push_back("WINSIM_TRACE=" + traceFile.string());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  std::string programText = program.string();
  char* argv[] = {programText.data(), nullptr};
  pid_t pid = 0;
  int spawnError = posix_spawn(&pid, programText.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawnError != 0) {
    close(pipeFds[0]);
    throw std::runtime_error("cannot start " + programText + ": " + std::strerror(spawnError));
  }
  ProgramResult result;
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
    result.errorText.append(buffer, static_cast<size_t>(got));
  }
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace rq47test
