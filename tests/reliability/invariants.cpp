#include "invariants.h"

#include <algorithm>
#include <sstream>

#include <windows.h>

#include "system_ini_model.h"
#include "winsim/machine.h"

namespace rq47test {
namespace {

// A close that was made to fail keeps its handle open; that is winsim's doing.
bool FailedAClose(const RunOutcome& outcome) {
  return std::any_of(outcome.trace.begin(), outcome.trace.end(), [](const std::string& line) {
    std::string function = TracedFunction(line);
    return (function == "RegCloseKey" || function == "CloseHandle") &&
           line.find("injected fault") != std::string::npos;
  });
}

bool AcceptedUpgrade(const RunOutcome& outcome) {
  return std::any_of(outcome.boxes.begin(), outcome.boxes.end(), [](const auto& box) {
    return box.caption == "Zelvaran RQ47 Upgrade" && (box.style & MB_YESNO) == MB_YESNO &&
           box.result == IDYES;
  });
}

// The failing call told the program that something is not there.
bool FaultReportedAbsence(const RunInput& input) {
  if (!input.fault || input.fault->error != 0) return false;
  const std::string& function = input.fault->function;
  return function == "RegQueryValueExA" || function == "RegOpenKeyExA" ||
         function == "RegEnumKeyExA";
}

}  // namespace

uint32_t ReadFailureError(const std::string& function) {
  if (function == "RegQueryValueExA" || function == "RegEnumKeyExA") return ERROR_CANTREAD;
  if (function == "RegOpenKeyExA") return ERROR_CANTOPEN;
  return 0;
}

bool IsDocumentedExitCode(Program program, int exitCode) {
  if (program == Program::kUninstall) return exitCode == 0 || exitCode == 1;
  return (exitCode >= -3 && exitCode <= 4) || (exitCode >= 100 && exitCode <= 103);
}

size_t DriverLineCount(const std::string& systemIni) {
  size_t count = 0;
  std::istringstream lines(systemIni);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == kDriverLine) ++count;
  }
  return count;
}

RunExpectations ExpectationsOf(const Scenario& scenario) {
  return RunExpectations{
      scenario.program, {scenario.systemIniBefore, scenario.systemIniAfter}, scenario.userSettings};
}

std::vector<std::string> BrokenInvariants(const RunExpectations& expected,
                                          const std::filesystem::path& folder,
                                          const RunInput& input, const RunOutcome& outcome) {
  std::vector<std::string> broken;
  if (!outcome.crash.empty()) broken.push_back(outcome.crash);
  if (outcome.exitCode) {
    if (!IsDocumentedExitCode(expected.program, *outcome.exitCode)) {
      broken.push_back("exit code " + std::to_string(*outcome.exitCode) + " is not documented");
    }
    if (outcome.handlesLeftOpen != 0 && !FailedAClose(outcome)) {
      broken.push_back("handles left open at the end of the run");
    }
  }
  if (!outcome.reloadProblem.empty()) broken.push_back(outcome.reloadProblem);

  std::optional<std::string> ini = ReadMachineFile(folder, kSystemIni);
  if (!ini) {
    broken.push_back("system.ini is gone");
  } else {
    const std::vector<std::string>& states = expected.systemIniStates;
    bool expectedState = std::find(states.begin(), states.end(), *ini) != states.end();
    // An upgrade the user accepted removes the driver line from what was there.
    bool upgradedState = AcceptedUpgrade(outcome) && !states.empty() &&
                         *ini == WithDriverLineRemoved(states.front());
    if (!expectedState && !upgradedState) {
      broken.push_back("system.ini is neither as it was nor as a clean run leaves it");
    }
  }

  if (expected.userSettings && !FaultReportedAbsence(input)) {
    try {
      winsim::Machine machine = winsim::Machine::load(folder);
      if (KeyHolding(machine.registry, *expected.userSettings).empty()) {
        broken.push_back(
            "the user's settings are in none of the vendor, service and "
            "temporary settings keys");
      }
    } catch (const std::exception&) {
      // Reported as the reload problem.
    }
  }
  return broken;
}

void Findings::add(const std::string& run, const std::vector<std::string>& broken) {
  for (const std::string& breach : broken) {
    ++count_;
    auto it = std::find_if(groups_.begin(), groups_.end(),
                           [&](const auto& group) { return group.first == breach; });
    if (it == groups_.end()) it = groups_.insert(groups_.end(), {breach, Group{}});
    ++it->second.runs;
    if (it->second.examples.size() < 5) it->second.examples.push_back(run);
  }
}

std::string Findings::report() const {
  std::ostringstream out;
  for (const auto& [breach, group] : groups_) {
    out << breach << " (" << group.runs << " run" << (group.runs == 1 ? "" : "s") << "), e.g.:\n";
    for (const std::string& run : group.examples) out << "    " << run << "\n";
  }
  return out.str();
}

}  // namespace rq47test
