// What every run of a scenario must leave, however it ended: no crash, an exit
// code the program documents, system.ini as it was or as the clean run leaves
// it, the user's settings still in one of the settings keys, and a machine
// folder that loads.
#ifndef RQ47_TESTS_RELIABILITY_INVARIANTS_H
#define RQ47_TESTS_RELIABILITY_INVARIANTS_H

#include <filesystem>
#include <string>
#include <vector>

#include "scenarios.h"
#include "whole_run.h"

namespace rq47test {

// Exit codes the program documents: rq47set 0, 1 to 4, -1 to -3, 100
// (requirements not met), 101 (previous version not archived), 102
// (package incomplete) and 103 (a file not placed); zuninst 0 and 1.
bool IsDocumentedExitCode(Program program, int exitCode);

// What any run may leave.
struct RunExpectations {
  Program program = Program::kSetup;
  // system.ini as it may be afterwards, byte for byte; the first is system.ini
  // as it was before the run.
  std::vector<std::string> systemIniStates;
  // The settings that must still be in one of the settings keys.
  std::optional<UserSettings> userSettings;
};

// A run of the scenario may leave system.ini as it was or as the clean run leaves it.
RunExpectations ExpectationsOf(const Scenario& scenario);

// The invariants of one run that left `folder`; one line for each that does
// not hold, empty when all hold.
//
// A run may take another documented path than the clean one, and is held to
// that path: when the upgrade question was answered Yes, system.ini may be as
// the upgrade leaves it. When the failing call was a registry read that told
// the program a value or key is not there, the program cannot know the
// user's settings exist, so they are not looked for; the sweep fails the same
// reads once more with a read error, and then they are.
std::vector<std::string> BrokenInvariants(const RunExpectations& expected,
                                          const std::filesystem::path& folder,
                                          const RunInput& input, const RunOutcome& outcome);

// The error a registry read fails with when the registry cannot be read (as
// opposed to the value or key not being there); 0 for other functions.
uint32_t ReadFailureError(const std::string& function);

// Driver lines ("device = zelvcd.vxd" lines) of a system.ini.
size_t DriverLineCount(const std::string& systemIni);

// Collects the broken invariants of many runs and reports them grouped, so a
// fault that breaks hundreds of runs reads as one finding with examples.
class Findings {
 public:
  void add(const std::string& run, const std::vector<std::string>& broken);
  bool empty() const { return count_ == 0; }
  // One line per kind of breach, with how many runs broke it and the first few.
  std::string report() const;

 private:
  struct Group {
    size_t runs = 0;
    std::vector<std::string> examples;
  };
  std::vector<std::pair<std::string, Group>> groups_;
  size_t count_ = 0;
};

}  // namespace rq47test

#endif  // RQ47_TESTS_RELIABILITY_INVARIANTS_H
