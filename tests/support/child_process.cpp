#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace rq47test {
namespace {

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

Child::Child(const ChildOptions& options) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "WINSIM_", 7) != 0) environment.emplace_back(*entry);
  }
  for (const auto& [name, value] : options.env) environment.push_back(name + "=" + value);
  std::vector<std::string> args = options.argv;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::string terminalName;
  if (options.terminal) {
    terminal_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal_ < 0 || ::grantpt(terminal_) != 0 || ::unlockpt(terminal_) != 0) {
      Fail("cannot make a terminal");
    }
    terminalName = ::ptsname(terminal_);
  }
  const std::string workingFolder = options.workingFolder.string();
  const std::string outFile = (outputs_.path() / "out").string();
  const std::string errFile = (outputs_.path() / "err").string();
  int gate[2];
  if (::pipe2(gate, O_CLOEXEC) != 0) Fail("pipe");

  pid_ = ::fork();
  if (pid_ < 0) Fail("fork");
  if (pid_ == 0) {
    // Only calls that are safe between fork and exec.
    ::setsid();
    int in = ::open(options.terminal ? terminalName.c_str() : "/dev/null", O_RDWR);
    int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (options.fileSizeLimit) {
      struct rlimit limit = {*options.fileSizeLimit, *options.fileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      struct rlimit noCore = {0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      ::signal(SIGXFSZ, options.killedAtLimit ? SIG_DFL : SIG_IGN);
    }
    if (options.memoryLimit) {
      struct rlimit limit = {*options.memoryLimit, *options.memoryLimit};
      ::setrlimit(RLIMIT_AS, &limit);
    }
    char go = 0;
    ::close(gate[1]);
    while (::read(gate[0], &go, 1) < 0 && errno == EINTR) {
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(gate[0]);
  if (options.beforeStart) options.beforeStart(pid_);
  ::close(gate[1]);
}

Child::~Child() {
  if (!end_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (terminal_ >= 0) ::close(terminal_);
}

bool Child::waitForError(const std::string& text, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (ReadAll(outputs_.path() / "err").find(text) != std::string::npos) return true;
    int status = 0;
    if (!end_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
      end_ = ChildEnd{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                      WIFSIGNALED(status) ? WTERMSIG(status) : 0, "", ""};
    }
    if (end_) return ReadAll(outputs_.path() / "err").find(text) != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

void Child::type(const std::string& line) {
  std::string text = line + "\n";
  if (terminal_ < 0 || ::write(terminal_, text.data(), text.size()) < 0) Fail("cannot type");
}

void Child::signal(int number) {
  if (!end_) ::kill(pid_, number);
}

ChildEnd Child::wait() {
  // A process that hangs is killed after a minute, so that a test fails
  // instead of waiting for ever.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!end_) {
    int status = 0;
    pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      end_ = ChildEnd{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                      WIFSIGNALED(status) ? WTERMSIG(status) : 0, "", ""};
    } else if (ended < 0 && errno != EINTR) {
      Fail("waitpid");
    } else if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  end_->out = ReadAll(outputs_.path() / "out");
  end_->err = ReadAll(outputs_.path() / "err");
  return *end_;
}

ChildEnd RunChild(const ChildOptions& options) { return Child(options).wait(); }

}  // namespace rq47test
