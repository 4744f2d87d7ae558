#include "program_run.h"

#include <exception>
#include <fstream>
#include <stdexcept>

#include "main_sequence.h"
#include "uninstall_sequence.h"

namespace winsim_tool {

std::optional<Program> ProgramNamed(std::string_view name) {
  std::string_view stem = name;
  if (stem.size() > 4 && winsim::NamesEqual(stem.substr(stem.size() - 4), ".exe")) {
    stem.remove_suffix(4);
  }
  if (winsim::NamesEqual(stem, "rq47set")) return Program::Setup;
  if (winsim::NamesEqual(stem, "zuninst")) return Program::Uninstaller;
  return std::nullopt;
}

const char* ProgramName(Program program) {
  return program == Program::Setup ? "rq47set" : "zuninst";
}

ProgramOutcome RunProgramOn(winsim::Machine& machine, Program program,
                            const RunSettings& settings) {
  ProgramOutcome outcome;
  winsim::Run run(machine);
  if (!settings.traceFile.empty()) {
    // A fresh trace for this run, not one appended to an older one.
    std::ofstream truncate(settings.traceFile, std::ios::trunc);
    if (!truncate.is_open()) {
      throw std::runtime_error("cannot write the trace file " + settings.traceFile +
                               "; check that its folder exists and can be written");
    }
    truncate.close();
    run.traceToFile(settings.traceFile);
  }
  run.setAnswers(settings.answers);
  run.echoMessageBoxes = true;
  run.askTerminal = settings.interactive;

  try {
    outcome.exitCode = program == Program::Setup ? rq47set::RunSetup() : zuninst::RunUninstall();
  } catch (const winsim::RunStopped& stop) {
    switch (stop.reason) {
      case winsim::RunStopped::Reason::Interrupted:
        outcome.stopped = std::string("was interrupted: ") + stop.what();
        outcome.exitCode = kInterrupted;
        break;
      case winsim::RunStopped::Reason::BadAnswer:
        outcome.stopped = std::string("was stopped: ") + stop.what() + "; fix --answers";
        outcome.exitCode = kCouldNotRun;
        break;
      case winsim::RunStopped::Reason::Deadlock:
        outcome.stopped = std::string("was stopped: ") + stop.what();
        outcome.exitCode = kCouldNotRun;
        break;
    }
  } catch (const std::exception& error) {
    outcome.stopped = std::string("crashed: ") + error.what();
    outcome.exitCode = kCouldNotRun;
  }
  outcome.boxes = run.messageBoxes();
  return outcome;
}

}  // namespace winsim_tool
