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
constexpr const char* kUninstallKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV";

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
  // The vendor key holds these texts.
  void expectVendor(const std::map<std::string, std::string>& texts) const {
    for (const auto& [name, text] : texts)
      EXPECT_EQ(std::optional(text), this->text(kVendorKey, name)) << name;
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

  // Runs the step on both sides and expects them alike, ending with the exit
  // code, and showing boxes of these captions in this order when given.
  StepResult Step(Scenario& scenario, const std::string& program, const std::string& answers,
                  int exitCode, std::optional<std::vector<std::string>> captions = std::nullopt) {
    StepResult step = scenario.run(program, answers);
    EXPECT_EQ(step.winsimExitCode, step.wineExitCode) << step.report();
    EXPECT_EQ(step.winsimBoxes, step.wineBoxes) << step.report();
    EXPECT_TRUE(step.differences.empty()) << step.report();
    EXPECT_EQ(exitCode, step.wineExitCode) << step.report();
    if (captions) {
      std::vector<std::string> shown;
      for (const ShownBox& box : step.wineBoxes) shown.push_back(box.caption);
      EXPECT_EQ(*captions, shown) << step.report();
    }
    return step;
  }

  // The upgrade answered yes (the question, the notice and the reboot
  // message), which removes the key and keeps the earlier version in a backup
  // folder; then the run after the reboot, which installs. What it installed.
  Outcome UpgradeAndTheRunAfterTheReboot(Scenario& scenario, const std::string& removedKey) {
    Outcome prepared(
        Step(scenario, "rq47set", "yes,ok,ok", 0,
             std::vector<std::string>{kUpgradeCaption, kUpgradeCaption, kModemCaption}));
    EXPECT_TRUE(prepared.hasKey(kTemporaryKey));
    EXPECT_FALSE(prepared.hasKey(removedKey));
    EXPECT_TRUE(prepared.hasFile("WINDOWS/Zelvaran/zelbak95"));
    Outcome installed(Step(scenario, "rq47set", "", 0));
    EXPECT_FALSE(installed.hasKey(kTemporaryKey));
    return installed;
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
  Outcome after(Step(*scenario, "rq47set", "", 0, std::vector<std::string>{kModemCaption}));
  // The program saw the Windows of this run, not only the same one on both sides.
  after.expectVendor(
      {{"Version", "3.02 Build 69"},
       {"Language", "Domestic English"},
       {"Operating System", GetParam().windowsVersion == "win95" ? "Windows95" : "Windows98"}});
  EXPECT_TRUE(after.text(kVendorKey, "PortName").has_value());
  EXPECT_TRUE(after.hasFile("WINDOWS/SYSTEM/zelvcd.vxd"));
  EXPECT_TRUE(after.hasFile("WINDOWS/HELP/zca.hlp"));
  EXPECT_TRUE(after.hasKey(kUninstallKey));
}

TEST_P(WineScenario, Reinstallation) {
  START_OR_SKIP(scenario, "win98se");
  Step(*scenario, "rq47set", "", 0);
  Outcome(Step(*scenario, "rq47set", "", 0))
      .expectVendor({{"Language", "Domestic English"}, {"DOSboxEnabled", "FALSE"}});
}

TEST_P(WineScenario, UpgradeAnsweredNo) {
  START_OR_SKIP(scenario, "win95-previous");
  StepResult declined =
      Step(*scenario, "rq47set", "no", 0, std::vector<std::string>{kUpgradeCaption});
  ASSERT_EQ(1u, declined.wineBoxes.size());
  EXPECT_EQ("No", declined.wineBoxes[0].answer);
  Outcome after(declined);
  EXPECT_FALSE(after.hasKey(kTemporaryKey));
  EXPECT_TRUE(after.hasKey(kServiceKey) || after.hasKey(kVendorKey));

  // The next run finds the current version and installs without asking.
  StepResult next = Step(*scenario, "rq47set", "", 0);
  for (const ShownBox& box : next.wineBoxes) EXPECT_NE(kUpgradeCaption, box.caption);
}

TEST_P(WineScenario, UpgradeAnsweredYesAndTheRunAfterTheReboot) {
  START_OR_SKIP(scenario, "win95-previous");
  Outcome installed = UpgradeAndTheRunAfterTheReboot(*scenario, kServiceKey);
  installed.expectVendor({{"Language", "German"}, {"PortName", "COM4"}});
  EXPECT_NE(std::string::npos, installed.file("WINDOWS/system.ini").find("device = zelvcd.vxd"));
}

TEST_P(WineScenario, UninstallAnsweredNo) {
  START_OR_SKIP(scenario, "win98se");
  Step(*scenario, "rq47set", "", 0);
  StepResult declined =
      Step(*scenario, "zuninst", "no", 0, std::vector<std::string>{kModemCaption});
  EXPECT_EQ("Yes,No", declined.wineBoxes.at(0).buttons);
  Outcome after(declined);
  EXPECT_TRUE(after.hasFile("WINDOWS/SYSTEM/zca.cpl"));
  EXPECT_TRUE(after.hasKey("HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE"));
}

TEST_P(WineScenario, UninstallAnsweredYes) {
  START_OR_SKIP(scenario, "win98se");
  Step(*scenario, "rq47set", "", 0);
  Outcome after(Step(*scenario, "zuninst", "yes,ok", 1));
  EXPECT_FALSE(after.hasFile("WINDOWS/SYSTEM/zca.cpl"));
  EXPECT_FALSE(after.hasFile("WINDOWS/HELP/zca.hlp"));
  EXPECT_FALSE(after.hasKey("HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem"));
  EXPECT_FALSE(after.hasKey(kUninstallKey));
  after.expectVendor({{"Language", "Domestic English"}});
}

TEST_P(WineScenario, UninstallTwice) {
  START_OR_SKIP(scenario, "win98se");
  Step(*scenario, "rq47set", "", 0);
  Step(*scenario, "zuninst", "yes,ok", 1);
  StepResult again = Step(*scenario, "zuninst", "yes,ok,ok", 1);
  // The applet is gone already, so its message comes before the closing one.
  ASSERT_EQ(3u, again.wineBoxes.size()) << again.report();
  EXPECT_NE(std::string::npos, again.wineBoxes[1].text.find("Control Panel"));
}

TEST_P(WineScenario, VendorKeyUpgradeAndTheRunAfterTheReboot) {
  START_OR_SKIP(scenario, "win98-vendor-previous");
  UpgradeAndTheRunAfterTheReboot(*scenario, kVendorKey)
      .expectVendor(
          {{"Version", "3.02 Build 69"}, {"Language", "Spanish"}, {"DOSboxEnabled", "TRUE"}});
}

TEST_F(WineFloppyScenario, FreshInstallationAndUninstall) {
  START_OR_SKIP(scenario, "win98se");
  Outcome(Step(*scenario, "rq47set", "", 0)).expectVendor({{"Version", "3.02 Build 69"}});
  EXPECT_FALSE(Outcome(Step(*scenario, "zuninst", "yes,ok", 1)).hasFile("WINDOWS/SYSTEM/zca.cpl"));
}

}  // namespace
}  // namespace rq47wine
