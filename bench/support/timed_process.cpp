#include "timed_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace rq47bench {
namespace {

bool Replaced(const std::string& entry, const ProcessRequest& request) {
  for (const auto& [name, value] : request.environment) {
    if (entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
        entry[name.size()] == '=') {
      return true;
    }
  }
  return false;
}

std::vector<std::string> EnvironmentOf(const ProcessRequest& request) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!Replaced(*entry, request)) entries.emplace_back(*entry);
  }
  for (const auto& [name, value] : request.environment) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  void open(int fd, const std::string& path, int flags) {
    posix_spawn_file_actions_addopen(&actions_, fd, path.c_str(), flags, 0644);
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

ProcessRun RunTimed(const ProcessRequest& request) {
  if (request.argv.empty()) throw std::invalid_argument("RunTimed: no program given");
  std::vector<std::string> arguments = request.argv;
  std::vector<std::string> environment = EnvironmentOf(request);
  std::vector<char*> argv = Pointers(arguments);
  std::vector<char*> envp = Pointers(environment);
  FileActions actions;
  actions.open(0, request.standardInput, O_RDONLY);
  actions.open(1, request.standardOutput, O_WRONLY | O_CREAT | O_TRUNC);
  actions.open(2, request.standardError, O_WRONLY | O_CREAT | O_TRUNC);

  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int error = posix_spawn(&pid, argv[0], actions.get(), nullptr, argv.data(), envp.data());
  if (error != 0) {
    throw std::runtime_error("cannot start " + request.argv[0] + ": " + std::strerror(error) +
                             "; check that it is built and executable");
  }
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      throw std::runtime_error("cannot wait for " + request.argv[0] + ": " + std::strerror(errno));
    }
  }
  auto end = std::chrono::steady_clock::now();

  ProcessRun run;
  run.seconds = std::chrono::duration<double>(end - start).count();
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  run.peakKilobytes = usage.ru_maxrss;
  return run;
}

ProcessRun RunExpecting(const ProcessRequest& request, int expectedExitCode) {
  ProcessRun run = RunTimed(request);
  if (run.exitCode != expectedExitCode) {
    std::string what = request.argv[0];
    for (size_t i = 1; i < request.argv.size(); ++i) what += " " + request.argv[i];
    throw std::runtime_error(what + " ended with exit code " + std::to_string(run.exitCode) +
                             " where " + std::to_string(expectedExitCode) +
                             " was expected; its standard error is in " + request.standardError);
  }
  return run;
}

}  // namespace rq47bench
