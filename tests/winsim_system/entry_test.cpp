// The entry as a person meets it: a program built on winsim run as a process
// on a machine folder, with its exit status, what it says on standard error,
// and the machine it leaves.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "test_machine.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace {

using rq47test::ChildEnd;
using rq47test::ChildOptions;
using rq47test::RunChild;
using rq47test::TempDir;

constexpr const char* kProbeName = "winsim_entry_probe";

struct Outcome {
  int status = -1;  // the exit status, -1 when it did not exit
  std::string errorText;
  std::vector<std::string> errorLines;
};

ChildOptions ProbeOptions(const std::map<std::string, std::string>& variables) {
  ChildOptions options;
  options.argv = {WINSIM_ENTRY_PROBE};
  options.env = variables;
  return options;
}

// Runs the probe with the WINSIM_ variables given (the test's own are dropped),
// standard input from /dev/null.
Outcome RunProbe(const std::map<std::string, std::string>& variables) {
  ChildEnd end = RunChild(ProbeOptions(variables));
  Outcome outcome;
  outcome.status = end.exitCode;
  outcome.errorText = end.err;
  std::istringstream lines(outcome.errorText);
  for (std::string line; std::getline(lines, line);) outcome.errorLines.push_back(line);
  return outcome;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

class Entry : public ::testing::Test {
 protected:
  Entry() {
    winsim::MachineConfig config;
    config.programs["hang.exe"] = {winsim::ProgramBehaviour::Kind::Runs, 0};
    winsim::Machine::create(folder(), config);
  }
  fs::path folder() const { return dir_.path() / "machine"; }
  std::string registryFile() const { return ReadFile(folder() / "registry.reg"); }
  std::optional<std::string> probeValue() const {
    return winsim::Machine::load(folder()).registry.text("HKEY_LOCAL_MACHINE\\Software\\Probe",
                                                         "State");
  }

 private:
  TempDir dir_;
};

TEST_F(Entry, RunsTheProgramShowsItsBoxAndSavesWhatItWrote) {
  fs::path trace = folder().parent_path() / "trace.txt";
  Outcome outcome = RunProbe({{"WINSIM_MACHINE", folder().string()},
                              {"WINSIM_ANSWERS", "Yes"},
                              {"WINSIM_TRACE", trace.string()}});
  EXPECT_EQ(outcome.status, 3) << outcome.errorText;
  EXPECT_NE(outcome.errorText.find("Probe"), std::string::npos);
  EXPECT_NE(outcome.errorText.find("It is harmless."), std::string::npos);
  EXPECT_NE(outcome.errorText.find("=> Yes (scripted answer 1 of 1)"), std::string::npos)
      << outcome.errorText;
  ASSERT_FALSE(outcome.errorLines.empty());
  EXPECT_EQ(outcome.errorLines.back(),
            std::string("winsim: ") + kProbeName + " ended with exit code 3");
  EXPECT_EQ(probeValue(), "ran");

  const std::string traced = ReadFile(trace);
  EXPECT_NE(traced.find("RegCreateKeyExA(HKLM, \"Software\\\\Probe\""), std::string::npos)
      << traced;
  EXPECT_NE(traced.find("MessageBoxA(NULL, \"Keep the probe's value?"), std::string::npos)
      << traced;
}

TEST_F(Entry, ANegativeExitCodeIsReportedWithTheStatusItBecomes) {
  // No answers and no terminal: the default button, No.
  Outcome outcome = RunProbe({{"WINSIM_MACHINE", folder().string()}});
  EXPECT_EQ(outcome.status, 254) << outcome.errorText;
  EXPECT_NE(outcome.errorText.find("=> No (default button)"), std::string::npos);
  ASSERT_FALSE(outcome.errorLines.empty());
  EXPECT_EQ(outcome.errorLines.back(), std::string("winsim: ") + kProbeName +
                                           " ended with exit code -2 (the process status is 254)");
}

TEST_F(Entry, AMachineThatCannotBeUsedStopsBeforeTheProgramWithOneLine) {
  Outcome unset = RunProbe({});
  EXPECT_EQ(unset.status, 125);
  ASSERT_EQ(unset.errorLines.size(), 1u) << unset.errorText;
  EXPECT_NE(unset.errorLines[0].find("WINSIM_MACHINE is not set"), std::string::npos);

  const std::string missing = (folder().parent_path() / "absent").string();
  Outcome absent = RunProbe({{"WINSIM_MACHINE", missing}});
  EXPECT_EQ(absent.status, 125);
  ASSERT_EQ(absent.errorLines.size(), 1u) << absent.errorText;
  EXPECT_EQ(absent.errorLines[0].rfind("winsim: " + missing + ": ", 0), 0u) << absent.errorText;

  std::ofstream(folder() / "machine.ini", std::ios::binary) << "[Hardware]\r\nMemory=much\r\n";
  const std::string before = registryFile();
  Outcome badIni = RunProbe({{"WINSIM_MACHINE", folder().string()}, {"WINSIM_ANSWERS", "yes"}});
  EXPECT_EQ(badIni.status, 125);
  ASSERT_EQ(badIni.errorLines.size(), 1u) << badIni.errorText;
  EXPECT_EQ(badIni.errorLines[0].rfind("winsim: " + folder().string() + "/machine.ini:2: ", 0), 0u)
      << badIni.errorText;
  EXPECT_EQ(registryFile(), before);
}

TEST_F(Entry, BadAnswersStopBeforeTheProgramAndChangeNothing) {
  const std::string before = registryFile();
  Outcome outcome =
      RunProbe({{"WINSIM_MACHINE", folder().string()}, {"WINSIM_ANSWERS", "yes,maybe"}});
  EXPECT_EQ(outcome.status, 125);
  ASSERT_EQ(outcome.errorLines.size(), 1u) << outcome.errorText;
  EXPECT_NE(outcome.errorLines[0].find("WINSIM_ANSWERS"), std::string::npos);
  EXPECT_NE(outcome.errorLines[0].find("maybe"), std::string::npos);
  EXPECT_EQ(registryFile(), before);
}

TEST_F(Entry, ARunWinsimCannotFinishChangesNothingAndSaysSo) {
  const std::string before = registryFile();
  const std::string asBefore = "the machine is as it was before the run, registry and files";
  // An answer the box has no button for.
  Outcome mismatch = RunProbe({{"WINSIM_MACHINE", folder().string()}, {"WINSIM_ANSWERS", "ok"}});
  EXPECT_EQ(mismatch.status, 125);
  EXPECT_NE(mismatch.errorText.find("has only the buttons Yes, No; fix WINSIM_ANSWERS"),
            std::string::npos)
      << mismatch.errorText;
  ASSERT_FALSE(mismatch.errorLines.empty());
  EXPECT_EQ(mismatch.errorLines.back(),
            std::string("winsim: ") + kProbeName + " did not finish (exit code 125): " + asBefore);
  EXPECT_EQ(registryFile(), before);

  // A wait that would never end.
  Outcome deadlock = RunProbe({{"WINSIM_MACHINE", folder().string()}, {"PROBE_HANG", "1"}});
  EXPECT_EQ(deadlock.status, 125);
  EXPECT_NE(deadlock.errorText.find("hang.exe"), std::string::npos) << deadlock.errorText;
  EXPECT_EQ(deadlock.errorText.find("Keep the probe's value?"), std::string::npos);
  ASSERT_FALSE(deadlock.errorLines.empty());
  EXPECT_NE(deadlock.errorLines.back().find(asBefore), std::string::npos) << deadlock.errorText;
  EXPECT_EQ(registryFile(), before);
  EXPECT_FALSE(fs::exists(folder() / ".winsim"));
}

TEST_F(Entry, StoppedAtABoxBySignalTheRunChangesNothingAndEndsByThatSignal) {
  const std::string before = registryFile();
  const struct {
    int signal;
    const char* said;
  } cases[] = {{SIGINT, "Ctrl-C (SIGINT)"}, {SIGTERM, "SIGTERM"}};
  for (const auto& stop : cases) {
    ChildOptions options = ProbeOptions({{"WINSIM_MACHINE", folder().string()}});
    options.terminal = true;
    rq47test::Child probe(options);
    ASSERT_TRUE(probe.waitForError("Press [Y]es, [N]o")) << stop.said;
    probe.signal(stop.signal);
    ChildEnd end = probe.wait();
    EXPECT_EQ(end.signal, stop.signal) << end.err;
    EXPECT_NE(end.err.find(std::string(kProbeName) + " was stopped by " + stop.said +
                           " at the box \"Probe\": the machine is as it was before the run"),
              std::string::npos)
        << end.err;
    EXPECT_EQ(registryFile(), before) << stop.said;
  }
}

TEST_F(Entry, OneRunHoldsTheMachineAndAnotherIsRefusedOrWaits) {
  ChildOptions options = ProbeOptions({{"WINSIM_MACHINE", folder().string()}});
  options.terminal = true;
  rq47test::Child holder(options);
  ASSERT_TRUE(holder.waitForError("Press [Y]es, [N]o"));

  Outcome refused = RunProbe({{"WINSIM_MACHINE", folder().string()}});
  EXPECT_EQ(refused.status, 125);
  ASSERT_EQ(refused.errorLines.size(), 1u) << refused.errorText;
  EXPECT_NE(refused.errorLines[0].find("is in use by " + std::string(kProbeName) + " (process " +
                                       std::to_string(holder.pid()) + ", since "),
            std::string::npos)
      << refused.errorText;
  EXPECT_NE(refused.errorLines[0].find("WINSIM_WAIT=1"), std::string::npos);

  rq47test::Child waiter(ProbeOptions(
      {{"WINSIM_MACHINE", folder().string()}, {"WINSIM_WAIT", "1"}, {"WINSIM_ANSWERS", "no"}}));
  ASSERT_TRUE(waiter.waitForError("waiting for it to be free"));
  holder.type("y");
  EXPECT_EQ(holder.wait().exitCode, 3);
  ChildEnd waited = waiter.wait();
  EXPECT_EQ(waited.exitCode, 254) << waited.err;
  EXPECT_EQ(probeValue(), "ran");
  EXPECT_FALSE(fs::exists(folder() / ".winsim"));
}

TEST_F(Entry, ATraceFileInsideTheMachineOrOneThatCannotBeWrittenIsRefusedFirst) {
  fs::path readOnly = folder().parent_path() / "read-only.txt";
  std::ofstream(readOnly) << "kept\n";
  fs::permissions(readOnly, fs::perms::owner_read);
  const std::string cases[] = {
      (folder() / "trace.txt").string(),
      (folder() / "drive_c" / "WINDOWS" / "trace.txt").string(),
      readOnly.string(),
      folder().parent_path().string(),
      (folder().parent_path() / "missing" / "trace.txt").string(),
      (folder().parent_path() / "linked-registry.txt").string(),  // another name of registry.reg
  };
  fs::create_hard_link(folder() / "registry.reg", folder().parent_path() / "linked-registry.txt");
  const std::string before = registryFile();
  for (const std::string& trace : cases) {
    Outcome outcome = RunProbe({{"WINSIM_MACHINE", folder().string()},
                                {"WINSIM_ANSWERS", "yes"},
                                {"WINSIM_TRACE", trace}});
    EXPECT_EQ(outcome.status, 125) << trace;
    ASSERT_EQ(outcome.errorLines.size(), 1u) << outcome.errorText;
    EXPECT_EQ(outcome.errorLines[0].rfind("winsim: WINSIM_TRACE: ", 0), 0u) << outcome.errorText;
    EXPECT_EQ(registryFile(), before);
  }
  EXPECT_FALSE(fs::exists(folder() / "trace.txt"));
  EXPECT_EQ(ReadFile(readOnly), "kept\n");
}

TEST_F(Entry, WinsimWaitTakesTheUsualSpellingsAndRefusesOthers) {
  const struct {
    const char* value;
    int status;  // 254: the probe ran and was answered No
  } cases[] = {{"1", 254},     {"yes", 254}, {"TRUE", 254},  {"0", 254}, {"no", 254},
               {"false", 254}, {"", 254},    {"maybe", 125}, {"2", 125}};
  for (const auto& trial : cases) {
    Outcome outcome = RunProbe({{"WINSIM_MACHINE", folder().string()},
                                {"WINSIM_ANSWERS", "no"},
                                {"WINSIM_WAIT", trial.value}});
    EXPECT_EQ(outcome.status, trial.status) << trial.value << "\n" << outcome.errorText;
    if (trial.status == 125) {
      EXPECT_NE(outcome.errorText.find("WINSIM_WAIT: '" + std::string(trial.value) +
                                       "' is neither yes nor no"),
                std::string::npos)
          << outcome.errorText;
      EXPECT_FALSE(fs::exists(folder() / ".winsim"));
    }
  }
}

}  // namespace
