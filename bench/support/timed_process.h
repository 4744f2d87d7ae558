// Starts a program, waits for it and tells how long it ran and how much memory
// it took: the yardstick of every benchmark that compares a run with `cat`,
// `cp` or `/bin/true`, all started the same way.
#ifndef RQ47_BENCH_TIMED_PROCESS_H
#define RQ47_BENCH_TIMED_PROCESS_H

#include <string>
#include <utility>
#include <vector>

#include "rounds.h"

namespace rq47bench {

struct ProcessRequest {
  std::vector<std::string> argv;  // argv[0] is the program's path
  // Set in the program's environment on top of ours (a value replaces ours).
  std::vector<std::pair<std::string, std::string>> environment;
  std::string standardInput = "/dev/null";
  std::string standardOutput = "/dev/null";  // created or emptied
  std::string standardError = "/dev/null";   // created or emptied
};

struct ProcessRun {
  double seconds = 0;      // from just before the start to just after the end
  double cpuSeconds = 0;   // processor time it took, user and system
  int exitCode = -1;       // 0..255; -1 when a signal ended it
  long peakKilobytes = 0;  // the largest resident set it reached

  Sample sample() const { return Sample{seconds, cpuSeconds}; }
};

// Throws std::runtime_error naming the program when it cannot be started.
ProcessRun RunTimed(const ProcessRequest& request);

// The same, and throws when the program does not end with the expected exit code.
ProcessRun RunExpecting(const ProcessRequest& request, int expectedExitCode);

}  // namespace rq47bench

#endif  // RQ47_BENCH_TIMED_PROCESS_H
