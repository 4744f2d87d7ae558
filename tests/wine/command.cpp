#include "command.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "test_machine.h"

extern char** environ;

namespace fs = std::filesystem;

namespace rq47wine {

using rq47test::ReadWhole;

namespace {

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

std::vector<std::string> ChildEnvironment(const Command& command) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string name = NameOf(*entry);
    bool replaced = false;
    for (const auto& [key, value] : command.env) replaced = replaced || key == name;
    for (const std::string& key : command.unsetEnv) replaced = replaced || key == name;
    if (!replaced) env.emplace_back(*entry);
  }
  for (const auto& [key, value] : command.env) env.push_back(key + "=" + value);
  return env;
}

fs::path MakeOutputFile(const char* what) {
  std::string pattern =
      (fs::temp_directory_path() / ("rq47-wine-" + std::string(what) + "-XXXXXX")).string();
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    throw std::runtime_error("cannot make a file for a program's output in " +
                             fs::temp_directory_path().string() + ": " + std::strerror(errno));
  }
  ::close(fd);
  return pattern;
}

}  // namespace

std::string CommandResult::describe(const Command& command) const {
  std::string line;
  for (const std::string& word : command.argv) line += (line.empty() ? "" : " ") + word;
  std::string outcome = timedOut ? "killed after its time limit of " +
                                       std::to_string(command.timeLimit.count() / 1000) + " s"
                        : exitCode < 0 ? "died of a signal"
                                       : "exit code " + std::to_string(exitCode);
  std::string text = line + ": " + outcome;
  if (retried) text += " (on its second try: the first was killed at its time limit)";
  if (!errorText.empty()) text += "; standard error: " + errorText;
  if (!output.empty()) text += "; standard output: " + output;
  return text;
}

Process::Process(const Command& command) {
  if (command.argv.empty()) throw std::invalid_argument("a command needs a program");
  outputFile_ = MakeOutputFile("out");
  errorFile_ = MakeOutputFile("err");
  std::vector<std::string> env = ChildEnvironment(command);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = command.argv;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string workingDirectory = command.workingDirectory.string();
  std::string outputPath = outputFile_.string();
  std::string errorPath = errorFile_.string();

  int errorPipe[2];
  if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  pid_ = ::fork();
  if (pid_ < 0) {
    int error = errno;
    ::close(errorPipe[0]);
    ::close(errorPipe[1]);
    throw std::runtime_error("cannot start " + command.argv[0] + ": " + std::strerror(error));
  }
  if (pid_ == 0) {
    // The child: its own process group (so the whole group can be killed),
    // ended with the test, output into the files.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(outputPath.c_str(), O_WRONLY | O_TRUNC);
    int err = ::open(errorPath.c_str(), O_WRONLY | O_TRUNC);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 ||
        (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0)) {
      int error = errno;
      (void)!::write(errorPipe[1], &error, sizeof error);
      ::_exit(127);
    }
    ::execve(argv[0], argv.data(), envp.data());
    int error = errno;
    (void)!::write(errorPipe[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(errorPipe[1]);
  int childError = 0;
  ssize_t got = ::read(errorPipe[0], &childError, sizeof childError);
  ::close(errorPipe[0]);
  if (got == static_cast<ssize_t>(sizeof childError)) {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    finished_ = true;
    throw std::runtime_error("cannot start " + command.argv[0] +
                             (workingDirectory.empty() ? "" : " in " + workingDirectory) + ": " +
                             std::strerror(childError));
  }
}

Process::~Process() {
  if (!finished_) kill();
  std::error_code ignored;
  fs::remove(outputFile_, ignored);
  fs::remove(errorFile_, ignored);
}

void Process::kill() {
  if (pid_ <= 0 || finished_) return;
  ::kill(-pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  finished_ = true;
}

CommandResult Process::wait(std::chrono::milliseconds limit) {
  CommandResult result;
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (!finished_) {
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      finished_ = true;
      result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    if (done < 0 && errno != EINTR) {
      throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill();
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  result.output = ReadWhole(outputFile_);
  result.errorText = ReadWhole(errorFile_);
  return result;
}

CommandResult RunCommand(const Command& command) {
  Process process(command);
  return process.wait(command.timeLimit);
}

CommandResult RunRetryingAHang(const Command& command, const std::function<void()>& beforeRetry) {
  CommandResult first = RunCommand(command);
  if (!first.timedOut) return first;
  if (beforeRetry) beforeRetry();
  CommandResult second = RunCommand(command);
  second.retried = true;
  return second;
}

std::optional<fs::path> FindExecutable(const std::vector<std::string>& candidates) {
  for (const std::string& candidate : candidates) {
    if (candidate.empty()) continue;
    if (candidate.find('/') != std::string::npos) {
      if (::access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate)) {
        return fs::path(candidate);
      }
      continue;
    }
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
      size_t colon = folders.find(':', start);
      if (colon == std::string::npos) colon = folders.size();
      fs::path file = fs::path(folders.substr(start, colon - start)) / candidate;
      if (colon > start && ::access(file.c_str(), X_OK) == 0 && fs::is_regular_file(file)) {
        return file;
      }
      start = colon + 1;
    }
  }
  return std::nullopt;
}

}  // namespace rq47wine
