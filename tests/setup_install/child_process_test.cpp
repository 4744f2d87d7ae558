// Running a child process with piped standard handles and reporting how it went.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "test_machine.h"
#include "trace_lines.h"

namespace {

using rq47set::ChildRun;

using rq47test::TestMachine;
using winsim::ProgramBehaviour;

class ChildProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::MachineConfig config;
    config.programs["EXITS0.EXE"] = ProgramBehaviour{ProgramBehaviour::Kind::Exit, 0};
    config.programs["EXITS5.EXE"] = ProgramBehaviour{ProgramBehaviour::Kind::Exit, 5};
    config.programs["SERVER.EXE"] = ProgramBehaviour{ProgramBehaviour::Kind::Runs, 0};
    machine_ = std::make_unique<TestMachine>(config);
    startHandles_ = machine_->run().openHandleCount();
  }

  rq47set::ChildRun Run(const std::string& command, DWORD wait = INFINITE) {
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    return rq47set::RunChildProcess(line.data(), wait);
  }

  std::vector<std::string> Calls(const char* function) {
    return rq47test::CallsOf(machine_->run().trace(), function);
  }

  void ExpectEveryHandleClosed() {
    EXPECT_EQ(machine_->run().openHandleCount(), startHandles_)
        << "a pipe, process or thread handle was left open";
    // Three pipes of two ends, and the child's process and thread when it started.
    size_t expectedCloses = 6 + Calls("WaitForSingleObject").size() * 2;
    EXPECT_EQ(Calls("CloseHandle").size(), expectedCloses);
  }

  std::unique_ptr<TestMachine> machine_;
  size_t startHandles_ = 0;
};

TEST_F(ChildProcess, ChildThatEndsGivesZeroWhateverItsExitCode) {
  EXPECT_EQ(Run("EXITS0.EXE"), ChildRun::kEnded);
  ExpectEveryHandleClosed();

  EXPECT_EQ(Run("EXITS5.EXE"), ChildRun::kEnded);
  EXPECT_EQ(Calls("GetExitCodeProcess").size(), 2u) << "the exit code is read each time";
  EXPECT_EQ(machine_->run().openHandleCount(), startHandles_);
}

TEST_F(ChildProcess, ChildGetsThreePipesBeforeItStarts) {
  ASSERT_EQ(Run("EXITS0.EXE /quiet"), ChildRun::kEnded);

  const std::vector<std::string>& trace = machine_->run().trace();
  std::vector<size_t> pipeLines, startLines;
  for (size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].rfind("CreatePipe(", 0) == 0) pipeLines.push_back(i);
    if (trace[i].rfind("CreateProcessA(", 0) == 0) startLines.push_back(i);
  }
  ASSERT_EQ(pipeLines.size(), 3u);
  ASSERT_EQ(startLines.size(), 1u);
  EXPECT_LT(pipeLines.back(), startLines.front());
  std::vector<std::string> texts = rq47test::TextArguments(trace[startLines.front()]);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "EXITS0.EXE /quiet") << "the whole command line goes to the child";
}

// The handle named after `label` in a trace line ("read #1000, write #1004").
std::string HandleAfter(const std::string& line, const std::string& label) {
  size_t at = line.find(label + " #");
  if (at == std::string::npos) return "<none>";
  at += label.size() + 1;
  size_t end = line.find_first_of(",]", at);
  return line.substr(at, end - at);
}

// The handle a CloseHandle line closes.
std::string ClosedHandle(const std::string& line) {
  size_t open = line.find('(');
  return line.substr(open + 1, line.find(')') - open - 1);
}

TEST_F(ChildProcess, ChildHandlesThenPipeEndsCloseInOrder) {
  ASSERT_EQ(Run("EXITS0.EXE"), ChildRun::kEnded);

  std::vector<std::string> pipes = Calls("CreatePipe");
  std::vector<std::string> started = Calls("CreateProcessA");
  ASSERT_EQ(pipes.size(), 3u);
  ASSERT_EQ(started.size(), 1u);
  std::vector<std::string> expected = {
      HandleAfter(started[0], "thread"), HandleAfter(started[0], "process"),
      HandleAfter(pipes[0], "read"),     HandleAfter(pipes[1], "write"),
      HandleAfter(pipes[2], "write"),    HandleAfter(pipes[0], "write"),
      HandleAfter(pipes[1], "read"),     HandleAfter(pipes[2], "read"),
  };
  std::vector<std::string> closed;
  for (const std::string& line : Calls("CloseHandle")) closed.push_back(ClosedHandle(line));
  EXPECT_EQ(closed, expected);
}

TEST_F(ChildProcess, ProgramThatDoesNotExistGivesMinusOne) {
  EXPECT_EQ(Run("NOSUCH.EXE"), ChildRun::kNotStarted);
  EXPECT_TRUE(Calls("WaitForSingleObject").empty());
  ExpectEveryHandleClosed();
}

TEST_F(ChildProcess, UnreadableExitCodeGivesMinusTwo) {
  machine_->run().addFault({"GetExitCodeProcess", "", 0, ERROR_ACCESS_DENIED});
  EXPECT_EQ(Run("EXITS0.EXE"), ChildRun::kExitCodeUnread);
  ExpectEveryHandleClosed();
}

TEST_F(ChildProcess, WaitThatEndsBeforeTheChildGivesMinusThree) {
  EXPECT_EQ(Run("SERVER.EXE", 0), ChildRun::kNotEnded);
  EXPECT_TRUE(Calls("GetExitCodeProcess").empty()) << "the exit code of a running child";
  ExpectEveryHandleClosed();
}

TEST_F(ChildProcess, FailedWaitGivesMinusThree) {
  machine_->run().addFault({"WaitForSingleObject", "", 0, ERROR_INVALID_HANDLE});
  EXPECT_EQ(Run("EXITS0.EXE"), ChildRun::kNotEnded);
  ExpectEveryHandleClosed();
}

TEST_F(ChildProcess, PipesThatCannotBeMadeDoNotStopTheChild) {
  machine_->run().addFault({"CreatePipe", "", 2, ERROR_NOT_ENOUGH_MEMORY});
  EXPECT_EQ(Run("EXITS0.EXE"), ChildRun::kEnded);
  EXPECT_EQ(machine_->run().openHandleCount(), startHandles_);
  EXPECT_EQ(Calls("CloseHandle").size(), 4u + 2u) << "the two pipes that were made, and the child";
}

TEST_F(ChildProcess, RegistryImportRunsSilently) {
  TestMachine& machine = *machine_;
  machine.writeFile("C:\\WINDOWS\\Zelvaran\\ZelSet95\\rq47.reg",
                    "REGEDIT4\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\Imported]\r\n"
                    "\"Text\"=\"from the package\"\r\n");

  EXPECT_EQ(Run("regedit /si \"C:\\WINDOWS\\Zelvaran\\ZelSet95\\rq47.reg\""), ChildRun::kEnded);

  EXPECT_EQ(machine.valueText(rq47test::Hklm("Software\\Zelvaran\\Imported"), "Text"),
            "from the package");
  EXPECT_TRUE(machine.run().messageBoxes().empty());
  ExpectEveryHandleClosed();
}

}  // namespace
