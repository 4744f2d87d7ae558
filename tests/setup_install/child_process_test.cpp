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

  // Each handle closed once: none left open, none closed twice.
  void ExpectEveryHandleClosed() {
    EXPECT_EQ(machine_->run().openHandleCount(), startHandles_)
        << "a pipe, process or thread handle was left open";
    for (const std::string& close : Calls("CloseHandle")) {
      EXPECT_NE(close.find(") = TRUE"), std::string::npos) << close;
    }
  }

  std::unique_ptr<TestMachine> machine_;
  size_t startHandles_ = 0;
};

TEST_F(ChildProcess, ChildThatEndsGivesZeroWhateverItsExitCode) {
  EXPECT_EQ(Run("EXITS0.EXE"), ChildRun::kEnded);
  ExpectEveryHandleClosed();

  EXPECT_EQ(Run("EXITS5.EXE"), ChildRun::kEnded);
  ExpectEveryHandleClosed();
}

TEST_F(ChildProcess, ChildGetsThreePipesAndTheWholeCommandLine) {
  ASSERT_EQ(Run("EXITS0.EXE /quiet"), ChildRun::kEnded);

  EXPECT_EQ(Calls("CreatePipe").size(), 3u);
  std::vector<std::string> started = Calls("CreateProcessA");
  ASSERT_EQ(started.size(), 1u);
  std::vector<std::string> texts = rq47test::TextArguments(started.front());
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "EXITS0.EXE /quiet") << "the whole command line goes to the child";
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
  ExpectEveryHandleClosed();
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
