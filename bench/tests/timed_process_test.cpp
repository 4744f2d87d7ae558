#include "timed_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "bench_options.h"
#include "child_report.h"
#include "winsim/machine.h"

namespace rq47bench {
namespace {

TEST(TimedProcessTest, GivesTheExitCodeTheTimeAndThePeakMemory) {
  ProcessRequest request;
  request.argv = {"/bin/sh", "-c", "sleep 0.05; exit 3"};
  ProcessRun run = RunTimed(request);
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_GE(run.seconds, 0.05);
  EXPECT_LT(run.seconds, 5.0);
  EXPECT_GT(run.peakKilobytes, 0);

  // A program that takes 64 MB shows it in its peak.
  ProcessRequest big;
  big.argv = {"/bin/sh", "-c", "head -c 67108864 /dev/zero | tail -c 1 >/dev/null; exit 0"};
  ProcessRequest self;
  self.argv = {"/bin/sh", "-c", "x=$(head -c 67108864 /dev/zero | tr '\\0' a); exit 0"};
  EXPECT_GT(RunTimed(self).peakKilobytes, 60000);
  EXPECT_LT(RunTimed(big).peakKilobytes, 60000)
      << "the peak is the process's own, not its children's";
}

TEST(TimedProcessTest, PassesTheEnvironmentAndTheRedirections) {
  ScratchFolder scratch(std::filesystem::temp_directory_path());
  std::filesystem::path in = scratch.path() / "in.txt";
  std::filesystem::path out = scratch.path() / "out.txt";
  std::filesystem::path err = scratch.path() / "err.txt";
  WriteFileText(in, "from the input\n");
  ::setenv("RQ47_BENCH_KEPT", "kept", 1);
  ::setenv("RQ47_BENCH_REPLACED", "old", 1);
  ProcessRequest request;
  request.argv = {
      "/bin/sh", "-c",
      "read line; echo \"$line/$RQ47_BENCH_KEPT/$RQ47_BENCH_REPLACED/$RQ47_BENCH_NEW\"; "
      "echo oops >&2"};
  request.environment = {{"RQ47_BENCH_REPLACED", "new"}, {"RQ47_BENCH_NEW", "added"}};
  request.standardInput = in.string();
  request.standardOutput = out.string();
  request.standardError = err.string();
  EXPECT_EQ(RunExpecting(request, 0).exitCode, 0);
  EXPECT_EQ(ReadFileText(out), "from the input/kept/new/added\n");
  EXPECT_EQ(ReadFileText(err), "oops\n");
}

TEST(TimedProcessTest, SaysWhatFailedWhenTheProgramCannotStartOrEndsWrongly) {
  ProcessRequest missing;
  missing.argv = {"/nonexistent/program"};
  try {
    RunTimed(missing);
    FAIL() << "a missing program started";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("/nonexistent/program"), std::string::npos);
  }
  ProcessRequest failing;
  failing.argv = {"/bin/sh", "-c", "exit 4"};
  EXPECT_THROW(RunExpecting(failing, 0), std::runtime_error);
  ProcessRequest killed;
  killed.argv = {"/bin/sh", "-c", "kill -9 $$"};
  EXPECT_EQ(RunTimed(killed).exitCode, -1);
}

TEST(TimedProcessTest, ReadsTheFiguresAChildReports) {
  ScratchFolder scratch(std::filesystem::temp_directory_path());
  std::filesystem::path out = scratch.path() / "report.txt";
  WriteFileText(out, "load_seconds=0.25\nkeys=200000\nnot a figure\nwords=many\n");
  std::map<std::string, double> report = ReadChildReport(out);
  EXPECT_EQ(Figure(report, "load_seconds"), 0.25);
  EXPECT_EQ(Figure(report, "keys"), 200000);
  EXPECT_THROW(Figure(report, "words"), std::runtime_error);
  EXPECT_THROW(Figure(report, "save_seconds"), std::runtime_error);
}

// A child started by a process that holds far more memory than the child
// takes (as the benchmark does, after making its file) tells its own peak:
// the one waiting for it gives counts the parent's.
TEST(TimedProcessTest, AChildTellsItsOwnPeakNotItsParents) {
  ScratchFolder scratch(std::filesystem::temp_directory_path());
  winsim::Machine::create(scratch.path() / "machine");
  constexpr size_t kHeld = size_t{256} << 20;
  std::vector<char> held(kHeld, 'x');  // written, so resident
  EXPECT_GT(OwnPeakKilobytes(), kHeld / 1024.0);

  ProcessRequest load;
  load.argv = {RQ47_BENCH_REGEDIT4, "--child", "load", (scratch.path() / "machine").string()};
  load.standardOutput = (scratch.path() / "report.txt").string();
  RunExpecting(load, 0);
  double told = Figure(ReadChildReport(scratch.path() / "report.txt"), "peak_kilobytes");
  EXPECT_GT(told, 0);
  EXPECT_LT(told, 64 * 1024) << "a load of a new machine's registry takes a few megabytes";
  EXPECT_EQ(held[kHeld - 1], 'x');
}

}  // namespace
}  // namespace rq47bench
