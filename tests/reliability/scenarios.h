// The whole runs whose every platform call the sweeps fail or cut short: a
// fresh installation, a reinstallation over the user's settings, the first
// run of an upgrade answered YES and the run after the upgrade's reboot (of
// an earlier version that keeps its settings in the service key, and of one
// that keeps them in the vendor key, and of the service key machine again
// with a system.ini that holds a Ctrl-Z in the middle and with one whose
// lines end in a lone CR), and an uninstall answered Yes. Each
// starts from a machine folder prepared once from the shipped machines, and
// knows what its clean run leaves.
#ifndef RQ47_TESTS_RELIABILITY_SCENARIOS_H
#define RQ47_TESTS_RELIABILITY_SCENARIOS_H

#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "user_settings.h"
#include "whole_run.h"
#include "winsim/registry.h"

namespace rq47test {

enum class ScenarioId {
  kFreshInstall,
  kReinstall,
  kServiceKeyUpgrade,
  kServiceKeyAfterReboot,
  kVendorKeyUpgrade,
  kVendorKeyAfterReboot,
  kCtrlZUpgrade,
  kCtrlZAfterReboot,
  kLoneCrUpgrade,
  kLoneCrAfterReboot,
  kUninstall
};

inline constexpr ScenarioId kAllScenarios[] = {
    ScenarioId::kFreshInstall,      ScenarioId::kReinstall,
    ScenarioId::kServiceKeyUpgrade, ScenarioId::kServiceKeyAfterReboot,
    ScenarioId::kVendorKeyUpgrade,  ScenarioId::kVendorKeyAfterReboot,
    ScenarioId::kCtrlZUpgrade,      ScenarioId::kCtrlZAfterReboot,
    ScenarioId::kLoneCrUpgrade,     ScenarioId::kLoneCrAfterReboot,
    ScenarioId::kUninstall};

// Files by their lower-case name, with their bytes.
using FileContents = std::map<std::string, std::string>;

inline const std::string kSystemIni = "WINDOWS\\system.ini";
inline constexpr char kDriverLine[] = "device = zelvcd.vxd";

struct Scenario {
  ScenarioId id;
  std::string name;
  Program program;
  // Scripted answers; when they run out a box takes its default button (Yes
  // for the upgrade question, OK for every message).
  std::vector<int> answers;
  // The machine folder every run of the scenario starts from (never run on).
  std::filesystem::path start;
  std::string systemIniBefore;
  // What the clean run leaves.
  RunOutcome clean;
  std::string systemIniAfter;
  winsim::Registry registryAfter;
  // The settings the user has before the run; nothing when there are none yet.
  std::optional<UserSettings> userSettings;
  // The backup folder as the clean run leaves it: the previous version's
  // files as they were before the upgrade began.
  FileContents archiveAfter;
  // The first run of an upgrade is finished by the run after its reboot;
  // every other scenario by itself.
  ScenarioId finishedBy;
};

// Prepared on first use; the folders live until the test program ends.
const Scenario& GetScenario(ScenarioId id);

// A name for test output ("FreshInstall").
std::string ScenarioName(ScenarioId id);
void PrintTo(ScenarioId id, std::ostream* out);

// A new empty folder below the scenarios' own temporary folder.
std::filesystem::path ScratchFolder(const std::string& name);

// The files of a machine folder's backup folder (WINDOWS\Zelvaran\zelbak95),
// those in its folders by their relative path ("system\zelvcd.vxd").
FileContents ArchiveFiles(const std::filesystem::path& folder);

// The user's settings an installed machine holds in these tests (all differ
// from the defaults; DOSboxEnabled "TRUE" with the driver line in system.ini).
UserSettings InstalledUserSettings();

}  // namespace rq47test

#endif  // RQ47_TESTS_RELIABILITY_SCENARIOS_H
