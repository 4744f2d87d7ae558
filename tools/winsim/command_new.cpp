// winsim new: a fresh machine folder, copied from a shipped machine or empty.
// The machine is made in a hidden folder inside DIR and its entries are then
// renamed into place, so a failure leaves nothing behind and DIR may be any
// empty folder (the current one, a mount point). The folder is locked while
// the machine is made, so two `new` never mix; a hidden folder that a killed
// `new` left is removed by the next one.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "machine_problem.h"
#include "shipped_machines.h"
#include "value_text.h"
#include "winsim/file_journal.h"
#include "winsim/guarded_run.h"
#include "winsim/machine.h"
#include "winsim/machine_hold.h"

namespace fs = std::filesystem;

namespace winsim_tool {
namespace {

constexpr char kCommand[] = "new";
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Failure {
  std::string message;
};

constexpr char kStagingPrefix[] = ".winsim-new-";

// ".winsim-new-<pid>-XXXXXX": a folder a `new` that was killed left. Only
// looked for while this `new` holds DIR, so it is never another's at work.
bool IsLeftStaging(const std::string& name) { return name.rfind(kStagingPrefix, 0) == 0; }

// DIR as one folder: "pc/" is pc, "." is the current folder.
fs::path TargetFolder(const std::string& given) {
  std::error_code error;
  fs::path path = fs::absolute(given, error).lexically_normal();
  if (path.filename().empty() && path.has_parent_path()) path = path.parent_path();
  return path;
}

// True when DIR must be made; Failure when it cannot take a machine.
bool CheckTarget(const fs::path& target, const std::string& given) {
  std::error_code error;
  fs::file_status status = fs::symlink_status(target, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) {
      throw Failure{Shown(given) + " exists and is not a folder; name a new folder"};
    }
    return false;
  }
  fs::path parent = target.parent_path();
  if (!fs::is_directory(parent, error)) {
    throw Failure{"the folder " + Shown(parent.string()) + " that would hold " + Shown(given) +
                  " does not exist; make it first"};
  }
  return true;
}

// Claims DIR for this `new` (a lock on the folder itself, which the kernel lets
// go however the process ends): a second `new` on it is refused at once. Then
// DIR must be empty, but for what a killed `new` left there.
int ClaimTarget(const fs::path& target, const std::string& given) {
  int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) throw Failure{"cannot open the folder " + Shown(given) + ": " + std::strerror(errno)};
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    throw Failure{"another winsim new is making a machine in " + Shown(given) +
                  "; nothing was made: use that machine, or name another folder"};
  }
  // A `new` killed while it moved the machine into place left part of it in
  // DIR: then nothing is removed, the staging folder with the rest included.
  std::error_code error;
  std::vector<fs::path> left;
  bool other = false;
  for (fs::directory_iterator it(target, error), end; !error && it != end; it.increment(error)) {
    std::error_code ignored;
    bool staging = IsLeftStaging(it->path().filename().string()) && !it->is_symlink(ignored) &&
                   it->is_directory(ignored);
    if (staging) left.push_back(it->path());
    other = other || !staging;
  }
  if (error || other) {
    ::close(fd);
    if (error) throw Failure{"cannot read the folder " + Shown(given) + ": " + error.message()};
    throw Failure{Shown(given) +
                  " is not empty; name a new or empty folder (winsim never mixes a machine "
                  "into other files)"};
  }
  for (const fs::path& path : left) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  return fd;
}

// Moves the machine made in `staging` up into `target`, machine.ini last (a
// folder without it is no machine, and no later `new` takes it for empty); on
// failure takes back what it moved, so that `target` is as empty as it was.
// Nothing that appeared in `target` meanwhile is replaced.
void MoveIntoPlace(const fs::path& staging, const fs::path& target) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(staging, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::stable_partition(names.begin(), names.end(),
                        [](const std::string& name) { return name != "machine.ini"; });
  std::vector<fs::path> moved;
  int failed = error ? error.value() : 0;
  for (const std::string& name : names) {
    if (failed != 0) break;
    fs::path destination = target / name;
    if (::renameat2(AT_FDCWD, (staging / name).c_str(), AT_FDCWD, destination.c_str(),
                    RENAME_NOREPLACE) != 0) {
      failed = errno;
      break;
    }
    moved.push_back(destination);
  }
  if (failed != 0) {
    std::error_code ignored;
    for (const fs::path& path : moved) fs::remove_all(path, ignored);
    throw Failure{std::string("cannot move the new machine into place: ") + std::strerror(failed)};
  }
  fs::remove(staging, error);
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

// A copy only reads its machine and holds it for moments, so a `new` that
// finds another copying the same machine waits for it, up to this long; a
// run or a command that changes the machine is never waited for.
constexpr int kCopyWaitMilliseconds = 30000;
constexpr char kCopyHolder[] = "winsim new";

std::unique_ptr<winsim::MachineHold> HoldForCopy(const fs::path& source) {
  for (int waited = 0;; waited += 10) {
    try {
      return std::make_unique<winsim::MachineHold>(source, kCopyHolder, false);
    } catch (const winsim::MachineBusy& busy) {
      if (!busy.heldBy(kCopyHolder) || waited >= kCopyWaitMilliseconds) throw;
      ::usleep(10000);
    }
  }
}

// The first entry below a machine folder (winsim's private folder aside) that
// is no file, folder or link: a pipe, a device or a socket, which no drive
// shows and a copy cannot take. Empty when there is none.
fs::path SpecialEntry(const fs::path& source) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(source, error), end; !error && it != end;
       it.increment(error)) {
    if (it.depth() == 0 && it->path().filename() == winsim::kPrivateFolderName) {
      it.disable_recursion_pending();
      continue;
    }
    fs::file_status status = it->symlink_status(error);
    if (!error && !fs::is_regular_file(status) && !fs::is_directory(status) &&
        !fs::is_symlink(status)) {
      return it->path().lexically_relative(source);
    }
  }
  return fs::path();
}

void CopyMachine(const fs::path& source, const fs::path& destination) {
  // Held while it is copied, so that no run is half-way through it; what a
  // killed run left is put back first. A read-only folder has no runs.
  std::unique_ptr<winsim::MachineHold> hold;
  try {
    struct stat info;
    if (::stat(source.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) != 0 &&
        ::access(source.c_str(), W_OK) == 0) {
      hold = HoldForCopy(source);
    } else if (winsim::FileJournal::LeftJournal(source)) {
      throw Failure{Shown(source.string()) +
                    " holds what a stopped run left, which cannot be put back in a read-only "
                    "folder; make it writable (chmod u+w) and copy it again"};
    }
  } catch (const winsim::MachineBusy& busy) {
    throw Failure{"the machine to copy, " + Shown(source.string()) + ", is in use by " +
                  busy.holder() + "; nothing was made: copy it when that has ended"};
  } catch (const winsim::MachineError& error) {
    throw Failure{"the machine to copy cannot be used: " +
                  MachineProblem(source.string(), error, false)};
  }
  try {
    winsim::Machine::load(source);  // only a machine that loads is worth copying
  } catch (const winsim::MachineError& error) {
    throw Failure{"the machine to copy cannot be used: " +
                  MachineProblem(source.string(), error, false)};
  }
  fs::path special = SpecialEntry(source);
  if (!special.empty()) {
    throw Failure{"cannot copy " + Shown(source.string()) + ": " + Shown(special.string()) +
                  " in it is a pipe, a device or a socket, which a machine cannot hold; remove "
                  "it from the machine and copy again"};
  }
  // Everything but winsim's private folder, which belongs to the source's runs.
  std::error_code error;
  for (fs::directory_iterator it(source, error), end; !error && it != end; it.increment(error)) {
    if (it->path().filename() == winsim::kPrivateFolderName) continue;
    fs::copy(it->path(), destination / it->path().filename(),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) break;
  }
  if (error) {
    throw Failure{"cannot copy " + Shown(source.string()) + ": " + error.message() +
                  "; check the free space and the permissions"};
  }
}

std::string Summary(const fs::path& folder) {
  winsim::Machine machine = winsim::Machine::load(folder);
  const winsim::MachineConfig& config = machine.config;
  // The files drive C: shows: a link, the drive folder itself or one in it,
  // leads outside the machine and is neither followed nor counted.
  size_t files = 0;
  std::error_code error;
  const fs::path drive = machine.driveFolder('C');
  if (fs::is_directory(fs::symlink_status(drive, error))) {
    for (fs::recursive_directory_iterator it(drive, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (fs::is_regular_file(it->symlink_status(error))) ++files;
    }
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

  const std::string given = parsed.positional[0];
  const fs::path target = TargetFolder(given);
  fs::path staging;
  bool madeTarget = false;
  int claim = -1;
  auto cleanUp = [&] {
    std::error_code ignored;
    if (!staging.empty()) fs::remove_all(staging, ignored);
    if (madeTarget) fs::remove(target, ignored);
    if (claim >= 0) ::close(claim);
  };
  try {
    bool made = false;
    if (CheckTarget(target, given)) {
      made = ::mkdir(target.c_str(), 0755) == 0;
      if (!made && errno != EEXIST) {
        throw Failure{"cannot make the folder " + Shown(given) + ": " + std::strerror(errno)};
      }
    }
    claim = ClaimTarget(target, given);
    madeTarget = made;  // a `new` that lost the claim leaves the folder to the winner
    std::string pattern =
        (target / (std::string(kStagingPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw Failure{"cannot make a folder in " + Shown(given) + ": " + std::strerror(errno)};
    }
    staging = pattern;

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
    MoveIntoPlace(staging, target);
    staging.clear();
    ::close(claim);
    std::printf("Made the machine %s: %s (%s).\n", winsim::EscapeControls(given).c_str(),
                winsim::EscapeControls(described).c_str(), Summary(target).c_str());
    return 0;
  } catch (const Failure& failure) {
    cleanUp();
    Say(kCommand, failure.message);
    return kFailed;
  } catch (const std::exception& failure) {
    cleanUp();
    Say(kCommand, std::string("cannot make the machine: ") + failure.what());
    return kFailed;
  }
}

}  // namespace winsim_tool
