// The same whole runs as bench_programs, on winsim and under Wine side by
// side: a fresh installation by rq47set on machines/win98se and the uninstall
// that follows, each run by the Wine harness as the end-to-end tests run it
// (the shipping win32 executables of the ZIP under the 32-bit Wine as
// Windows 98, with the answering program pressing the buttons). Prints how
// long each side's program ran and the ratio; there is no target for it. Says
// so and ends with 0 when that Wine, Xvfb or the win32 package are missing.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "bench_options.h"
#include "report.h"
#include "rounds.h"
#include "scenario.h"

using namespace rq47bench;

namespace {

// One step of a scenario, checked to have run as it should on both sides.
rq47wine::StepResult Step(rq47wine::Scenario& scenario, const std::string& program,
                          const std::string& answers, int exitCode) {
  rq47wine::StepResult step = scenario.run(program, answers);
  if (step.winsimExitCode != exitCode || step.wineExitCode != exitCode) {
    throw std::runtime_error(program + " should end with " + std::to_string(exitCode) + ":\n" +
                             step.report());
  }
  return step;
}

bool RunBesideWine(const BenchOptions& options) {
  std::string missing;
  std::optional<rq47wine::WineSetup> setup =
      rq47wine::FindWineSetup({rq47wine::ProgramSource::Package, "win98"}, &missing);
  Report report("Whole runs on winsim beside the win32 executables under 32-bit Wine (wall clock)",
                false);
  if (!setup) {
    report.line("not measured: " + missing);
    return true;
  }
  rq47wine::WineSession session(*setup);
  // A Wine run takes seconds: three rounds give a median.
  int rounds = options.quick ? 1 : 3;
  Measure winsimInstall{"winsim rq47set", nullptr, {}};
  Measure wineInstall{"Wine rq47set", nullptr, {}};
  Measure winsimUninstall{"winsim zuninst", nullptr, {}};
  Measure wineUninstall{"Wine zuninst", nullptr, {}};
  for (int round = 0; round < rounds; ++round) {
    rq47wine::Scenario scenario(session, "win98se");
    rq47wine::StepResult install = Step(scenario, "rq47set", "", 0);
    rq47wine::StepResult uninstall = Step(scenario, "zuninst", "yes,ok", 1);
    winsimInstall.samples.push_back({install.winsimSeconds, 0});
    wineInstall.samples.push_back({install.wineSeconds, 0});
    winsimUninstall.samples.push_back({uninstall.winsimSeconds, 0});
    wineUninstall.samples.push_back({uninstall.wineSeconds, 0});
  }
  auto wall = [](const Measure& measure) { return measure.median().wall; };
  report.line("medians of " + std::to_string(rounds) + " rounds");
  report.line("rq47set, fresh installation:  winsim " + FormatSeconds(wall(winsimInstall)) +
              ", Wine " + FormatSeconds(wall(wineInstall)));
  report.line("zuninst, uninstall:           winsim " + FormatSeconds(wall(winsimUninstall)) +
              ", Wine " + FormatSeconds(wall(wineUninstall)));
  report.compare("rq47set under Wine / on winsim", wall(wineInstall) / wall(winsimInstall),
                 "the winsim run");
  report.compare("zuninst under Wine / on winsim", wall(wineUninstall) / wall(winsimUninstall),
                 "the winsim run");
  return true;
}

}  // namespace

int main(int argc, char** argv) { return BenchmarkMain(argc, argv, false, RunBesideWine); }
