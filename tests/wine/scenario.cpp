#include "scenario.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "machine_compare.h"
#include "program_runner.h"
#include "shipped_files.h"
#include "test_machine.h"
#include "wine_run.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace rq47wine {

using rq47test::ReadWhole;

namespace {

// Makes the machine folder's Windows that version (machine.ini's Version).
void SetWindowsVersion(const fs::path& machine, const std::string& version) {
  std::istringstream in(ReadWhole(machine / "machine.ini"));
  std::string text;
  std::string line;
  bool inWindows = false;
  bool set = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      if (inWindows && !set) text += "Version=" + version + "\n";
      set = set || inWindows;
      inWindows = line == "[Windows]";
    } else if (inWindows && line.compare(0, 8, "Version=") == 0) {
      line = "Version=" + version;
      set = true;
    }
    text += line + "\n";
  }
  if (!set) text += (inWindows ? "" : "[Windows]\n") + std::string("Version=") + version + "\n";
  std::ofstream(machine / "machine.ini", std::ios::binary | std::ios::trunc) << text;
}

std::string WithoutHeader(std::string regedit4) {
  static const std::string kHeader = "REGEDIT4\r\n";
  if (regedit4.compare(0, kHeader.size(), kHeader) == 0) regedit4.erase(0, kHeader.size());
  return regedit4;
}

// Wine makes the links of the serial ports from its port settings when its
// services start, which has happened by now: the links it made from the
// host's ports go, each free port gets the link the settings give it, and
// each port that must not open gets a folder in place of its link (which a
// later start of the services cannot replace either).
void SetUpPortLinks(const fs::path& prefix, const PortPlan& plan) {
  fs::path devices = prefix / "dosdevices";
  for (const fs::directory_entry& entry : fs::directory_iterator(devices)) {
    std::string name = entry.path().filename().string();
    if (name.size() > 3 && (name.compare(0, 3, "com") == 0 || name.compare(0, 3, "COM") == 0)) {
      fs::remove_all(entry.path());
    }
  }
  for (const std::string& link : plan.freeLinks) fs::create_symlink("/dev/null", devices / link);
  for (const std::string& link : plan.blockedLinks) fs::create_directory(devices / link);
}

// Scenario folders ("win98se-<process>-<n>") of test processes that ended
// without removing them (killed at their time limit): not kept on purpose.
void RemoveAbandonedScenarios(const fs::path& workRoot) {
  if (std::getenv("RQ47_WINE_KEEP") != nullptr || !fs::is_directory(workRoot)) return;
  for (const fs::directory_entry& entry : fs::directory_iterator(workRoot)) {
    std::string name = entry.path().filename().string();
    size_t last = name.rfind('-');
    size_t first =
        last == std::string::npos || last == 0 ? std::string::npos : name.rfind('-', last - 1);
    if (first == std::string::npos) continue;
    pid_t owner = static_cast<pid_t>(std::atol(name.substr(first + 1, last - first - 1).c_str()));
    if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      fs::remove_all(entry.path(), ignored);
    }
  }
}

winsim_tool::MachineSnapshot Snapshot(const fs::path& machine) {
  return winsim_tool::TakeSnapshot(winsim::Machine::load(machine));
}

}  // namespace

std::string WineRunKind::name() const {
  return std::string(source == ProgramSource::Package ? "win32-zip-" : "win32-floppy-") +
         windowsVersion;
}

void PrintTo(const WineRunKind& kind, std::ostream* out) { *out << kind.name(); }

std::string WineRunKind::machineVersion() const {
  return windowsVersion == "win95" ? "4.0.950" : "4.10.2222";
}

std::optional<WineSetup> FindWineSetup(const WineRunKind& kind, std::string* missing) {
  std::optional<WineTools> tools = FindWineTools(32, missing);
  if (!tools) return std::nullopt;
  std::optional<fs::path> xvfb = FindExecutable({"Xvfb", "/usr/bin/Xvfb"});
  if (!xvfb) {
    *missing = "Xvfb is not installed (Debian package xvfb)";
    return std::nullopt;
  }
  if (kind.source == ProgramSource::Floppy && !FindMcopy()) {
    *missing = "mcopy is not installed (Debian package mtools), so the floppy image cannot be read";
    return std::nullopt;
  }
  WineSetup setup{kind, *tools, *xvfb,
                  kind.source == ProgramSource::Package ? PackageZip() : FloppyImage(),
                  Win32BuildDir() / "tools" / "wine" / "answerer.exe"};
  for (const fs::path& file : {setup.programs, setup.answerer}) {
    if (!fs::is_regular_file(file)) {
      *missing = file.string() +
                 " is not built: build the win32 preset and its package first (cmake --preset "
                 "win32 && cmake --build --preset win32 && cmake --build --preset win32 --target "
                 "package), or name its build folder in RQ47_WIN32_DIR";
      return std::nullopt;
    }
  }
  return setup;
}

WineSession::WineSession(WineSetup setup) : setup_(std::move(setup)) {
  display_ = std::make_unique<VirtualDisplay>(setup_.xvfb);
  basePrefix_ =
      rq47test::BinaryDir() / "tests" / "wine" / ("prefix-win32-" + setup_.kind.windowsVersion);
  WinePrefix::MakeBase(setup_.tools, basePrefix_, setup_.kind.windowsVersion);
  RemoveAbandonedScenarios(workRoot());
  // In the scenario folders' form ("<name>-<process>-<n>"), so that the
  // folder of a process that was killed is removed as theirs are.
  unpacked_ = workRoot() / (setup_.kind.name() + "-" + std::to_string(::getpid()) + "-0");
  fs::remove_all(unpacked_);
  if (setup_.kind.source == ProgramSource::Package) {
    UnpackZip(setup_.programs, unpacked_);
  } else {
    UnpackFloppy(setup_.programs, unpacked_);
  }
}

WineSession::~WineSession() {
  std::error_code ignored;
  fs::remove_all(unpacked_, ignored);
}

fs::path WineSession::program(const std::string& name) const {
  // The floppy keeps short names: match without regard to case.
  return ResolveNames(unpacked_, {name + ".exe"});
}

fs::path WineSession::workRoot() const { return basePrefix_.parent_path() / "work"; }

std::string StepResult::report() const {
  char times[96];
  std::snprintf(times, sizeof times, " (%.1f s on winsim, %.1f s under Wine)", winsimSeconds,
                wineSeconds);
  std::string text = program + " answered \"" + answers + "\": exit code " +
                     std::to_string(winsimExitCode) + " on winsim, " +
                     std::to_string(wineExitCode) + " under Wine" + times + "\n";
  text += "boxes on winsim:\n" + Describe(winsimBoxes);
  text += "boxes under Wine:\n" + Describe(wineBoxes);
  if (!differences.empty()) {
    text += "where the changes of the two sides differ:\n";
    for (const std::string& line : differences) text += "  " + line + "\n";
  }
  if (winsimExitCode != wineExitCode) {
    text += "the host program's standard error:\n" + winsimErrorText;
    text += "Wine's standard error:\n" + wineErrorText;
  }
  text += "machines afterwards: " + winsimMachine.string() + " (winsim), " + wineMachine.string() +
          " (Wine)\n";
  return text;
}

Scenario::Scenario(const WineSession& session, const std::string& shippedMachine)
    : session_(session) {
  static std::atomic<int> counter{0};
  fs::path source = rq47test::SourceDir() / "machines" / shippedMachine;
  if (!fs::is_directory(source)) throw std::runtime_error("no shipped machine " + source.string());
  work_ = session.workRoot() /
          (shippedMachine + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  fs::remove_all(work_);
  original_ = work_ / "original";
  winsimMachine_ = work_ / "winsim";
  scratch_ = work_ / "scratch";
  rq47test::CopyMachineFiles(source, original_);
  SetWindowsVersion(original_, session.setup().kind.machineVersion());
  rq47test::CopyMachineFiles(original_, winsimMachine_);
  fs::create_directories(scratch_);

  winsim::Machine machine = winsim::Machine::load(original_);
  // Under Wine the programs see the host's processor (a Pentium to a 32-bit
  // program) and the host's memory: only a machine with a Pentium and enough
  // memory runs alike on both sides.
  if (machine.config.processorType != 586 || machine.config.totalMemory < 8000) {
    throw std::runtime_error(source.string() +
                             ": only a machine with a Pentium (Processor=586) and at least 8000 "
                             "bytes of memory can be compared under Wine, which shows the "
                             "host's processor and memory");
  }
  map_ = std::make_unique<DriveMap>(machine.config);
  prefix_ = std::make_unique<WinePrefix>(session.setup().tools, session.basePrefix(),
                                         work_ / "prefix", session.display());
  // The server stays from here on: under qemu-i386, starting it and Wine's
  // services anew would take most of each Wine command's time.
  prefix_->keepServerRunning();
  PortPlan ports = PlanPorts(machine.config);
  prefix_->importRegistry(RegistryLoadFile(machine.registry) + WithoutHeader(ports.settingsFile) +
                              WithoutHeader(WindowsVersionFile(machine.config)),
                          scratch_);
  SetUpPortLinks(prefix_->folder(), ports);
  CopyDriveIntoPrefix(machine.driveFolder('C'), *map_, prefix_->driveC());
  MakeShortAliases(machine.driveFolder('C'), *map_, prefix_->driveC());

  // The prefix must now hold the machine, or what each step changes would be
  // compared from two different starts.
  winsimBefore_ = Snapshot(winsimMachine_);
  wineBefore_ = Snapshot(exportMachine("wine-loaded"));
  std::vector<std::string> differences = CompareChanges(winsimBefore_, winsimBefore_, winsimBefore_,
                                                        wineBefore_, EndToEndAllowances());
  if (!differences.empty()) {
    std::string text = "loading " + source.string() + " into the Wine prefix " +
                       prefix_->folder().string() + " did not give that machine; the load:";
    for (const std::string& line : differences) text += "\n  " + line;
    throw std::runtime_error(text);
  }

  workingDirectory_ = ResolveNames(
      prefix_->driveC(), map_->toPrefix(DriveMap::NamesOf(machine.config.currentDirectory)));
  if (!fs::is_directory(workingDirectory_)) {
    throw std::runtime_error("the machine's current directory " + machine.config.currentDirectory +
                             " is not a folder of its drive C:");
  }
}

Scenario::~Scenario() {
  bool keep = std::getenv("RQ47_WINE_KEEP") != nullptr;
  if (keep && prefix_) prefix_->keepOnDisk();
  prefix_.reset();
  if (keep) {
    std::cerr << "kept the scenario's machines and Wine prefix in " << work_.string() << "\n";
    return;
  }
  std::error_code ignored;
  fs::remove_all(work_, ignored);
}

std::map<std::string, std::optional<std::string>> Scenario::exportComparedKeys() const {
  return prefix_->exportKeys(ComparedKeys(), scratch_);
}

fs::path Scenario::exportMachine(const std::string& name) const {
  fs::path folder = work_ / name;
  fs::create_directories(folder);
  fs::copy_file(original_ / "machine.ini", folder / "machine.ini");
  fs::copy_file(original_ / "registry.reg", folder / "registry.reg");
  fs::create_directories(folder / "drive_c");
  winsim::Machine machine = winsim::Machine::load(folder);
  CollectDriveFromPrefix(prefix_->driveC(), session_.basePrefix() / "drive_c", *map_,
                         original_ / "drive_c", machine.driveFolder('C'));
  ReplaceKeys(machine.registry, exportComparedKeys());
  machine.save(true);
  return folder;
}

StepResult Scenario::run(const std::string& program, const std::string& answers) {
  std::string tag = std::to_string(++steps_) + "-" + program;
  StepResult result;
  result.program = program;
  result.answers = answers;

  fs::path trace = scratch_ / ("trace-" + tag + ".txt");
  auto started = std::chrono::steady_clock::now();
  rq47test::ProgramResult onWinsim = rq47test::RunProgram(program, winsimMachine_, answers, trace);
  result.winsimSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.winsimExitCode = onWinsim.exitCode;
  result.winsimErrorText = onWinsim.errorText;
  result.winsimBoxes = BoxesFromTrace(ReadWhole(trace));
  result.winsimMachine = work_ / ("winsim-after-" + tag);
  rq47test::CopyMachineFiles(winsimMachine_, result.winsimMachine);

  started = std::chrono::steady_clock::now();
  WineRunResult underWine = RunUnderWine(*prefix_, session_.program(program), workingDirectory_,
                                         answers, session_.setup().answerer, scratch_);
  result.wineSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.wineExitCode = underWine.exitCode;
  result.wineBoxes = underWine.boxes;
  result.wineErrorText = underWine.errorText;
  result.wineMachine = exportMachine("wine-after-" + tag);

  winsim_tool::MachineSnapshot winsimAfter = Snapshot(result.winsimMachine);
  winsim_tool::MachineSnapshot wineAfter = Snapshot(result.wineMachine);
  result.differences =
      CompareChanges(winsimBefore_, winsimAfter, wineBefore_, wineAfter, EndToEndAllowances());
  winsimBefore_ = std::move(winsimAfter);
  wineBefore_ = std::move(wineAfter);
  return result;
}

}  // namespace rq47wine
