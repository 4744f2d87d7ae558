// Every platform call of a clean run, made to fail alone with the error
// Windows would give, in a run of its own from the same starting machine; and
// every registry read once more with the error of a registry that cannot be
// read, which unlike "not found" tells the program nothing about what is there.
#include <gtest/gtest.h>

#include <iostream>

#include "invariants.h"
#include "scenarios.h"
#include "whole_run.h"

namespace rq47test {
namespace {

class FaultSweep : public ::testing::TestWithParam<ScenarioId> {
 protected:
  // Runs the scenario once with the call failing; false when the fault did
  // not land on the call it was aimed at.
  void RunWithFault(const Scenario& scenario, size_t index, uint32_t error) {
    const TracedCall& call = calls_[index];
    CopyMachineFolder(scenario.start, work_);
    RunInput input{scenario.answers, winsim::FaultRule{call.function, "", call.occurrence, error},
                   std::nullopt};
    RunOutcome outcome = RunProgram(work_, scenario.program, input);
    ++runs_;

    std::vector<std::string> broken =
        BrokenInvariants(ExpectationsOf(scenario), work_, input, outcome);
    // Up to the failing call the run repeats the clean one, so the fault
    // lands on the call it names.
    if (outcome.trace.size() <= index ||
        outcome.trace[index].find("injected fault") == std::string::npos) {
      broken.push_back("the fault did not land on the call it was aimed at");
    }
    findings_.add("call " + std::to_string(index + 1) + " failing with " +
                      (error == 0 ? std::string("its default error") : std::to_string(error)) +
                      ": " + scenario.clean.trace[index],
                  broken);
  }

  std::vector<TracedCall> calls_;
  std::filesystem::path work_;
  Findings findings_;
  size_t runs_ = 0;
};

TEST_P(FaultSweep, NoSingleFailingCallBreaksTheMachine) {
  const Scenario& scenario = GetScenario(GetParam());
  calls_ = TracedCalls(scenario.clean.trace);
  ASSERT_FALSE(calls_.empty());
  work_ = ScratchFolder(scenario.name + "-fault");

  for (size_t index = 0; index < calls_.size(); ++index) {
    RunWithFault(scenario, index, 0);
    if (uint32_t readError = ReadFailureError(calls_[index].function); readError != 0) {
      RunWithFault(scenario, index, readError);
    }
  }
  std::cout << "[ fault sweep ] " << scenario.name << ": " << calls_.size() << " calls, " << runs_
            << " runs\n";
  RecordProperty("runs", static_cast<int>(runs_));
  EXPECT_TRUE(findings_.empty()) << scenario.name << ":\n" << findings_.report();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweep, ::testing::ValuesIn(kAllScenarios),
                         [](const auto& info) { return ScenarioName(info.param); });

}  // namespace
}  // namespace rq47test
