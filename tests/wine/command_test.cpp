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

TEST(FindExecutable, TakesThePathGivenOrLooksAlongPath) {
  EXPECT_EQ(std::filesystem::path("/bin/sh"), FindExecutable({"/nonexistent/sh", "/bin/sh"}));
  std::optional<std::filesystem::path> found = FindExecutable({"", "sh"});
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ("sh", found->filename());
  EXPECT_FALSE(FindExecutable({"rq47-no-such-program", "/nonexistent/x"}).has_value());
}

}  // namespace
}  // namespace rq47wine
