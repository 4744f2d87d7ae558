// A program's run on a machine folder as a person starts it (the programs'
// own entry, and `winsim run`), with the machine kept safe:
//
// - the machine is held for the whole run (MachineHold), and what a killed
//   run left is put back before this one starts;
// - every change to the files is recorded (FileJournal), so that when winsim
//   cannot finish the run (an answer that does not fit a box, a wait that
//   would never end, a registry that cannot be saved) or the person stops it
//   (Ctrl-C, SIGTERM, a closed terminal), the machine is left exactly as it
//   was before the run, registry and files;
// - only a power cut asked for on purpose keeps part of a run: the files as
//   the program left them, and the registry as at the cut or as at the start
//   of the run, the two ways a real machine can come back from losing power.
//
// Tests that run programs in-process use Machine and Run directly and pay for
// none of this.
#ifndef WINSIM_GUARDED_RUN_H
#define WINSIM_GUARDED_RUN_H

#include <sys/stat.h>

#include <cstdint>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winsim/machine.h"
#include "winsim/run.h"

namespace winsim {

class FileJournal;
class MachineHold;

// Exit codes of winsim itself.
inline constexpr int kRunNotKept = 125;  // winsim could not run or finish it; nothing changed
inline constexpr int kPowerCut = 137;    // the power was cut on purpose

// What the machine keeps of a run whose power is cut: the files as written in
// both; the registry as the program left it in memory (the platform had
// written it out), or as it was when the run started (it had not).
enum class PowerLoss { RegistryAtCut, RegistryAtStart };

struct GuardedRunSettings {
  std::string holder;           // who holds the machine, as others are told ("rq47set")
  bool waitForMachine = false;  // wait for another holder instead of refusing
  std::function<void(const std::string&)> waiting;  // told once, with the holder, before waiting
  std::vector<int> answers;                         // IDYES, IDOK ... (ParseAnswers)
  std::string answersSource;  // where they came from, for the advice ("WINSIM_ANSWERS")
  bool askTerminal = true;    // ask at the terminal when the answers run out
  std::string traceFile;      // one line for every platform call; empty for none
  bool appendTrace = false;   // add to the file instead of starting it afresh
  std::optional<FaultRule> fault;
  std::optional<uint64_t> powerCutAfter;  // the power goes after this many calls
  PowerLoss powerLoss = PowerLoss::RegistryAtCut;
};

enum class RunEnding {
  Finished,  // the program ended by itself; its changes are kept
  NotKept,   // winsim could not finish the run; the machine is as before it
  Stopped,   // the person stopped it (a signal); the machine is as before it
  PowerCut,  // the power was cut on purpose; the machine keeps what the model keeps
};

struct GuardedRunOutcome {
  RunEnding ending = RunEnding::Finished;
  // The program's own exit code; kRunNotKept, kPowerCut, or 128 + the signal.
  int exitCode = 0;
  int signal = 0;  // Stopped: the signal the process should end with
  // What to tell the person, one line each; the last says what the machine kept.
  std::vector<std::string> lines;
  std::vector<MessageBoxRecord> boxes;
};

// A line for the terminal: control characters (which could drive the
// terminal, as an ESC in a key name would) shown as \xNN: C0, DEL, C1 (as
// UTF-8 U+0080 to U+009F, or as a lone byte 0x80 to 0x9F) and any byte that
// is not part of valid UTF-8.
std::string EscapeControls(std::string_view text);

// True when the file `info` describes is also a file of `folder` (the same
// file under another name, a hard link), looked for without following links.
bool IsFileOf(const struct stat& info, const std::filesystem::path& folder);

// Ends the process by the signal that stopped its run, as a shell expects of
// a program that a Ctrl-C ended; returns 128 + signal should it not end.
int EndBySignal(int signal);

// Empty when the trace file can be written and is outside the machine folder;
// otherwise what is wrong and what to do.
std::string TraceFileProblem(const std::string& traceFile,
                             const std::filesystem::path& machineFolder);

class GuardedRun {
 public:
  // Catches Ctrl-C, SIGTERM, SIGHUP and SIGPIPE until it ends; holds the machine, puts
  // back what a killed run left, loads the machine. Throws MachineBusy,
  // MachineError, and std::invalid_argument for a trace file that cannot be
  // used (TraceFileProblem).
  GuardedRun(const std::filesystem::path& folder, GuardedRunSettings settings);
  ~GuardedRun();
  GuardedRun(const GuardedRun&) = delete;
  GuardedRun& operator=(const GuardedRun&) = delete;

  Machine& machine() { return *machine_; }
  // What was put back of an earlier run that was killed; empty when nothing.
  const std::string& tidied() const;

  // Runs the program (a function that calls its entry) once, named `name`
  // in what is said, and keeps or undoes what it changed.
  GuardedRunOutcome run(const std::function<int()>& program, const std::string& name);

 private:
  FILE* OpenTrace() const;
  class Signals;
  void keep(bool saveRegistry);
  void undo(GuardedRunOutcome& outcome, const std::string& lastLine);

  std::filesystem::path folder_;
  GuardedRunSettings settings_;
  std::unique_ptr<Signals> signals_;
  std::unique_ptr<MachineHold> hold_;
  std::unique_ptr<Machine> machine_;
  std::unique_ptr<FileJournal> journal_;
};

}  // namespace winsim

#endif  // WINSIM_GUARDED_RUN_H
