// Whole runs of the programs as processes: a fresh installation by rq47set
// on a copy of machines/win98se (load the machine, run, save it), and an
// uninstall by zuninst of that installation, each beside starting and ending
// /bin/true in the same rounds.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_options.h"
#include "report.h"
#include "rounds.h"
#include "timed_process.h"

namespace fs = std::filesystem;
using namespace rq47bench;

namespace {

struct Programs {
  fs::path withoutFlushes = RQ47_BENCH_WITHOUT_FLUSHES;
  fs::path setup = RQ47_BENCH_SETUP_PROGRAM;
  fs::path uninstall = RQ47_BENCH_UNINSTALL_PROGRAM;
  fs::path machines = RQ47_BENCH_MACHINES;
};

// A fresh copy of the shipped machine (not timed).
fs::path FreshMachine(const Programs& programs, const fs::path& folder) {
  fs::remove_all(folder);
  fs::copy(programs.machines / "win98se", folder, fs::copy_options::recursive);
  return folder;
}

ProcessRequest ProgramOnMachine(const fs::path& program, const fs::path& machine,
                                const std::string& answers, const fs::path& errorFile) {
  ProcessRequest request;
  request.argv = {program.string()};
  request.environment = {{"WINSIM_MACHINE", machine.string()}, {"WINSIM_ANSWERS", answers}};
  request.standardError = errorFile.string();
  return request;
}

// The run did what it stands for: the installation wrote the modem's
// settings key, and the uninstall removed the uninstall entry.
constexpr const char* kVendorKey = "[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]";
constexpr const char* kUninstallEntry =
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV]";

void CheckKey(const fs::path& machine, const char* key, bool wanted, const char* after) {
  bool present = ReadFileText(machine / "registry.reg").find(key) != std::string::npos;
  if (present != wanted) {
    throw std::runtime_error(std::string("after the ") + after + " the key " + key + " is " +
                             (present ? "still there" : "missing") + " in " + machine.string());
  }
}

bool RunPrograms(const BenchOptions& options) {
  Programs programs;
  ScratchFolder scratch(options.scratch);
  fs::path machine = scratch.path() / "machine";
  fs::path errors = scratch.path() / "stderr.txt";

  ProcessRequest trueRequest;
  trueRequest.argv = {"/bin/true"};
  Measure trivial{"/bin/true", [&] { return RunExpecting(trueRequest, 0).sample(); }, {}};
  Measure install{
      "rq47set",
      [&] {
        FreshMachine(programs, machine);
        Sample time =
            RunExpecting(ProgramOnMachine(programs.setup, machine, "", errors), 0).sample();
        CheckKey(machine, kVendorKey, true, "installation");
        return time;
      },
      {}};
  // The floor below which the installation cannot go while each change lasts
  // through a host crash: the same run with the flushes answered at once,
  // less what starting it through the launcher adds (the launcher starting
  // /bin/true, against /bin/true).
  ProcessRequest launcherRequest;
  launcherRequest.argv = {programs.withoutFlushes.string(), "/bin/true"};
  Measure launcher{"launcher", [&] { return RunExpecting(launcherRequest, 0).sample(); }, {}};
  Measure unflushed{"rq47set without flushes",
                    [&] {
                      FreshMachine(programs, machine);
                      ProcessRequest request =
                          ProgramOnMachine(programs.setup, machine, "", errors);
                      request.argv.insert(request.argv.begin(), programs.withoutFlushes.string());
                      Sample time = RunExpecting(request, 0).sample();
                      CheckKey(machine, kVendorKey, true, "installation");
                      return time;
                    },
                    {}};
  Measure uninstall{"zuninst",
                    [&] {
                      FreshMachine(programs, machine);
                      RunExpecting(ProgramOnMachine(programs.setup, machine, "", errors), 0);
                      CheckKey(machine, kUninstallEntry, true, "installation");
                      Sample time =
                          RunExpecting(
                              ProgramOnMachine(programs.uninstall, machine, "yes,ok", errors), 1)
                              .sample();
                      CheckKey(machine, kUninstallEntry, false, "uninstall");
                      return time;
                    },
                    {}};
  // Whole runs take milliseconds: more rounds cost little and steady the medians.
  // Where the host refuses the launcher its filter (a container that forbids
  // seccomp), the floor is left out and said so.
  std::vector<Measure*> measures = {&trivial, &install, &uninstall};
  const bool floorMeasured = RunTimed(launcherRequest).exitCode == 0;
  if (floorMeasured) measures.insert(measures.end(), {&launcher, &unflushed});
  RunRounds(measures, options.quick ? 1 : options.rounds * 4);

  Report report("Whole runs as processes on a copy of machines/win98se (medians of " +
                    std::to_string(trivial.samples.size()) + " rounds)",
                !options.quick);
  report.time("/bin/true", trivial.median());
  report.time("rq47set, fresh installation", install.median());
  report.time("zuninst, uninstall of that installation", uninstall.median());
  report.ratio("rq47set / true", install.median(), trivial.median(), 5, "/bin/true");
  report.ratio("zuninst / true", uninstall.median(), trivial.median(), 10, "/bin/true");
  if (!floorMeasured) {
    report.line("floor with no flush: not measured, " + programs.withoutFlushes.string() +
                " could not start /bin/true with its filter of flush calls (seccomp)");
    return report.allMet();
  }
  Sample floor = unflushed.median();
  floor.cpu -= launcher.median().cpu - trivial.median().cpu;
  floor.wall -= launcher.median().wall - trivial.median().wall;
  report.time("floor: rq47set with no flush", floor,
              "the run's flushes: " + FormatSeconds(install.median().cpu - floor.cpu));
  report.compare("floor / true", floor, trivial.median(), "/bin/true");
  return report.allMet();
}

}  // namespace

int main(int argc, char** argv) { return BenchmarkMain(argc, argv, false, RunPrograms); }
