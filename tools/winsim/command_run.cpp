// winsim run: the setup program or the uninstaller on a machine folder, with
// its message boxes in the terminal and, when asked, a report of the run.
// Everything that can be checked is checked before the program starts, so a
// wrong command line or machine changes nothing.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

#include "changes_text.h"
#include "command_line.h"
#include "commands.h"
#include "html_report.h"
#include "machine_diff.h"
#include "machine_problem.h"
#include "program_run.h"
#include "report_file.h"
#include "snapshot.h"
#include "winsim/machine.h"
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

std::string ExitLine(const std::string& program, int exitCode) {
  std::string line = program + " ended with exit code " + std::to_string(exitCode);
  if (exitCode < 0 || exitCode > 255) {
    line += " (the process status is " + std::to_string(exitCode & 255) + ")";
  }
  return line;
}

// The page: the boxes of the run, then what changed.
std::string RunReport(const winsim::Machine& machine, Program program,
                      const ProgramOutcome& outcome, const MachineChanges& changes,
                      const std::string& answers) {
  ReportContent content;
  content.title = std::string(ProgramName(program)) + " on " + FolderName(machine);
  content.facts.push_back("Machine folder: " + machine.folder().string());
  content.facts.push_back("Answers given: " + (answers.empty() ? std::string("none") : answers));
  content.facts.push_back(outcome.stopped.empty()
                              ? ExitLine(ProgramName(program), outcome.exitCode)
                              : std::string(ProgramName(program)) + " " + outcome.stopped +
                                    " (exit code " + std::to_string(outcome.exitCode) + ")");
  content.hasBoxes = true;
  content.boxes = outcome.boxes;
  content.changes = &changes;
  return HtmlReport(content);
}

}  // namespace

int RunCommand(const std::vector<std::string>& args) {
  Arguments parsed;
  std::optional<Program> program;
  std::vector<int> answers;
  try {
    parsed = ParseArguments(args, {{"--answers", true}, {"--trace", true}, {"--report", true}});
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
    try {
      answers = winsim::ParseAnswers(parsed.value("--answers"));
    } catch (const std::exception& error) {
      throw UsageError(std::string("--answers: ") + error.what());
    }
    if (parsed.has("--report")) {
      std::string problem = ReportPathProblem(parsed.value("--report"));
      if (!problem.empty()) throw UsageError("--report: " + problem);
    }
  } catch (const UsageError& error) {
    SayUsage(kCommand, error.what());
    return kCouldNotRun;
  }

  const std::string folder = parsed.positional[0];
  std::unique_ptr<winsim::Machine> machine;
  try {
    machine = std::make_unique<winsim::Machine>(winsim::Machine::load(folder));
  } catch (const winsim::MachineError& error) {
    Say(kCommand, MachineProblem(folder, error));
    return kCouldNotRun;
  } catch (const std::exception& error) {
    Say(kCommand, folder + ": cannot load the machine: " + error.what());
    return kCouldNotRun;
  }

  const bool wantReport = parsed.has("--report");
  std::optional<MachineSnapshot> before;
  if (wantReport) {
    try {
      before = TakeSnapshot(*machine);
    } catch (const std::exception& error) {
      Say(kCommand,
          std::string("cannot take stock of the machine before the run: ") + error.what());
      return kCouldNotRun;
    }
  }

  RunSettings settings;
  settings.answers = answers;
  settings.traceFile = parsed.value("--trace");
  ProgramOutcome outcome;
  try {
    outcome = RunProgramOn(*machine, *program, settings);
  } catch (const std::exception& error) {
    Say(kCommand, std::string("--trace: ") + error.what());
    return kCouldNotRun;
  }

  // What the program wrote stays written, however it ended.
  try {
    machine->save();
  } catch (const std::exception& error) {
    Say(kCommand, "cannot save the registry of " + folder + ": " + error.what() +
                      "; the files of the machine were changed by the run");
    return kCouldNotRun;
  }

  const std::string name = ProgramName(*program);
  if (!outcome.stopped.empty()) Say(kCommand, name + " " + outcome.stopped);
  Say(kCommand, ExitLine(name, outcome.exitCode));

  if (wantReport) {
    const std::string reportPath = parsed.value("--report");
    try {
      MachineSnapshot after = TakeSnapshot(*machine);
      MachineChanges changes = CompareSnapshots(*before, after);
      WriteFileAtomically(
          reportPath, RunReport(*machine, *program, outcome, changes, parsed.value("--answers")));
      Say(kCommand, "report written to " + reportPath + " (" +
                        Counted(outcome.boxes.size(), "message box", "message boxes") + "; " +
                        Counted(changes.keys.size(), "registry key", "registry keys") + " and " +
                        Counted(changes.files.size(), "file or folder", "files and folders") +
                        " changed)");
    } catch (const std::exception& error) {
      Say(kCommand, "the run is done (" + ExitLine(name, outcome.exitCode) +
                        ") but the report cannot be written: " + error.what());
      return kCouldNotRun;
    }
  }
  return outcome.exitCode;
}

}  // namespace winsim_tool
