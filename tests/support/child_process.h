// A program of ours started as a process the way a person or a script starts
// it, and watched from outside: its standard input /dev/null or a terminal the
// test types into, its output kept, signals sent to it, a limit on the size of
// the files it writes (a disk that fills up).
#ifndef RQ47_CHILD_PROCESS_H
#define RQ47_CHILD_PROCESS_H

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "test_machine.h"

namespace rq47test {

struct ChildOptions {
  std::vector<std::string> argv;           // the program first
  std::map<std::string, std::string> env;  // added to this process's, less its WINSIM_ variables
  bool terminal = false;                   // standard input is a terminal (else /dev/null)
  std::filesystem::path workingFolder;     // where it starts; empty: where the test runs
  // The largest file the process may write; past it a write fails with EFBIG,
  // or the process is killed (SIGXFSZ) when killedAtLimit.
  std::optional<uint64_t> fileSizeLimit;
  bool killedAtLimit = false;
  // The most memory (address space) the process may take: past it an
  // allocation fails, as on a computer whose memory is full.
  std::optional<uint64_t> memoryLimit;
  // Called with the process id before the program starts (it waits for this).
  std::function<void(pid_t)> beforeStart;
};

struct ChildEnd {
  int exitCode = -1;  // 0..255; -1 when a signal ended it
  int signal = 0;     // the signal that ended it
  std::string out;
  std::string err;
};

class Child {
 public:
  explicit Child(const ChildOptions& options);
  ~Child();  // kills it if it still runs
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  // Waits until its standard error holds `text`; false after `seconds`, or
  // when it ended without writing it.
  bool waitForError(const std::string& text, int seconds = 20);
  // Types a line at its terminal.
  void type(const std::string& line);
  void signal(int number);
  ChildEnd wait();

 private:
  TempDir outputs_;
  pid_t pid_ = -1;
  int terminal_ = -1;
  std::optional<ChildEnd> end_;
};

// Starts and waits: the common case.
ChildEnd RunChild(const ChildOptions& options);

}  // namespace rq47test

#endif  // RQ47_CHILD_PROCESS_H
