// winsim new: a fresh machine folder, copied from a shipped machine or empty.
// The machine is made in a hidden folder beside DIR and renamed into place,
// so a failure leaves nothing behind.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "command_line.h"
#include "commands.h"
#include "machine_problem.h"
#include "shipped_machines.h"
#include "value_text.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace winsim_tool {
namespace {

constexpr char kCommand[] = "new";
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Failure {
  std::string message;
};

void CheckTarget(const fs::path& target) {
  std::error_code error;
  fs::file_status status = fs::symlink_status(target, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) {
      throw Failure{Shown(target.string()) + " exists and is not a folder; name a new folder"};
    }
    if (!fs::is_empty(target, error) || error) {
      throw Failure{Shown(target.string()) +
                    " is not empty; name a new or empty folder (winsim never mixes a machine "
                    "into other files)"};
    }
    return;
  }
  fs::path parent = fs::absolute(target, error).parent_path();
  if (!fs::is_directory(parent, error)) {
    throw Failure{"the folder " + Shown(parent.string()) + " that would hold " +
                  Shown(target.string()) + " does not exist; make it first"};
  }
}

// The machine folder to copy: a shipped machine's name, or a path.
fs::path SourceMachine(const std::string& from, const std::string& machinesOption,
                       std::string& described) {
  if (from.find('/') != std::string::npos || from == "." || from == "..") {
    described = "a copy of " + from;
    return from;
  }
  fs::path folder = ShippedMachinesFolder(machinesOption);
  fs::path source = folder / from;
  std::error_code error;
  if (!fs::is_directory(source, error)) {
    std::vector<std::string> names = ShippedMachineNames(folder);
    std::string known;
    for (const std::string& name : names) known += (known.empty() ? "" : ", ") + name;
    if (!fs::is_directory(folder, error)) {
      throw Failure{"there is no folder of shipped machines at " + Shown(folder.string()) + " (" +
                    ShippedMachinesOrigin(machinesOption) +
                    "); name the folder with --machines or WINSIM_MACHINES"};
    }
    throw Failure{"there is no shipped machine '" + from + "' in " + Shown(folder.string()) +
                  (known.empty() ? "; that folder holds no machine"
                                 : "; the shipped machines are: " + known)};
  }
  described = "a copy of the shipped machine " + from;
  return source;
}

void CopyMachine(const fs::path& source, const fs::path& destination) {
  try {
    winsim::Machine::load(source);  // only a machine that loads is worth copying
  } catch (const winsim::MachineError& error) {
    throw Failure{"the machine to copy cannot be used: " +
                  MachineProblem(source.string(), error, false)};
  }
  std::error_code error;
  fs::copy(source, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
           error);
  if (error) {
    throw Failure{"cannot copy " + Shown(source.string()) + ": " + error.message() +
                  "; check the free space and the permissions"};
  }
}

std::string Summary(const fs::path& folder) {
  winsim::Machine machine = winsim::Machine::load(folder);
  const winsim::MachineConfig& config = machine.config;
  size_t files = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(machine.driveFolder('C'), error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error)) ++files;
  }
  return "Windows " + std::to_string(config.majorVersion) + "." +
         (config.minorVersion < 10 ? "0" : "") + std::to_string(config.minorVersion) + "." +
         std::to_string(config.buildNumber) + ", processor " +
         std::to_string(config.processorType) + ", " +
         GroupedNumber(config.totalMemory / (1024 * 1024)) + " MB of memory, " +
         std::to_string(files) + (files == 1 ? " file" : " files") + " on drive C:";
}

}  // namespace

int NewCommand(const std::vector<std::string>& args) {
  Arguments parsed;
  try {
    parsed = ParseArguments(args, {{"--from", true}, {"--empty", false}, {"--machines", true}});
    if (parsed.help) {
      std::fputs(CommandHelp(kCommand).c_str(), stdout);
      return 0;
    }
    if (parsed.positional.empty()) throw UsageError("name the folder to make: winsim new DIR");
    if (parsed.positional.size() > 1) {
      throw UsageError("one folder at a time; found '" + parsed.positional[1] + "' after '" +
                       parsed.positional[0] + "'");
    }
    if (parsed.has("--empty") && (parsed.has("--from") || parsed.has("--machines"))) {
      throw UsageError("--empty makes a machine from nothing; leave out --from and --machines");
    }
  } catch (const UsageError& error) {
    SayUsage(kCommand, error.what());
    return kUsage;
  }

  const fs::path target = parsed.positional[0];
  fs::path staging;
  try {
    CheckTarget(target);
    std::error_code error;
    fs::path absolute = fs::absolute(target, error);
    staging = absolute.parent_path() /
              ("." + absolute.filename().string() + ".winsim-new-" + std::to_string(::getpid()));
    fs::remove_all(staging, error);

    std::string described;
    if (parsed.has("--empty")) {
      described = "an empty machine";
      try {
        winsim::Machine::create(staging);
      } catch (const winsim::MachineError& failure) {
        throw Failure{"cannot make the machine: " +
                      MachineProblem(staging.string(), failure, false)};
      }
    } else {
      std::string from = parsed.has("--from") ? parsed.value("--from") : "win98se";
      if (from.empty()) throw Failure{"--from needs the name of a machine, such as win98se"};
      CopyMachine(SourceMachine(from, parsed.value("--machines"), described), staging);
    }

    const bool replacesEmptyFolder = fs::exists(target, error);
    if (replacesEmptyFolder) fs::remove(target, error);
    fs::rename(staging, target, error);
    if (error) {
      std::error_code ignored;
      if (replacesEmptyFolder) fs::create_directory(target, ignored);
      throw Failure{"cannot move the new machine into place as " + Shown(target.string()) + ": " +
                    error.message()};
    }
    staging.clear();
    std::printf("Made the machine %s: %s (%s).\n", target.string().c_str(), described.c_str(),
                Summary(target).c_str());
    return 0;
  } catch (const Failure& failure) {
    std::error_code ignored;
    if (!staging.empty()) fs::remove_all(staging, ignored);
    Say(kCommand, failure.message);
    return kFailed;
  } catch (const std::exception& failure) {
    std::error_code ignored;
    if (!staging.empty()) fs::remove_all(staging, ignored);
    Say(kCommand, std::string("cannot make the machine: ") + failure.what());
    return kFailed;
  }
}

}  // namespace winsim_tool
