#include "scenarios.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

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

// The user has changed every setting of an installed modem, and enabled the DOS box.
void ApplyUserSettings(const fs::path& folder) {
  winsim::Machine machine = winsim::Machine::load(folder);
  winsim::RegKey* vendor = machine.registry.find(kVendorKey);
  Require(vendor != nullptr, "the installation left no vendor key");
  WriteSettings(*vendor, InstalledUserSettings());
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
                 std::optional<UserSettings> userSettings) {
  Scenario scenario;
  scenario.id = id;
  scenario.name = ScenarioName(id);
  scenario.program = program;
  scenario.answers = std::move(answers);
  scenario.start = start;
  scenario.userSettings = std::move(userSettings);
  scenario.systemIniBefore = ReadMachineFile(start, kSystemIni).value_or("");
  fs::path clean = ScratchFolder(scenario.name + "-clean");
  scenario.clean = CleanRun(start, clean, program, scenario.answers);
  scenario.systemIniAfter = ReadMachineFile(clean, kSystemIni).value_or("");
  scenario.registryAfter = RegistryText(clean);
  return scenario;
}

std::map<ScenarioId, Scenario> PrepareAll() {
  fs::path root = ScenarioRoot().path();
  std::map<ScenarioId, Scenario> scenarios;

  fs::path win98 = root / "win98se";
  fs::copy(SourceDir() / "machines" / "win98se", win98, fs::copy_options::recursive);
  scenarios[ScenarioId::kFreshInstall] =
      Prepare(ScenarioId::kFreshInstall, win98, Program::kSetup, {}, std::nullopt);

  fs::path installed = root / "installed";
  CopyMachineFolder(root / "FreshInstall-clean", installed);
  ApplyUserSettings(installed);
  scenarios[ScenarioId::kReinstall] =
      Prepare(ScenarioId::kReinstall, installed, Program::kSetup, {}, InstalledUserSettings());
  scenarios[ScenarioId::kUninstall] = Prepare(
      ScenarioId::kUninstall, installed, Program::kUninstall, {IDYES}, InstalledUserSettings());

  fs::path previous = root / "win95-previous";
  fs::copy(SourceDir() / "machines" / "win95-previous", previous, fs::copy_options::recursive);
  std::optional<UserSettings> previousSettings =
      ReadSettings(winsim::Machine::load(previous).registry, kServiceKey);
  Require(previousSettings.has_value(), "win95-previous has no settings in its service key");
  // The upgrade question's default button is Yes.
  scenarios[ScenarioId::kUpgradeAccepted] =
      Prepare(ScenarioId::kUpgradeAccepted, previous, Program::kSetup, {}, previousSettings);

  fs::path rebooted = root / "rebooted";
  CopyMachineFolder(root / "UpgradeAccepted-clean", rebooted);
  std::optional<UserSettings> savedSettings =
      ReadSettings(winsim::Machine::load(rebooted).registry, kTempSettingsKey);
  Require(savedSettings == previousSettings,
          "the upgrade did not save the settings in the temporary settings key");
  scenarios[ScenarioId::kAfterReboot] =
      Prepare(ScenarioId::kAfterReboot, rebooted, Program::kSetup, {}, savedSettings);
  return scenarios;
}

}  // namespace

std::string ScenarioName(ScenarioId id) {
  switch (id) {
    case ScenarioId::kFreshInstall: return "FreshInstall";
    case ScenarioId::kReinstall: return "Reinstall";
    case ScenarioId::kUpgradeAccepted: return "UpgradeAccepted";
    case ScenarioId::kAfterReboot: return "AfterReboot";
    case ScenarioId::kUninstall: return "Uninstall";
  }
  return "?";
}

const Scenario& GetScenario(ScenarioId id) {
  static const std::map<ScenarioId, Scenario> scenarios = PrepareAll();
  return scenarios.at(id);
}

fs::path ScratchFolder(const std::string& name) { return ScenarioRoot().path() / name; }

namespace {

void DescribeKey(const winsim::RegKey& key, std::string& out) {
  out += "[" + key.path() + "]\n";
  std::vector<const winsim::RegValue*> values;
  for (const winsim::RegValue& value : key.values()) values.push_back(&value);
  std::sort(values.begin(), values.end(), [](const auto* a, const auto* b) {
    return winsim::CompareNames(a->name, b->name) < 0;
  });
  for (const winsim::RegValue* value : values) {
    out += "\"" + value->name + "\" type " + std::to_string(value->type) + ":";
    for (unsigned char byte : value->data) {
      static const char kHex[] = "0123456789abcdef";
      out += ' ';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
    out += "\n";
  }
  for (size_t i = 0; i < key.subkeyCount(); ++i) DescribeKey(*key.subkey(i), out);
}

}  // namespace

std::string RegistryText(const fs::path& folder) {
  winsim::Machine machine = winsim::Machine::load(folder);
  std::string out;
  for (winsim::Root root : winsim::Registry::kRoots) DescribeKey(machine.registry.root(root), out);
  return out;
}

UserSettings InstalledUserSettings() {
  return UserSettings{"French", 33, 0x30, 0x70, "TRUE", "COM3"};
}

}  // namespace rq47test
