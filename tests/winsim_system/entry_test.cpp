// The entry as a person meets it: a program built on winsim run as a process
// on a machine folder, with its exit status, what it says on standard error,
// and the machine it leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_machine.h"
#include "winsim/machine.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using rq47test::TempDir;

constexpr const char* kProbeName = "winsim_entry_probe";

struct Outcome {
  int status = -1;  // the exit status, -1 when it did not exit
  std::string errorText;
  std::vector<std::string> errorLines;
};

// Runs the probe with the WINSIM_ variables given (the test's own are dropped),
// standard input from /dev/null.
Outcome RunProbe(const std::map<std::string, std::string>& variables) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    if (text.rfind("WINSIM_", 0) != 0 && text.rfind("PROBE_", 0) != 0) env.push_back(text);
  }
  for (const auto& [name, value] : variables) env.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  std::string program = WINSIM_ENTRY_PROBE;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = 0;
  int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (failed != 0) {
    ::close(fds[0]);
    throw std::runtime_error("cannot start " + program);
  }
  Outcome outcome;
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) {
    outcome.errorText.append(buffer, static_cast<size_t>(got));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

TEST_F(Entry, AStoppedRunKeepsWhatTheProgramWroteAndEndsWith125) {
  // An answer the box has no button for.
  Outcome mismatch = RunProbe({{"WINSIM_MACHINE", folder().string()}, {"WINSIM_ANSWERS", "ok"}});
  EXPECT_EQ(mismatch.status, 125);
  EXPECT_NE(mismatch.errorText.find("OK"), std::string::npos) << mismatch.errorText;
  EXPECT_NE(mismatch.errorText.find("Yes, No"), std::string::npos) << mismatch.errorText;
  EXPECT_EQ(probeValue(), "ran");
  ASSERT_FALSE(mismatch.errorLines.empty());
  EXPECT_EQ(mismatch.errorLines.back(),
            std::string("winsim: ") + kProbeName + " ended with exit code 125");

  // A wait that would never end.
  std::ofstream(folder() / "registry.reg", std::ios::binary) << "REGEDIT4\r\n";
  Outcome deadlock = RunProbe({{"WINSIM_MACHINE", folder().string()}, {"PROBE_HANG", "1"}});
  EXPECT_EQ(deadlock.status, 125);
  EXPECT_NE(deadlock.errorText.find("hang.exe"), std::string::npos) << deadlock.errorText;
  EXPECT_EQ(deadlock.errorText.find("Keep the probe's value?"), std::string::npos);
  EXPECT_EQ(probeValue(), "ran");
}

}  // namespace
