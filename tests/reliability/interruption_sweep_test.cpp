// Every clean run cut short after each of its platform calls in turn, as if
// the program were killed there or the power failed, with the registry as it
// stood at the cut or as it was when the run started (files as written
// either way): the machine as it stands must keep every invariant, and
// running the program again must finish the job, leaving what the
// uninterrupted runs leave.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iostream>
#include <tuple>

#include "invariants.h"
#include "machine_changes.h"
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

bool AskedUpgrade(const RunOutcome& outcome) {
  return std::any_of(outcome.boxes.begin(), outcome.boxes.end(), [](const auto& box) {
    return box.caption == "Zelvaran RQ47 Upgrade" && (box.style & MB_YESNO) == MB_YESNO;
  });
}

class InterruptionSweep : public ::testing::TestWithParam<std::tuple<ScenarioId, PowerLoss>> {
 protected:
  void SetUp() override {
    scenario_ = &GetScenario(std::get<0>(GetParam()));
    powerLoss_ = std::get<1>(GetParam());
    // An upgrade's first run is finished by the run after the reboot.
    finished_ = &GetScenario(scenario_->finishedBy);
    work_ = ScratchFolder(scenario_->name + "-interrupted");
    expected_ = ExpectationsOf(*scenario_);
    if (finished_ != scenario_) expected_.systemIniStates.push_back(finished_->systemIniAfter);
  }

  // Runs the program again on the interrupted machine until the job is done.
  void Finish(std::vector<std::string>& broken) {
    if (scenario_->program == Program::kUninstall) {
      FinishUninstall(broken);
    } else {
      FinishSetup(broken);
    }
  }

  // The user starts setup again; an upgrade's first run takes one more run,
  // after the reboot. The boxes take their default buttons: an upgrade cut
  // short before it removed the old keys is offered again and accepted.
  void FinishSetup(std::vector<std::string>& broken) {
    bool installed = false;
    bool askedUpgrade = false;
    for (int attempt = 0; attempt < 3 && !installed && broken.empty(); ++attempt) {
      RunInput input;
      RunOutcome outcome = RunProgram(work_, Program::kSetup, input);
      ++finishingRuns_;
      for (const std::string& breach : BrokenInvariants(expected_, work_, input, outcome)) {
        broken.push_back("next run: " + breach);
      }
      installed = Installed(outcome);
      askedUpgrade = askedUpgrade || AskedUpgrade(outcome);
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
    if (scenario_->userSettings &&
        ReadSettings(machine.registry, kVendorKey) != scenario_->userSettings) {
      broken.push_back("after the next run the vendor key does not hold the user's settings");
    }
    for (const std::string& file : kPlacedFiles) {
      if (!ReadMachineFile(work_, file))
        broken.push_back("after the next run " + file + " is missing");
    }
    ExpectCleanResult(broken, askedUpgrade);
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
    ExpectCleanResult(broken, false);
  }

  // The registry, system.ini and the backup folder as the clean runs leave
  // them: the archive holds the previous version's files byte for byte, and
  // those the upgrade deleted. A vendor key that a cut left before its
  // Version holds nothing of an earlier version: the next run installs.
  void ExpectCleanResult(std::vector<std::string>& broken, bool askedUpgrade) {
    std::string differences =
        RegistryDifferences(finished_->registryAfter, winsim::Machine::load(work_).registry);
    if (!differences.empty()) {
      broken.push_back("after the next run the registry is not as the clean run leaves it:\n" +
                       differences);
    }
    if (ReadMachineFile(work_, kSystemIni) != finished_->systemIniAfter) {
      broken.push_back("after the next run system.ini is not as the clean run leaves it");
    }
    if (finished_->archiveAfter.empty() && askedUpgrade) {
      broken.push_back("the next run offers an upgrade where there was no earlier version");
    }
    FileContents archive = ArchiveFiles(work_);
    for (const auto& [name, bytes] : finished_->archiveAfter) {
      auto found = archive.find(name);
      if (found == archive.end()) {
        broken.push_back("after the next run the archive lacks " + name);
      } else if (found->second != bytes) {
        broken.push_back("after the next run the archive's " + name +
                         " is not the previous version's");
      }
    }
    if (archive.size() != finished_->archiveAfter.size()) {
      broken.push_back("after the next run the archive holds other files than the clean run's");
    }
  }

  const Scenario* scenario_ = nullptr;
  const Scenario* finished_ = nullptr;
  PowerLoss powerLoss_ = PowerLoss::kRegistryAsAtCut;
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
    RunInput input{scenario_->answers, std::nullopt, k, powerLoss_};
    RunOutcome outcome = RunProgram(work_, scenario_->program, input);

    std::vector<std::string> broken = BrokenInvariants(expected_, work_, input, outcome);
    // A run may also end by itself when nothing but closing handles was left.
    if (outcome.exitCode && outcome.calls > k) {
      broken.push_back("the run was not stopped where it was cut short");
    }
    if (broken.empty()) Finish(broken);
    std::string where = k == 0 ? std::string("before the first call")
                               : "after call " + std::to_string(k) + ": " +
                                     scenario_->clean.trace[static_cast<size_t>(k - 1)];
    findings.add("stopped " + where, broken);
  }
  std::cout << "[ interruption sweep ] " << scenario_->name << ", " << PowerLossName(powerLoss_)
            << ": " << calls << " interrupted runs, " << finishingRuns_ << " runs after them\n";
  RecordProperty("runs", static_cast<int>(calls + finishingRuns_));
  EXPECT_TRUE(findings.empty()) << scenario_->name << ":\n" << findings.report();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, InterruptionSweep,
                         ::testing::Combine(::testing::ValuesIn(kAllScenarios),
                                            ::testing::Values(PowerLoss::kRegistryAsAtCut,
                                                              PowerLoss::kRegistryAsAtStart)),
                         [](const auto& info) {
                           return ScenarioName(std::get<0>(info.param)) + "_" +
                                  PowerLossName(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace rq47test
