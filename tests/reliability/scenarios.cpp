#include "scenarios.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>

#include "snapshot.h"
#include "test_machine.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {

TempDir& ScenarioRoot() {
  static TempDir root;
  return root;
}

void WriteHostFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void Require(bool condition, const std::string& what) {
  if (!condition) throw std::runtime_error("cannot prepare the scenarios: " + what);
}

// A clean run of the program on a copy of the start folder.
RunOutcome CleanRun(const fs::path& start, const fs::path& copy, Program program,
                    const std::vector<int>& answers) {
  CopyMachineFolder(start, copy);
  RunOutcome outcome = RunProgram(copy, program, RunInput{answers, std::nullopt, std::nullopt});
  Require(outcome.exitCode.has_value() && outcome.crash.empty() && outcome.reloadProblem.empty(),
          std::string("the clean run of ") + ProgramName(program) + " on " + start.string() +
              " did not end normally");
  Require(outcome.trace.size() == outcome.calls,
          "the trace does not hold one line for each counted call");
  return outcome;
}

// The user has changed every setting of an installed modem, and enabled the
// DOS box. Moving the modem to another port moves its device too.
void ApplyUserSettings(const fs::path& folder) {
  winsim::Machine machine = winsim::Machine::load(folder);
  winsim::RegKey* vendor = machine.registry.find(kVendorKey);
  Require(vendor != nullptr, "the installation left no vendor key");
  WriteSettings(*vendor, InstalledUserSettings());
  Require(MoveDevicePort(machine.registry, InstalledUserSettings().portName),
          "the PNP ID names no device");
  machine.save(true);

  std::optional<std::string> ini = ReadMachineFile(folder, kSystemIni);
  Require(ini.has_value(), "the machine has no system.ini");
  const std::string vcd = "device=*vcd\r\n";
  size_t at = ini->find(vcd);
  Require(at != std::string::npos, "system.ini has no *vcd line");
  ini->insert(at + vcd.size(), std::string(kDriverLine) + "\r\n");
  WriteHostFile(folder / "drive_c" / "WINDOWS" / "system.ini", *ini);
}

Scenario Prepare(ScenarioId id, const fs::path& start, Program program, std::vector<int> answers,
                 std::optional<UserSettings> userSettings, ScenarioId finishedBy) {
  Scenario scenario;
  scenario.id = id;
  scenario.finishedBy = finishedBy;
  scenario.name = ScenarioName(id);
  scenario.program = program;
  scenario.answers = std::move(answers);
  scenario.start = start;
  scenario.userSettings = std::move(userSettings);
  scenario.systemIniBefore = ReadMachineFile(start, kSystemIni).value_or("");
  fs::path clean = ScratchFolder(scenario.name + "-clean");
  scenario.clean = CleanRun(start, clean, program, scenario.answers);
  scenario.systemIniAfter = ReadMachineFile(clean, kSystemIni).value_or("");
  winsim_tool::CopyRegistry(winsim::Machine::load(clean).registry, scenario.registryAfter);
  scenario.archiveAfter = ArchiveFiles(clean);
  return scenario;
}

Scenario Prepare(ScenarioId id, const fs::path& start, Program program, std::vector<int> answers,
                 std::optional<UserSettings> userSettings) {
  return Prepare(id, start, program, std::move(answers), std::move(userSettings), id);
}

// What a system.ini becomes in a variant of a shipped machine.
using SystemIniEdit = std::string (*)(const std::string&);

std::string Unchanged(const std::string& ini) { return ini; }

// A Ctrl-Z on a line of its own after the first section, before [386Enh].
std::string WithCtrlZ(const std::string& ini) {
  size_t at = ini.find("\r\n\r\n");
  Require(at != std::string::npos, "system.ini has no empty line");
  return ini.substr(0, at + 2) + "\x1a" + ini.substr(at + 2);
}

// Every line ended by a lone CR.
std::string WithLoneCrs(const std::string& ini) {
  std::string out;
  for (char c : ini) {
    if (c != '\n') out += c;
  }
  return out;
}

// The two runs of an upgrade of a shipped machine whose earlier version keeps
// its settings in `settingsKey`, its system.ini edited: the first answered
// with the default buttons (Yes to the upgrade), then the run after the
// reboot.
void PrepareUpgrade(std::map<ScenarioId, Scenario>& scenarios, const std::string& machine,
                    const std::string& settingsKey, ScenarioId upgrade, ScenarioId afterReboot,
                    SystemIniEdit edit = Unchanged) {
  fs::path root = ScenarioRoot().path();
  fs::path previous = root / ScenarioName(upgrade);
  CopyShippedMachine(machine, previous);
  std::optional<std::string> ini = ReadMachineFile(previous, kSystemIni);
  Require(ini.has_value(), machine + " has no system.ini");
  WriteHostFile(previous / "drive_c" / "WINDOWS" / "system.ini", edit(*ini));
  std::optional<UserSettings> previousSettings =
      ReadSettings(winsim::Machine::load(previous).registry, settingsKey);
  Require(previousSettings.has_value(), machine + " has no settings in " + settingsKey);
  scenarios[upgrade] =
      Prepare(upgrade, previous, Program::kSetup, {}, previousSettings, afterReboot);

  fs::path rebooted = root / (ScenarioName(upgrade) + "-rebooted");
  CopyMachineFolder(root / (ScenarioName(upgrade) + "-clean"), rebooted);
  std::optional<UserSettings> savedSettings =
      ReadSettings(winsim::Machine::load(rebooted).registry, kTempSettingsKey);
  Require(savedSettings == previousSettings,
          "the upgrade of " + machine + " did not save the settings in the temporary settings key");
  scenarios[afterReboot] = Prepare(afterReboot, rebooted, Program::kSetup, {}, savedSettings);
}

std::map<ScenarioId, Scenario> PrepareAll() {
  fs::path root = ScenarioRoot().path();
  std::map<ScenarioId, Scenario> scenarios;

  fs::path win98 = root / "win98se";
  CopyShippedMachine("win98se", win98);
  scenarios[ScenarioId::kFreshInstall] =
      Prepare(ScenarioId::kFreshInstall, win98, Program::kSetup, {}, std::nullopt);

  fs::path installed = root / "installed";
  CopyMachineFolder(root / "FreshInstall-clean", installed);
  ApplyUserSettings(installed);
  scenarios[ScenarioId::kReinstall] =
      Prepare(ScenarioId::kReinstall, installed, Program::kSetup, {}, InstalledUserSettings());
  scenarios[ScenarioId::kUninstall] = Prepare(
      ScenarioId::kUninstall, installed, Program::kUninstall, {IDYES}, InstalledUserSettings());

  PrepareUpgrade(scenarios, "win95-previous", kServiceKey, ScenarioId::kServiceKeyUpgrade,
                 ScenarioId::kServiceKeyAfterReboot);
  PrepareUpgrade(scenarios, "win98-vendor-previous", kVendorKey, ScenarioId::kVendorKeyUpgrade,
                 ScenarioId::kVendorKeyAfterReboot);
  PrepareUpgrade(scenarios, "win95-previous", kServiceKey, ScenarioId::kCtrlZUpgrade,
                 ScenarioId::kCtrlZAfterReboot, WithCtrlZ);
  PrepareUpgrade(scenarios, "win95-previous", kServiceKey, ScenarioId::kLoneCrUpgrade,
                 ScenarioId::kLoneCrAfterReboot, WithLoneCrs);
  return scenarios;
}

}  // namespace

std::string ScenarioName(ScenarioId id) {
  switch (id) {
    case ScenarioId::kFreshInstall: return "FreshInstall";
    case ScenarioId::kReinstall: return "Reinstall";
    case ScenarioId::kServiceKeyUpgrade: return "ServiceKeyUpgrade";
    case ScenarioId::kServiceKeyAfterReboot: return "ServiceKeyAfterReboot";
    case ScenarioId::kVendorKeyUpgrade: return "VendorKeyUpgrade";
    case ScenarioId::kVendorKeyAfterReboot: return "VendorKeyAfterReboot";
    case ScenarioId::kCtrlZUpgrade: return "CtrlZUpgrade";
    case ScenarioId::kCtrlZAfterReboot: return "CtrlZAfterReboot";
    case ScenarioId::kLoneCrUpgrade: return "LoneCrUpgrade";
    case ScenarioId::kLoneCrAfterReboot: return "LoneCrAfterReboot";
    case ScenarioId::kUninstall: return "Uninstall";
  }
  return "?";
}

void PrintTo(ScenarioId id, std::ostream* out) { *out << ScenarioName(id); }

const Scenario& GetScenario(ScenarioId id) {
  static const std::map<ScenarioId, Scenario> scenarios = PrepareAll();
  return scenarios.at(id);
}

fs::path ScratchFolder(const std::string& name) { return ScenarioRoot().path() / name; }

FileContents ArchiveFiles(const fs::path& folder) {
  FileContents files;
  std::error_code error;
  fs::path backup = folder / "drive_c";
  for (const char* part : {"WINDOWS", "Zelvaran", "zelbak95"}) {
    fs::path next = backup / part;
    for (const auto& entry : fs::directory_iterator(backup, error)) {
      if (winsim::NamesEqual(entry.path().filename().string(), part)) next = entry.path();
    }
    backup = next;
  }
  for (auto it = fs::recursive_directory_iterator(backup, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::string name = fs::relative(it->path(), backup).generic_string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
      return c == '/' ? '\\' : static_cast<char>(std::tolower(c));
    });
    std::ifstream in(it->path(), std::ios::binary);
    files[name].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

UserSettings InstalledUserSettings() {
  return UserSettings{"French", 33, 0x30, 0x70, "TRUE", "COM3"};
}

}  // namespace rq47test
