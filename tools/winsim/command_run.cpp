// winsim run: the setup program or the uninstaller on a machine folder, with
// its message boxes in the terminal and, when asked, a report of the run.
// Everything that can be checked is checked before the program starts, so a
// wrong command line or machine changes nothing; the run itself is guarded
// (winsim/guarded_run.h), so a run winsim cannot finish, or that the person
// stops, changes nothing either.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include "command_line.h"
#include "commands.h"
#include "html_report.h"
#include "machine_diff.h"
#include "machine_problem.h"
#include "program_run.h"
#include "report_file.h"
#include "run_options.h"
#include "snapshot.h"
#include "winsim/guarded_run.h"
#include "winsim/machine.h"
#include "winsim/machine_hold.h"
#include "winsim/run.h"

namespace fs = std::filesystem;

namespace winsim_tool {
namespace {

constexpr char kCommand[] = "run";

std::string FolderName(const winsim::Machine& machine) {
  std::string name = machine.folder().filename().string();
  return name.empty() ? machine.folder().string() : name;
}

std::string Counted(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The page: the boxes of the run, then what changed.
std::string RunReport(const winsim::Machine& machine, Program program,
                      const winsim::GuardedRunOutcome& outcome, const MachineChanges& changes,
                      const std::string& answers) {
  ReportContent content;
  content.title = std::string(ProgramName(program)) + " on " + FolderName(machine);
  content.facts.push_back("Machine folder: " + machine.folder().string());
  content.facts.push_back("Answers given: " + (answers.empty() ? std::string("none") : answers));
  for (const std::string& line : outcome.lines) content.facts.push_back(line);
  content.hasBoxes = true;
  content.boxes = outcome.boxes;
  content.changes = &changes;
  return HtmlReport(content);
}

winsim::GuardedRunSettings SettingsFrom(const Arguments& parsed, Program program,
                                        const std::string& folder) {
  winsim::GuardedRunSettings settings;
  settings.holder = std::string("winsim run ") + ProgramName(program);
  settings.waitForMachine = parsed.has("--wait");
  settings.waiting = [folder](const std::string& holder) {
    Say(kCommand, "the machine " + folder + " is in use by " + holder +
                      "; waiting for it to be free (Ctrl-C stops waiting)");
  };
  try {
    settings.answers = winsim::ParseAnswers(parsed.value("--answers"));
  } catch (const std::exception& error) {
    throw UsageError(std::string("--answers: ") + error.what());
  }
  settings.answersSource = "--answers";
  settings.traceFile = parsed.value("--trace");
  if (parsed.has("--fail")) settings.fault = ParseFaultOption(parsed.value("--fail"));
  if (parsed.has("--power-cut"))
    settings.powerCutAfter = ParsePowerCut(parsed.value("--power-cut"));
  if (parsed.has("--power-loss")) {
    if (!parsed.has("--power-cut")) {
      throw UsageError("--power-loss says what a power cut keeps; give --power-cut N with it");
    }
    settings.powerLoss = ParsePowerLoss(parsed.value("--power-loss"));
  }
  if (parsed.has("--report")) {
    std::string problem = ReportPathProblem(parsed.value("--report"), folder);
    if (!problem.empty()) throw UsageError("--report: " + problem);
  }
  return settings;
}

}  // namespace

int RunCommand(const std::vector<std::string>& args) {
  Arguments parsed;
  std::optional<Program> program;
  winsim::GuardedRunSettings settings;
  try {
    parsed = ParseArguments(args, {{"--answers", true},
                                   {"--trace", true},
                                   {"--report", true},
                                   {"--wait", false},
                                   {"--fail", true},
                                   {"--power-cut", true},
                                   {"--power-loss", true}});
    if (parsed.help) {
      std::fputs(CommandHelp(kCommand).c_str(), stdout);
      return 0;
    }
    if (parsed.positional.size() != 2) {
      throw UsageError(
          "give the machine folder and the program: winsim run DIR [options] rq47set|zuninst" +
          std::string(parsed.positional.size() > 2 ? " (found more than two arguments)" : ""));
    }
    program = ProgramNamed(parsed.positional[1]);
    if (!program) {
      throw UsageError("'" + parsed.positional[1] +
                       "' is not a program winsim can run; name rq47set or zuninst");
    }
    settings = SettingsFrom(parsed, *program, parsed.positional[0]);
  } catch (const UsageError& error) {
    SayUsage(kCommand, error.what());
    return winsim::kRunNotKept;
  }

  const std::string folder = parsed.positional[0];
  const std::string name = ProgramName(*program);
  std::unique_ptr<winsim::GuardedRun> guarded;
  try {
    guarded = std::make_unique<winsim::GuardedRun>(folder, settings);
  } catch (const winsim::MachineBusy& busy) {
    if (busy.stoppedWaiting()) {
      Say(kCommand, name + " did not start: the wait for " + busy.holder() +
                        " was stopped; nothing was changed");
      return winsim::EndBySignal(winsim::StopRequest());
    }
    Say(kCommand, "the machine " + folder + " is in use by " + busy.holder() +
                      "; run again when that has ended, or add --wait to wait for it");
    return winsim::kRunNotKept;
  } catch (const winsim::MachineError& error) {
    Say(kCommand, MachineProblem(folder, error));
    return winsim::kRunNotKept;
  } catch (const std::invalid_argument& error) {
    Say(kCommand, std::string("--trace: ") + error.what());
    return winsim::kRunNotKept;
  } catch (const std::exception& error) {
    Say(kCommand, folder + ": cannot load the machine: " + error.what());
    return winsim::kRunNotKept;
  }
  if (!guarded->tidied().empty()) Say(kCommand, guarded->tidied());

  const bool wantReport = parsed.has("--report");
  std::optional<MachineSnapshot> before;
  if (wantReport) {
    try {
      before = TakeSnapshot(guarded->machine());
    } catch (const std::exception& error) {
      Say(kCommand,
          std::string("cannot take stock of the machine before the run: ") + error.what());
      return winsim::kRunNotKept;
    }
  }

  winsim::GuardedRunOutcome outcome;
  try {
    outcome = guarded->run([&program] { return CallProgram(*program); }, name);
  } catch (const winsim::MachineError& error) {
    Say(kCommand, MachineProblem(folder, error, false));
    return winsim::kRunNotKept;
  } catch (const std::exception& error) {
    Say(kCommand, std::string("--trace: ") + error.what());
    return winsim::kRunNotKept;
  }

  // The page shows the machine as the run left it, read again from the folder
  // while it is still held.
  if (wantReport && outcome.signal == 0) {
    const std::string reportPath = parsed.value("--report");
    try {
      winsim::Machine after = winsim::Machine::load(folder);
      MachineChanges changes = CompareSnapshots(*before, TakeSnapshot(after));
      WriteReportFile(reportPath,
                      RunReport(after, *program, outcome, changes, parsed.value("--answers")),
                      folder);
      Say(kCommand, "report written to " + reportPath + " (" +
                        Counted(outcome.boxes.size(), "message box", "message boxes") + "; " +
                        Counted(changes.keys.size(), "registry key", "registry keys") + " and " +
                        Counted(changes.files.size(), "file or folder", "files and folders") +
                        " changed)");
    } catch (const std::exception& error) {
      // The run's fate was decided before the page: say which it was.
      std::string kept = outcome.ending == winsim::RunEnding::NotKept
                             ? "the run itself is not kept (below)"
                             : "the run itself is kept: the machine holds its changes, and the "
                               "exit code is the program's";
      Say(kCommand, std::string("the report cannot be written: ") + error.what() + "; " + kept);
    }
  }
  guarded.reset();  // lets go of the machine
  for (const std::string& line : outcome.lines) Say(kCommand, line);
  if (outcome.signal != 0) return winsim::EndBySignal(outcome.signal);
  return outcome.exitCode;
}

}  // namespace winsim_tool
