// The archive of an upgrade that was cut short and run again. The archive
// reads the previous version's INF copies by their short names, so it keeps
// the right files only while each short name stays with its file.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "scenarios.h"
#include "whole_run.h"

namespace rq47test {
namespace {

const std::string kInfFolder = "WINDOWS\\INF\\Other\\";
const std::string kBackupFolder = "WINDOWS\\Zelvaran\\zelbak95\\";

// Seen: the first run cut right after it deleted the modem's INF copy; the
// run after it archived the wave INF as ZQRTMODM.INF and the modem INF was lost.
TEST(InterruptedArchive, AnUpgradeCutAfterItsFirstInfWasDeletedKeepsBothInfsArchived) {
  const Scenario& upgrade = GetScenario(ScenarioId::kServiceKeyUpgrade);
  std::optional<std::string> modemInf =
      ReadMachineFile(upgrade.start, kInfFolder + "Zelvaran IncZQRTMODM.inf");
  std::optional<std::string> waveInf =
      ReadMachineFile(upgrade.start, kInfFolder + "ZelvaranSERWAVE.inf");
  ASSERT_TRUE(modemInf && waveInf) << "the upgrade's machine has no INF copies";
  ASSERT_NE(*modemInf, *waveInf);

  uint64_t cut = 0;
  const std::vector<std::string>& trace = upgrade.clean.trace;
  for (size_t i = 0; i < trace.size() && cut == 0; ++i) {
    if (trace[i].rfind("DeleteFileA(", 0) == 0 && trace[i].find(".inf") != std::string::npos) {
      cut = i + 1;
    }
  }
  ASSERT_NE(cut, 0u) << "the clean upgrade deletes no INF copy";

  std::filesystem::path work = ScratchFolder("archive-after-cut");
  CopyMachineFolder(upgrade.start, work);
  RunOutcome first = RunProgram(work, Program::kSetup, {upgrade.answers, std::nullopt, cut});
  ASSERT_TRUE(first.interrupted) << first.crash;
  ASSERT_EQ(ReadMachineFile(work, kInfFolder + "Zelvaran IncZQRTMODM.inf"), std::nullopt);

  RunOutcome again = RunProgram(work, Program::kSetup, {upgrade.answers, std::nullopt, {}});
  ASSERT_TRUE(again.exitCode) << again.crash;

  EXPECT_EQ(ReadMachineFile(work, kBackupFolder + "ZQRTMODM.INF"), modemInf);
  EXPECT_EQ(ReadMachineFile(work, kBackupFolder + "SERWAVE.INF"), waveInf);
}

}  // namespace
}  // namespace rq47test
