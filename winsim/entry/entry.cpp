// main() of a program built against winsim: runs the program's WinMain on the
// machine folder named by WINSIM_MACHINE, as if it were started on that machine.
//
//   WINSIM_MACHINE  the machine folder (required)
//   WINSIM_ANSWERS  scripted answers to the message boxes: yes,no,ok,cancel ...
//   WINSIM_TRACE    a file that receives one line for every platform call
//   WINSIM_WAIT     1, yes or true: wait for another run or command that holds the machine
//                   instead of refusing at once
//
// Exit status: the program's own exit code; 125 when winsim could not run or
// finish it (a bad machine folder or setting, the machine in use, a scripted
// answer that does not fit a box, a wait that would never end, a registry that
// cannot be saved), in which case the machine is as it was before the run.
// Stopped by Ctrl-C or SIGTERM, the machine is as it was before the run and
// the process ends by that signal.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "winsim/guarded_run.h"
#include "winsim/machine.h"
#include "winsim/machine_hold.h"
#include "winsim/run.h"

namespace {

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
  std::fprintf(stderr, "winsim: %s\n", winsim::EscapeControls(line).c_str());
  std::fflush(stderr);
}

// "<folder>/machine.ini:12: unknown section [Foo]"
std::string Where(const std::string& folder, const winsim::MachineError& error) {
  std::string where = folder;
  if (!error.file().empty()) where += "/" + error.file();
  if (error.line() != 0) where += ":" + std::to_string(error.line());
  return where + ": " + error.problem();
}

// WINSIM_WAIT as people write a yes or a no; nothing when it is neither.
std::optional<bool> WaitSetting(std::string value) {
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (value.empty() || value == "0" || value == "no" || value == "false") return false;
  if (value == "1" || value == "yes" || value == "true") return true;
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string program = ProgramName(argc, argv);
  const std::string folder = Environment("WINSIM_MACHINE");
  if (folder.empty()) {
    Say("WINSIM_MACHINE is not set; set it to a machine folder (for example a copy of "
        "machines/win98se) to run " +
        program + " on it");
    return winsim::kRunNotKept;
  }

  winsim::GuardedRunSettings settings;
  try {
    settings.answers = winsim::ParseAnswers(Environment("WINSIM_ANSWERS"));
  } catch (const std::exception& error) {
    Say(std::string("WINSIM_ANSWERS: ") + error.what());
    return winsim::kRunNotKept;
  }
  std::optional<bool> wait = WaitSetting(Environment("WINSIM_WAIT"));
  if (!wait) {
    Say("WINSIM_WAIT: '" + Environment("WINSIM_WAIT") +
        "' is neither yes nor no; set it to 1, yes or true to wait for a machine in use, or to "
        "0, no or false (or leave it out) to refuse at once");
    return winsim::kRunNotKept;
  }
  settings.holder = program;
  settings.waitForMachine = *wait;
  settings.waiting = [&](const std::string& holder) {
    Say("the machine " + folder + " is in use by " + holder + "; waiting for it to be free " +
        "(Ctrl-C stops waiting)");
  };
  settings.answersSource = "WINSIM_ANSWERS";
  settings.traceFile = Environment("WINSIM_TRACE");
  settings.appendTrace = true;

  std::unique_ptr<winsim::GuardedRun> guarded;
  try {
    guarded = std::make_unique<winsim::GuardedRun>(folder, settings);
  } catch (const winsim::MachineBusy& busy) {
    if (busy.stoppedWaiting()) {
      Say(program + " did not start: the wait for " + busy.holder() +
          " was stopped; nothing was changed");
      return winsim::EndBySignal(winsim::StopRequest());
    }
    Say("the machine " + folder + " is in use by " + busy.holder() + "; run " + program +
        " when that has ended, or set WINSIM_WAIT=1 to wait for it");
    return winsim::kRunNotKept;
  } catch (const winsim::MachineError& error) {
    Say(Where(folder, error));
    return winsim::kRunNotKept;
  } catch (const std::invalid_argument& error) {
    Say(std::string("WINSIM_TRACE: ") + error.what());
    return winsim::kRunNotKept;
  } catch (const std::exception& error) {
    Say(folder + ": cannot load the machine: " + error.what());
    return winsim::kRunNotKept;
  }
  if (!guarded->tidied().empty()) Say(guarded->tidied());

  char commandLine[] = "";
  winsim::GuardedRunOutcome outcome;
  try {
    outcome = guarded->run(
        [&commandLine] { return WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL); }, program);
  } catch (const winsim::MachineError& error) {
    Say(Where(folder, error));
    return winsim::kRunNotKept;
  } catch (const std::exception& error) {
    Say(std::string("WINSIM_TRACE: ") + error.what());
    return winsim::kRunNotKept;
  }
  guarded.reset();  // lets go of the machine before the last word
  for (const std::string& line : outcome.lines) Say(line);
  if (outcome.signal != 0) return winsim::EndBySignal(outcome.signal);
  return outcome.exitCode;
}
