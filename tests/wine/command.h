// Running host programs (wine64, wineserver, Xvfb) for the Wine harness: with
// extra environment, a working folder and a time limit, their output kept.
#ifndef RQ47_WINE_COMMAND_H
#define RQ47_WINE_COMMAND_H

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rq47wine {

struct Command {
  std::vector<std::string> argv;                         // argv[0] is the program's path
  std::vector<std::pair<std::string, std::string>> env;  // set (or replaced) for the child
  std::vector<std::string> unsetEnv;                     // removed for the child
  std::filesystem::path workingDirectory;                // empty: the caller's
  std::chrono::milliseconds timeLimit = std::chrono::seconds(120);
};

struct CommandResult {
  int exitCode = -1;      // 0..255; -1 when it was killed or died of a signal
  bool timedOut = false;  // the time limit ran out and the program was killed
  std::string output;     // standard output
  std::string errorText;  // standard error
  bool retried = false;   // a first run outlived its limit; this is the second

  // "wine64 regedit ...: exit code 3, standard error: ..." for a failure message.
  std::string describe(const Command& command) const;
};

// A program started in the background. Its standard output and error go to
// files; the process group is killed when the object goes without a wait.
class Process {
 public:
  // Throws std::runtime_error when the program cannot be started.
  explicit Process(const Command& command);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Waits up to the time limit; kills the process group when it runs out.
  CommandResult wait(std::chrono::milliseconds limit);
  pid_t pid() const { return pid_; }

 private:
  void kill();
  pid_t pid_ = -1;
  bool finished_ = false;
  std::filesystem::path outputFile_;
  std::filesystem::path errorFile_;
};

// Runs the command to its end (or its time limit).
CommandResult RunCommand(const Command& command);

// Runs a command that does no harm when run twice (starting Wine's services,
// an import, an export). Wine under qemu-i386 now and then hangs in a
// program that normally ends in seconds; such a run is killed at its limit,
// `beforeRetry` (if any) sets right what the killed run may have left, and the
// command runs once more. A run that ends, in failure or not, is never repeated.
CommandResult RunRetryingAHang(const Command& command,
                               const std::function<void()>& beforeRetry = nullptr);

// The first of the candidates that is an executable file; a bare name is
// looked up along PATH.
std::optional<std::filesystem::path> FindExecutable(const std::vector<std::string>& candidates);

}  // namespace rq47wine

#endif  // RQ47_WINE_COMMAND_H
