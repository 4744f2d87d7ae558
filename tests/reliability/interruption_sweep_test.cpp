// Every clean run cut short after each of its platform calls in turn, as if
// the program were killed there (or the power failed): the machine as it
// stands must keep every invariant, and running the program again must
// finish the job, leaving what the uninterrupted run leaves.
#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <sstream>

#include "invariants.h"
#include "scenarios.h"
#include "user_settings.h"
#include "whole_run.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {

const std::vector<std::string> kPlacedFiles = {
    "WINDOWS\\SYSTEM\\zuninst.exe",  "WINDOWS\\SYSTEM\\zelvcd.vxd", "WINDOWS\\SYSTEM\\rq47pci.vxd",
    "WINDOWS\\SYSTEM\\rq47pci1.vxd", "WINDOWS\\SYSTEM\\zca.cpl",    "WINDOWS\\HELP\\zca.hlp",
};
const char* const kVendorValues[] = {"Version",  "Operating System", "PNP ID",
                                     "Language", "Country",          "MicGain",
                                     "SpkrGain", "DOSboxEnabled",    "PortName"};

bool Installed(const RunOutcome& outcome) {
  return outcome.exitCode == 0 && !outcome.boxes.empty() &&
         outcome.boxes.back().text.rfind("You have successfully installed", 0) == 0;
}

// The first line where two texts differ, for a readable finding.
std::string FirstDifference(const std::string& got, const std::string& wanted) {
  std::istringstream a(got), b(wanted);
  std::string lineA, lineB;
  for (size_t line = 1;; ++line) {
    bool moreA = static_cast<bool>(std::getline(a, lineA));
    bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return "no difference";
    if (!moreA || !moreB || lineA != lineB) {
      return "line " + std::to_string(line) + " is \"" + (moreA ? lineA : "(end)") +
             "\" where the clean run has \"" + (moreB ? lineB : "(end)") + "\"";
    }
  }
}

class InterruptionSweep : public ::testing::TestWithParam<ScenarioId> {
 protected:
  void SetUp() override {
    scenario_ = &GetScenario(GetParam());
    work_ = ScratchFolder(scenario_->name + "-interrupted");
    expected_ = ExpectationsOf(*scenario_);
    // The upgrade's first run is finished by the run after the reboot, and
    // may end in what that run leaves.
    if (GetParam() == ScenarioId::kUpgradeAccepted) {
      expected_.systemIniStates.push_back(GetScenario(ScenarioId::kAfterReboot).systemIniAfter);
    }
  }

  // Runs the program again on the interrupted machine until the job is done.
  void Finish(std::vector<std::string>& broken, uint64_t stoppedAfter) {
    if (scenario_->program == Program::kUninstall) {
      FinishUninstall(broken);
    } else {
      FinishSetup(broken, stoppedAfter);
    }
  }

  // The user starts setup again; an upgrade's first run takes one more run,
  // after the reboot. The boxes take their default buttons.
  void FinishSetup(std::vector<std::string>& broken, uint64_t stoppedAfter) {
    bool installed = false;
    for (int attempt = 0; attempt < 3 && !installed && broken.empty(); ++attempt) {
      RunInput input;
      RunOutcome outcome = RunProgram(work_, Program::kSetup, input);
      ++finishingRuns_;
      for (const std::string& breach : BrokenInvariants(expected_, work_, input, outcome)) {
        broken.push_back("next run: " + breach);
      }
      installed = Installed(outcome);
    }
    if (!broken.empty()) return;
    if (!installed) {
      broken.push_back("setup run again does not complete the installation");
      return;
    }
    winsim::Machine machine = winsim::Machine::load(work_);
    for (const char* name : kVendorValues) {
      if (machine.registry.value(kVendorKey, name) == nullptr) {
        broken.push_back(std::string("after the next run the vendor key has no ") + name);
      }
    }
    if (machine.registry.text(kVendorKey, "Version") !=
        std::optional<std::string>("3.02 Build 69")) {
      broken.push_back("after the next run the vendor key's Version is not this version");
    }
    if (machine.registry.find(kTempSettingsKey) != nullptr) {
      broken.push_back("after the next run the temporary settings key is still there");
    }
    for (const std::string& file : kPlacedFiles) {
      if (!ReadMachineFile(work_, file))
        broken.push_back("after the next run " + file + " is missing");
    }
    if (GetParam() != ScenarioId::kUpgradeAccepted) {
      ExpectCleanResult(broken);
    } else if (stoppedAfter > QuestionCall()) {
      // Once the user has said Yes to the upgrade and the upgrade has begun,
      // the installation that finishes it carries the earlier settings over.
      if (ReadSettings(machine.registry, kVendorKey) != scenario_->userSettings) {
        broken.push_back(
            "the upgrade, once accepted, ends without the earlier settings in the "
            "vendor key");
      }
    }
    // Stopped before the question was answered, the upgrade was never agreed
    // to; the next run then installs as after a No, which leaves the earlier
    // settings where they were. Stopped right after the answer, before any
    // other call, the machine is the same as if stopped during the question.
  }

  // The number of the call that asks the upgrade question in the clean run.
  uint64_t QuestionCall() const {
    const std::vector<std::string>& trace = scenario_->clean.trace;
    for (size_t i = 0; i < trace.size(); ++i) {
      if (trace[i].rfind("MessageBoxA(", 0) == 0 &&
          trace[i].find("Zelvaran RQ47 Upgrade") != std::string::npos) {
        return i + 1;
      }
    }
    return trace.size();
  }

  // The user starts the uninstaller again and answers Yes.
  void FinishUninstall(std::vector<std::string>& broken) {
    RunInput input{{IDYES}, std::nullopt, std::nullopt};
    RunOutcome outcome = RunProgram(work_, Program::kUninstall, input);
    ++finishingRuns_;
    for (const std::string& breach : BrokenInvariants(expected_, work_, input, outcome)) {
      broken.push_back("next run: " + breach);
    }
    if (outcome.exitCode != 1) broken.push_back("the uninstaller run again does not end with 1");
    for (const std::string& file : kPlacedFiles) {
      if (ReadMachineFile(work_, file)) broken.push_back("after the next run " + file + " is left");
    }
    ExpectCleanResult(broken);
  }

  void ExpectCleanResult(std::vector<std::string>& broken) {
    std::string registry = RegistryText(work_);
    if (registry != scenario_->registryAfter) {
      broken.push_back("after the next run the registry is not as the clean run leaves it: " +
                       FirstDifference(registry, scenario_->registryAfter));
    }
    if (ReadMachineFile(work_, kSystemIni) != scenario_->systemIniAfter) {
      broken.push_back("after the next run system.ini is not as the clean run leaves it");
    }
  }

  const Scenario* scenario_ = nullptr;
  fs::path work_;
  RunExpectations expected_;
  size_t finishingRuns_ = 0;
};

TEST_P(InterruptionSweep, EveryInterruptedRunIsFinishedByTheNext) {
  const uint64_t calls = scenario_->clean.calls;
  ASSERT_GT(calls, 0u);
  Findings findings;
  for (uint64_t k = 0; k < calls; ++k) {
    CopyMachineFolder(scenario_->start, work_);
    RunInput input{scenario_->answers, std::nullopt, k};
    RunOutcome outcome = RunProgram(work_, scenario_->program, input);

    std::vector<std::string> broken = BrokenInvariants(expected_, work_, input, outcome);
    // A run may also end by itself when nothing but closing handles was left.
    if (outcome.exitCode && outcome.calls > k) {
      broken.push_back("the run was not stopped where it was cut short");
    }
    if (broken.empty()) Finish(broken, k);
    std::string where = k == 0 ? std::string("before the first call")
                               : "after call " + std::to_string(k) + ": " +
                                     scenario_->clean.trace[static_cast<size_t>(k - 1)];
    findings.add("stopped " + where, broken);
  }
  std::cout << "[ interruption sweep ] " << scenario_->name << ": " << calls
            << " interrupted runs, " << finishingRuns_ << " runs after them\n";
  RecordProperty("runs", static_cast<int>(calls + finishingRuns_));
  EXPECT_TRUE(findings.empty()) << scenario_->name << ":\n" << findings.report();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, InterruptionSweep, ::testing::ValuesIn(kAllScenarios),
                         [](const auto& info) { return ScenarioName(info.param); });

}  // namespace
}  // namespace rq47test
