// winsim run, as a person runs it: the boxes in the terminal, the program's
// exit code as the tool's, the trace, and every refusal before anything on
// the machine changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_machine.h"
#include "tool_runner.h"
#include "winsim/machine.h"

namespace rq47test {
namespace {

namespace fs = std::filesystem;

const std::string kVendorKey = Hklm("Software\\Zelvaran\\RQ31DFV");

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RunCommand : public testing::Test {
 protected:
  void SetUp() override { CopyShippedMachine("win98se", machine_); }
  std::string machine() const { return machine_.string(); }

  TempDir dir_;
  fs::path machine_ = dir_.path() / "pc";
};

TEST_F(RunCommand, AFreshInstallationDrawsItsBoxAndChangesTheMachine) {
  fs::path trace = dir_.path() / "trace.txt";
  WriteWhole(trace, "an older trace that must not stay\n");
  ToolResult result = RunTool({"run", machine(), "--trace", trace.string(), "rq47set"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  // The box as drawn: caption in the frame, the text's lines, the default button.
  EXPECT_TRUE(Contains(result.err, "+- Zelvaran RQ47 Modem -")) << result.err;
  EXPECT_TRUE(Contains(result.err, "|  You have successfully installed the RQ47 Modem."))
      << result.err;
  EXPECT_TRUE(Contains(result.err, "[[ OK ]]")) << result.err;
  EXPECT_TRUE(Contains(result.err, "=> OK (default button)")) << result.err;
  EXPECT_TRUE(Contains(result.err, "rq47set ended with exit code 0")) << result.err;

  winsim::Machine after = winsim::Machine::load(machine_);
  EXPECT_EQ(after.registry.text(kVendorKey, "Version"), "3.02 Build 69");

  std::string traced = ReadWhole(trace);
  EXPECT_FALSE(Contains(traced, "older trace"));
  EXPECT_TRUE(Contains(traced, "RegCreateKeyExA(")) << traced.substr(0, 400);
  EXPECT_TRUE(Contains(traced, "MessageBoxA(")) << traced.substr(0, 400);
}

TEST_F(RunCommand, TheProgramsExitCodeIsTheToolsExitCode) {
  // A 486 does not meet the requirements: the setup ends with 100.
  winsim::Machine old = winsim::Machine::load(machine_);
  old.config.processorType = 486;
  old.saveConfig();
  ToolResult refused = RunTool({"run", machine(), "rq47set"});
  EXPECT_EQ(refused.exitCode, 100) << refused.err;
  EXPECT_TRUE(Contains(refused.err, "486 Processor found")) << refused.err;
  EXPECT_TRUE(Contains(refused.err, "rq47set ended with exit code 100")) << refused.err;

  // The uninstaller: 1 after Yes and the closing OK, in any case of the answers.
  ToolResult removed = RunTool({"run", machine(), "--answers", "YES,Ok", "zuninst.exe"});
  EXPECT_EQ(removed.exitCode, 1) << removed.err;
  EXPECT_TRUE(Contains(removed.err, "=> Yes (scripted answer 1 of 2)")) << removed.err;
}

TEST_F(RunCommand, DecliningOrTheDefaultButtonChangesNothing) {
  auto before = FolderContents(machine_);
  ToolResult declined = RunTool({"run", machine(), "--answers", "no", "zuninst"});
  EXPECT_EQ(declined.exitCode, 0) << declined.err;
  EXPECT_TRUE(Contains(declined.err, "[ Yes ]   [[ No ]]")) << declined.err;
  EXPECT_EQ(FolderContents(machine_), before);

  // No answers and no terminal: the question's default button, No.
  ToolResult unattended = RunTool({"run", machine(), "zuninst"});
  EXPECT_EQ(unattended.exitCode, 0) << unattended.err;
  EXPECT_TRUE(Contains(unattended.err, "=> No (default button)")) << unattended.err;
  EXPECT_EQ(FolderContents(machine_), before);
}

TEST_F(RunCommand, ABoxTextKeepsItsLineBreaks) {
  // An empty machine has no modem: the hardware message, whose lines end in a
  // carriage return alone, is drawn one line to a row.
  fs::path blank = dir_.path() / "blank";
  winsim::Machine::create(blank);
  ToolResult result = RunTool({"run", blank.string(), "rq47set"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.err, "|  The Modem Hardware is either not physically installed "))
      << result.err;
  EXPECT_TRUE(Contains(result.err, "|  in your PC, or auto-detection has not detected it."))
      << result.err;
}

TEST_F(RunCommand, WrongCommandLinesStopBeforeAnythingChanges) {
  auto before = FolderContents(machine_);
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {{"run", machine(), "--answers", "yes,maybe", "zuninst"}, "'maybe' is not an answer"},
      {{"run", machine(), "setup.exe"}, "'setup.exe' is not a program winsim can run"},
      {{"run", machine()}, "give the machine folder and the program"},
      {{"run", machine(), "--answer", "yes", "zuninst"}, "unknown option --answer"},
      {{"run", machine(), "--report", (dir_.path() / "no" / "r.html").string(), "zuninst"},
       "does not exist; make it first"},
      {{"run", machine(), "--trace", (dir_.path() / "no" / "t.txt").string(), "rq47set"},
       "for the trace file"},
      {{"run", (dir_.path() / "nowhere").string(), "rq47set"}, "no such machine folder"},
  };
  for (const Case& wrong : cases) {
    ToolResult result = RunTool(wrong.args);
    EXPECT_EQ(result.exitCode, 125) << wrong.said << "\n" << result.err;
    EXPECT_TRUE(Contains(result.err, wrong.said)) << result.err;
    EXPECT_FALSE(Contains(result.err, "+- ")) << "a box was drawn: " << result.err;
    EXPECT_EQ(FolderContents(machine_), before) << wrong.said;
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "nowhere"));
}

TEST_F(RunCommand, AMalformedMachineIsNamedWithItsFileAndLine) {
  std::string registry = ReadWhole(machine_ / "registry.reg");
  registry.insert(registry.find("\r\n[") + 2, "\"lost\"\r\n");  // a value line without =
  WriteWhole(machine_ / "registry.reg", registry);
  auto before = FolderContents(machine_);
  ToolResult result = RunTool({"run", machine(), "rq47set"});
  EXPECT_EQ(result.exitCode, 125);
  EXPECT_TRUE(Contains(result.err, machine() + "/registry.reg:")) << result.err;
  EXPECT_EQ(FolderContents(machine_), before);
}

TEST_F(RunCommand, AnAnswerThatFitsNoButtonStopsTheRunWith125) {
  ToolResult result = RunTool({"run", machine(), "--answers", "ok", "zuninst"});
  EXPECT_EQ(result.exitCode, 125);
  EXPECT_TRUE(Contains(result.err, "has only the buttons Yes, No")) << result.err;
  EXPECT_TRUE(Contains(result.err, "fix --answers")) << result.err;
}

}  // namespace
}  // namespace rq47test
