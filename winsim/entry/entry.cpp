// main() of a program built against winsim: runs the program's WinMain on the
// machine folder named by WINSIM_MACHINE, as if it were started on that machine.
//
//   WINSIM_MACHINE  the machine folder (required)
//   WINSIM_ANSWERS  scripted answers to the message boxes: yes,no,ok,cancel ...
//   WINSIM_TRACE    a file that receives one line for every platform call
//
// Exit status: the program's own exit code; 125 when winsim could not run it
// (a bad machine folder or setting, a scripted answer that does not fit a box,
// a wait that would never end); 137 when the run was interrupted.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/run.h"

namespace {

constexpr int kCouldNotRun = 125;
constexpr int kKilled = 137;

std::string ProgramName(int argc, char** argv) {
  if (argc < 1 || argv[0] == nullptr) return "program";
  std::string name = std::filesystem::path(argv[0]).filename().string();
  return name.empty() ? std::string("program") : name;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

void Say(const std::string& line) {
  std::fprintf(stderr, "winsim: %s\n", line.c_str());
  std::fflush(stderr);
}

// "<folder>/machine.ini:12: unknown section [Foo]"
std::string Where(const std::string& folder, const winsim::MachineError& error) {
  std::string where = folder;
  if (!error.file().empty()) where += "/" + error.file();
  if (error.line() != 0) where += ":" + std::to_string(error.line());
  return where + ": " + error.problem();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string program = ProgramName(argc, argv);
  const std::string folder = Environment("WINSIM_MACHINE");
  if (folder.empty()) {
    Say("WINSIM_MACHINE is not set; set it to a machine folder (for example a copy of "
        "machines/win98se) to run " +
        program + " on it");
    return kCouldNotRun;
  }

  std::vector<int> answers;
  try {
    answers = winsim::ParseAnswers(Environment("WINSIM_ANSWERS"));
  } catch (const std::exception& error) {
    Say(std::string("WINSIM_ANSWERS: ") + error.what());
    return kCouldNotRun;
  }

  std::unique_ptr<winsim::Machine> machine;
  try {
    machine = std::make_unique<winsim::Machine>(winsim::Machine::load(folder));
  } catch (const winsim::MachineError& error) {
    Say(Where(folder, error));
    return kCouldNotRun;
  } catch (const std::exception& error) {
    Say(folder + ": cannot load the machine: " + error.what());
    return kCouldNotRun;
  }

  int exitCode = 0;
  std::string stopped;
  {
    winsim::Run run(*machine);
    const std::string trace = Environment("WINSIM_TRACE");
    if (!trace.empty()) {
      try {
        run.traceToFile(trace);
      } catch (const std::exception& error) {
        Say(std::string("WINSIM_TRACE: ") + error.what());
        return kCouldNotRun;
      }
    }
    run.setAnswers(std::move(answers));
    run.echoMessageBoxes = true;
    run.askTerminal = true;

    char commandLine[] = "";
    try {
      exitCode = WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL);
    } catch (const winsim::RunStopped& stop) {
      switch (stop.reason) {
        case winsim::RunStopped::Reason::Interrupted:
          stopped = "was interrupted: " + std::string(stop.what());
          exitCode = kKilled;
          break;
        case winsim::RunStopped::Reason::BadAnswer:
          stopped = "was stopped: " + std::string(stop.what()) + "; fix WINSIM_ANSWERS";
          exitCode = kCouldNotRun;
          break;
        case winsim::RunStopped::Reason::Deadlock:
          stopped = "was stopped: " + std::string(stop.what());
          exitCode = kCouldNotRun;
          break;
      }
    } catch (const std::exception& error) {
      stopped = "crashed: " + std::string(error.what());
      exitCode = kCouldNotRun;
    }
  }

  // What the program wrote stays written, however it ended.
  try {
    machine->save();
  } catch (const std::exception& error) {
    Say("cannot save the registry of " + folder + ": " + error.what());
    return kCouldNotRun;
  }

  if (!stopped.empty()) {
    Say(program + " " + stopped);
    Say(program + " ended with exit code " + std::to_string(exitCode));
    return exitCode;
  }
  std::string last = program + " ended with exit code " + std::to_string(exitCode);
  if (exitCode < 0 || exitCode > 255) {
    last += " (the process status is " + std::to_string(exitCode & 255) + ")";
  }
  Say(last);
  return exitCode;
}
