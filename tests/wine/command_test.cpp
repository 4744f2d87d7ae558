// Running the host programs of the Wine harness: output, exit code,
// environment, working folder and the time limit.
#include "command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "test_machine.h"

namespace rq47wine {
namespace {

Command Shell(const std::string& script) {
  Command command;
  command.argv = {"/bin/sh", "-c", script};
  command.timeLimit = std::chrono::seconds(20);
  return command;
}

TEST(RunCommand, KeepsOutputErrorTextAndExitCode) {
  CommandResult result = RunCommand(Shell("echo out; echo err >&2; exit 3"));
  EXPECT_EQ(3, result.exitCode);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ("out\n", result.output);
  EXPECT_EQ("err\n", result.errorText);
}

TEST(RunCommand, SetsAndRemovesEnvironmentAndRunsInTheFolderGiven) {
  ::setenv("RQ47_COMMAND_TEST_GONE", "still here", 1);
  rq47test::TempDir dir;
  Command command = Shell("echo \"$RQ47_COMMAND_TEST_SET|${RQ47_COMMAND_TEST_GONE-unset}|$(pwd)\"");
  command.env = {{"RQ47_COMMAND_TEST_SET", "a=b"}};
  command.unsetEnv = {"RQ47_COMMAND_TEST_GONE"};
  command.workingDirectory = dir.path();
  CommandResult result = RunCommand(command);
  ::unsetenv("RQ47_COMMAND_TEST_GONE");
  EXPECT_EQ("a=b|unset|" + std::filesystem::canonical(dir.path()).string() + "\n", result.output);
}

TEST(RunCommand, KillsAProgramThatOutrunsItsTimeLimit) {
  Command command = Shell("sleep 30 & wait");
  command.timeLimit = std::chrono::milliseconds(300);
  auto start = std::chrono::steady_clock::now();
  CommandResult result = RunCommand(command);
  EXPECT_TRUE(result.timedOut);
  EXPECT_EQ(-1, result.exitCode);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_NE(std::string::npos, result.describe(command).find("time limit"));
}

TEST(RunCommand, SaysWhatCouldNotBeStarted) {
  Command missing;
  missing.argv = {"/nonexistent/program"};
  EXPECT_THROW(RunCommand(missing), std::runtime_error);
  Command nowhere = Shell("true");
  nowhere.workingDirectory = "/nonexistent/folder";
  try {
    RunCommand(nowhere);
    FAIL() << "a program started in a folder that does not exist";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string::npos, std::string(error.what()).find("/nonexistent/folder"));
  }
}

TEST(RunRetryingAHang, RunsAgainOnlyWhatHungAndSaysSo) {
  rq47test::TempDir dir;
  std::string tries = (dir.path() / "tries").string();
  // Each run adds a line to the file of tries before doing as its case says.
  struct Case {
    const char* what;
    const char* script;
    int exitCode;
    bool timedOut;
    int runs;
  };
  const Case cases[] = {
      {"ends at once", "exit 0", 0, false, 1},
      {"fails", "exit 3", 3, false, 1},
      {"hangs the first time only", "[ $(wc -l < \"$T\") -gt 1 ] || sleep 30", 0, false, 2},
      {"hangs every time", "sleep 30", -1, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(tries);
    Command command = Shell(std::string("echo run >> \"$T\"; ") + c.script);
    command.env = {{"T", tries}};
    command.timeLimit = std::chrono::milliseconds(500);
    int mended = 0;
    CommandResult result = RunRetryingAHang(command, [&] { ++mended; });
    EXPECT_EQ(c.exitCode, result.exitCode);
    EXPECT_EQ(c.timedOut, result.timedOut);
    EXPECT_EQ(c.runs, mended + 1);
    std::string runs;
    for (int i = 0; i < c.runs; ++i) runs += "run\n";
    EXPECT_EQ(runs, rq47test::ReadWhole(tries));
    EXPECT_EQ(c.runs == 2, result.describe(command).find("second try") != std::string::npos);
  }
}

TEST(FindExecutable, TakesThePathGivenOrLooksAlongPath) {
  EXPECT_EQ(std::filesystem::path("/bin/sh"), FindExecutable({"/nonexistent/sh", "/bin/sh"}));
  std::optional<std::filesystem::path> found = FindExecutable({"", "sh"});
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ("sh", found->filename());
  EXPECT_FALSE(FindExecutable({"rq47-no-such-program", "/nonexistent/x"}).has_value());
}

}  // namespace
}  // namespace rq47wine
