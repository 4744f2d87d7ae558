#include "whole_run.h"

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "main_sequence.h"
#include "uninstall_sequence.h"
#include "winsim/machine.h"
#include "winsim/registry.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {

int CallProgram(Program program) {
  return program == Program::kSetup ? rq47set::RunSetup() : zuninst::RunUninstall();
}

// The saved folder must load, and hold what the run left in memory when that was saved.
std::string ReloadProblem(const fs::path& folder, const winsim::Registry* left) {
  try {
    winsim::Machine loaded = winsim::Machine::load(folder);
    if (left != nullptr && !loaded.registry.sameAs(*left)) {
      return "the saved registry differs from the one the run left";
    }
  } catch (const std::exception& error) {
    return std::string("the saved machine folder does not load: ") + error.what();
  }
  return {};
}

}  // namespace

const char* PowerLossName(PowerLoss model) {
  return model == PowerLoss::kRegistryAsAtCut ? "RegistryAsAtCut" : "RegistryAsAtStart";
}

void PrintTo(PowerLoss model, std::ostream* out) { *out << PowerLossName(model); }

const char* ProgramName(Program program) {
  return program == Program::kSetup ? "rq47set" : "zuninst";
}

RunOutcome RunProgram(const fs::path& folder, Program program, const RunInput& input) {
  RunOutcome outcome;
  std::unique_ptr<winsim::Machine> machine;
  try {
    machine = std::make_unique<winsim::Machine>(winsim::Machine::load(folder));
  } catch (const std::exception& error) {
    outcome.crash = std::string("the machine folder does not load before the run: ") + error.what();
    return outcome;
  }
  {
    winsim::Run run(*machine);
    run.setAnswers(input.answers);
    if (input.fault) run.addFault(*input.fault);
    if (input.stopAfterCalls) run.stopAfterCalls(*input.stopAfterCalls);
    try {
      outcome.exitCode = CallProgram(program);
    } catch (const winsim::RunStopped& stop) {
      if (stop.reason == winsim::RunStopped::Reason::Interrupted) {
        outcome.interrupted = true;
      } else {
        outcome.crash = std::string("winsim stopped the run: ") + stop.what();
      }
    } catch (const std::exception& error) {
      outcome.crash = std::string("the program let out an exception: ") + error.what();
    }
    outcome.trace = run.trace();
    outcome.calls = run.callCount();
    outcome.boxes = run.messageBoxes();
    outcome.handlesLeftOpen = run.openHandleCount();
  }
  // A cut that loses the run's registry changes leaves registry.reg as it was;
  // the short names stay with the files the run made all the same.
  bool registryLost = outcome.interrupted && input.powerLoss == PowerLoss::kRegistryAsAtStart;
  if (registryLost) machine->registry.modified = false;
  try {
    machine->save();
  } catch (const std::exception& error) {
    outcome.reloadProblem = std::string("the machine cannot be saved: ") + error.what();
    return outcome;
  }
  if (registryLost) {
    outcome.reloadProblem = ReloadProblem(folder, nullptr);
    return outcome;
  }
  outcome.reloadProblem = ReloadProblem(folder, &machine->registry);
  return outcome;
}

void CopyMachineFolder(const fs::path& source, const fs::path& target) {
  std::error_code error;
  // A test may have made files read-only; they must go all the same.
  if (fs::exists(target, error)) {
    for (auto it = fs::recursive_directory_iterator(target, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(target);
  }
  fs::copy(source, target, fs::copy_options::recursive);
}

std::optional<std::string> ReadMachineFile(const fs::path& folder, const std::string& windowsPath) {
  fs::path host = folder / "drive_c";
  std::string part;
  std::istringstream parts(windowsPath);
  std::error_code error;
  while (std::getline(parts, part, '\\')) {
    if (part.empty()) continue;
    fs::path next = host / part;
    if (fs::is_directory(host, error)) {
      for (const auto& entry : fs::directory_iterator(host, error)) {
        if (winsim::NamesEqual(entry.path().filename().string(), part)) next = entry.path();
      }
    }
    host = next;
  }
  if (!fs::is_regular_file(host, error)) return std::nullopt;
  std::ifstream in(host, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string TracedFunction(const std::string& line) { return line.substr(0, line.find('(')); }

std::vector<TracedCall> TracedCalls(const std::vector<std::string>& trace) {
  std::map<std::string, unsigned> seen;
  std::vector<TracedCall> calls;
  calls.reserve(trace.size());
  for (const std::string& line : trace) {
    std::string function = TracedFunction(line);
    unsigned occurrence = ++seen[function];
    calls.push_back({function, occurrence});
  }
  return calls;
}

}  // namespace rq47test
