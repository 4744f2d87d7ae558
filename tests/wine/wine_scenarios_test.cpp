// Every scenario run end to end twice: under Wine with the Windows programs,
// and on winsim with the host programs. After each step both show the same
// boxes in the same order, end with the same exit code and leave the same
// registry below the keys the programs touch and the same files.
//
// The Windows programs are the shipping win32 executables as the ZIP holds
// them, under the 32-bit Wine as Windows 98 and again as Windows 95; one
// scenario runs them as copied off the floppy image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "scenario.h"
#include "test_machine.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace rq47wine {
namespace {

constexpr const char* kVendorKey = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV";
constexpr const char* kTemporaryKey = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31";
constexpr const char* kServiceKey =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\RQ31DFV";
constexpr const char* kModemCaption = "Zelvaran RQ47 Modem";
constexpr const char* kUpgradeCaption = "Zelvaran RQ47 Upgrade";

// A session of this test process for each kind of run, made when the first
// test needs it.
struct SessionState {
  std::unique_ptr<WineSession> session;
  std::string skipReason;  // the host cannot run the scenarios
  std::string failure;     // the host should, but the session did not start
};

SessionState& State(const WineRunKind& kind) {
  static std::map<std::string, SessionState> states;
  auto found = states.find(kind.name());
  if (found != states.end()) return found->second;
  SessionState& made = states[kind.name()];
  std::string missing;
  std::optional<WineSetup> setup = FindWineSetup(kind, &missing);
  if (!setup) {
    made.skipReason = missing;
    return made;
  }
  try {
    made.session = std::make_unique<WineSession>(*setup);
  } catch (const std::exception& error) {
    made.failure = error.what();
  }
  return made;
}

// What the Wine side's machine holds after a step, for the checks that the
// step did what the scenario is about (both sides agree by then).
class Outcome {
 public:
  explicit Outcome(const StepResult& step) : machine_(winsim::Machine::load(step.wineMachine)) {}
  bool hasKey(const std::string& key) const { return machine_.registry.find(key) != nullptr; }
  std::optional<std::string> text(const std::string& key, const std::string& value) const {
    return machine_.registry.text(key, value);
  }
  bool hasFile(const std::string& relative) const {
    return fs::exists(machine_.driveFolder('C') / relative);
  }
  std::string file(const std::string& relative) const {
    std::ifstream in(machine_.driveFolder('C') / relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  winsim::Machine machine_;
};

class ScenarioSteps : public ::testing::Test {
 protected:
  virtual WineRunKind kind() const = 0;

  void SetUp() override {
    SessionState& state = State(kind());
    if (!state.skipReason.empty()) GTEST_SKIP() << state.skipReason;
    ASSERT_TRUE(state.failure.empty()) << state.failure;
  }

  // A scenario on a copy of the shipped machine; skipped when that machine is not shipped.
  std::unique_ptr<Scenario> Start(const std::string& machine) {
    if (!fs::is_directory(rq47test::SourceDir() / "machines" / machine)) return nullptr;
    return std::make_unique<Scenario>(*State(kind()).session, machine);
  }

  // Runs the step on both sides and expects them alike.
  StepResult Step(Scenario& scenario, const std::string& program, const std::string& answers) {
    StepResult step = scenario.run(program, answers);
    EXPECT_EQ(step.winsimExitCode, step.wineExitCode) << step.report();
    EXPECT_EQ(step.winsimBoxes, step.wineBoxes) << step.report();
    EXPECT_TRUE(step.differences.empty()) << step.report();
    return step;
  }
};

// Every scenario with the executables of the ZIP, as Windows 98 and as Windows 95.
class WineScenario : public ScenarioSteps, public ::testing::WithParamInterface<WineRunKind> {
 protected:
  WineRunKind kind() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(ShippedZip, WineScenario,
                         ::testing::Values(WineRunKind{ProgramSource::Package, "win98"},
                                           WineRunKind{ProgramSource::Package, "win95"}),
                         [](const ::testing::TestParamInfo<WineRunKind>& info) {
                           return info.param.windowsVersion == "win95" ? "Windows95" : "Windows98";
                         });

// The executables copied off the floppy image, as Windows 98.
class WineFloppyScenario : public ScenarioSteps {
 protected:
  WineRunKind kind() const override { return {ProgramSource::Floppy, "win98"}; }
};

#define START_OR_SKIP(scenario, machine)               \
  std::unique_ptr<Scenario> scenario = Start(machine); \
  if (!scenario) GTEST_SKIP() << "machines/" << machine << " is not in the repository"

TEST_P(WineScenario, FreshInstallation) {
  START_OR_SKIP(scenario, "win98se");
  StepResult install = Step(*scenario, "rq47set", "");
  EXPECT_EQ(0, install.wineExitCode);
  ASSERT_EQ(1u, install.wineBoxes.size()) << install.report();
  EXPECT_EQ(kModemCaption, install.wineBoxes[0].caption);
  Outcome after(install);
  EXPECT_EQ(std::optional<std::string>("3.02 Build 69"), after.text(kVendorKey, "Version"));
  EXPECT_EQ(std::optional<std::string>("Domestic English"), after.text(kVendorKey, "Language"));
  // The program saw the Windows of this run, not only the same one on both sides.
  EXPECT_EQ(
      std::optional<std::string>(GetParam().windowsVersion == "win95" ? "Windows95" : "Windows98"),
      after.text(kVendorKey, "Operating System"));
  EXPECT_TRUE(after.text(kVendorKey, "PortName").has_value());
  EXPECT_TRUE(after.hasFile("WINDOWS/SYSTEM/zelvcd.vxd"));
  EXPECT_TRUE(after.hasFile("WINDOWS/HELP/zca.hlp"));
  EXPECT_TRUE(after.hasKey(
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV"));
}

TEST_P(WineScenario, Reinstallation) {
  START_OR_SKIP(scenario, "win98se");
  Step(*scenario, "rq47set", "");
  StepResult again = Step(*scenario, "rq47set", "");
  EXPECT_EQ(0, again.wineExitCode);
  Outcome after(again);
  EXPECT_EQ(std::optional<std::string>("Domestic English"), after.text(kVendorKey, "Language"));
  EXPECT_EQ(std::optional<std::string>("FALSE"), after.text(kVendorKey, "DOSboxEnabled"));
}

TEST_P(WineScenario, UpgradeAnsweredNo) {
  START_OR_SKIP(scenario, "win95-previous");
  StepResult declined = Step(*scenario, "rq47set", "no");
  EXPECT_EQ(0, declined.wineExitCode);
  ASSERT_EQ(1u, declined.wineBoxes.size()) << declined.report();
  EXPECT_EQ(kUpgradeCaption, declined.wineBoxes[0].caption);
  EXPECT_EQ("No", declined.wineBoxes[0].answer);
  Outcome after(declined);
  EXPECT_FALSE(after.hasKey(kTemporaryKey));
  EXPECT_TRUE(after.hasKey(kServiceKey) || after.hasKey(kVendorKey));

  // The next run finds the current version and installs without asking.
  StepResult next = Step(*scenario, "rq47set", "");
  for (const ShownBox& box : next.wineBoxes) EXPECT_NE(kUpgradeCaption, box.caption);
}

TEST_P(WineScenario, UpgradeAnsweredYesAndTheRunAfterTheReboot) {
  START_OR_SKIP(scenario, "win95-previous");
  StepResult upgrade = Step(*scenario, "rq47set", "yes,ok,ok");
  EXPECT_EQ(0, upgrade.wineExitCode);
  ASSERT_EQ(3u, upgrade.wineBoxes.size()) << upgrade.report();
  EXPECT_EQ(kUpgradeCaption, upgrade.wineBoxes[0].caption);
  EXPECT_EQ(kUpgradeCaption, upgrade.wineBoxes[1].caption);
  EXPECT_EQ(kModemCaption, upgrade.wineBoxes[2].caption);
  Outcome prepared(upgrade);
  EXPECT_TRUE(prepared.hasKey(kTemporaryKey));
  EXPECT_FALSE(prepared.hasKey(kServiceKey));
  EXPECT_TRUE(prepared.hasFile("WINDOWS/Zelvaran/zelbak95"));

  StepResult reboot = Step(*scenario, "rq47set", "");
  EXPECT_EQ(0, reboot.wineExitCode);
  Outcome installed(reboot);
  EXPECT_FALSE(installed.hasKey(kTemporaryKey));
  EXPECT_EQ(std::optional<std::string>("German"), installed.text(kVendorKey, "Language"));
  EXPECT_EQ(std::optional<std::string>("COM4"), installed.text(kVendorKey, "PortName"));
  EXPECT_NE(std::string::npos, installed.file("WINDOWS/system.ini").find("device = zelvcd.vxd"));
}

TEST_P(WineScenario, UninstallAnsweredNo) {
  START_OR_SKIP(scenario, "win98se");
  Step(*scenario, "rq47set", "");
  StepResult declined = Step(*scenario, "zuninst", "no");
  EXPECT_EQ(0, declined.wineExitCode);
  ASSERT_EQ(1u, declined.wineBoxes.size()) << declined.report();
  EXPECT_EQ("Yes,No", declined.wineBoxes[0].buttons);
  Outcome after(declined);
  EXPECT_TRUE(after.hasFile("WINDOWS/SYSTEM/zca.cpl"));
  EXPECT_TRUE(after.hasKey("HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE"));
}

TEST_P(WineScenario, UninstallAnsweredYes) {
  START_OR_SKIP(scenario, "win98se");
  Step(*scenario, "rq47set", "");
  StepResult removed = Step(*scenario, "zuninst", "yes,ok");
  EXPECT_EQ(1, removed.wineExitCode);
  Outcome after(removed);
  EXPECT_FALSE(after.hasFile("WINDOWS/SYSTEM/zca.cpl"));
  EXPECT_FALSE(after.hasFile("WINDOWS/HELP/zca.hlp"));
  EXPECT_FALSE(after.hasKey("HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem"));
  EXPECT_FALSE(after.hasKey(
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV"));
  EXPECT_EQ(std::optional<std::string>("Domestic English"), after.text(kVendorKey, "Language"));
}

TEST_P(WineScenario, UninstallTwice) {
  START_OR_SKIP(scenario, "win98se");
  Step(*scenario, "rq47set", "");
  Step(*scenario, "zuninst", "yes,ok");
  StepResult again = Step(*scenario, "zuninst", "yes,ok,ok");
  EXPECT_EQ(1, again.wineExitCode);
  // The applet is gone already, so its message comes before the closing one.
  ASSERT_EQ(3u, again.wineBoxes.size()) << again.report();
  EXPECT_NE(std::string::npos, again.wineBoxes[1].text.find("Control Panel"));
}

TEST_P(WineScenario, VendorKeyUpgradeAndTheRunAfterTheReboot) {
  START_OR_SKIP(scenario, "win98-vendor-previous");
  StepResult upgrade = Step(*scenario, "rq47set", "yes,ok,ok");
  EXPECT_EQ(0, upgrade.wineExitCode);
  ASSERT_EQ(3u, upgrade.wineBoxes.size()) << upgrade.report();
  EXPECT_EQ(kUpgradeCaption, upgrade.wineBoxes[0].caption);
  Outcome prepared(upgrade);
  EXPECT_TRUE(prepared.hasKey(kTemporaryKey));
  EXPECT_FALSE(prepared.hasKey(kVendorKey));
  EXPECT_TRUE(prepared.hasFile("WINDOWS/Zelvaran/zelbak95"));

  StepResult reboot = Step(*scenario, "rq47set", "");
  EXPECT_EQ(0, reboot.wineExitCode);
  Outcome installed(reboot);
  EXPECT_FALSE(installed.hasKey(kTemporaryKey));
  EXPECT_EQ(std::optional<std::string>("3.02 Build 69"), installed.text(kVendorKey, "Version"));
  EXPECT_EQ(std::optional<std::string>("Spanish"), installed.text(kVendorKey, "Language"));
  EXPECT_EQ(std::optional<std::string>("TRUE"), installed.text(kVendorKey, "DOSboxEnabled"));
}

TEST_F(WineFloppyScenario, FreshInstallationAndUninstall) {
  START_OR_SKIP(scenario, "win98se");
  StepResult install = Step(*scenario, "rq47set", "");
  EXPECT_EQ(0, install.wineExitCode);
  EXPECT_EQ(std::optional<std::string>("3.02 Build 69"),
            Outcome(install).text(kVendorKey, "Version"));
  StepResult removed = Step(*scenario, "zuninst", "yes,ok");
  EXPECT_EQ(1, removed.wineExitCode);
  EXPECT_FALSE(Outcome(removed).hasFile("WINDOWS/SYSTEM/zca.cpl"));
}

}  // namespace
}  // namespace rq47wine
