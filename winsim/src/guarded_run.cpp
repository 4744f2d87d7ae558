#include "winsim/guarded_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "winsim/file_journal.h"
#include "winsim/machine_hold.h"

namespace fs = std::filesystem;

namespace winsim {
namespace {

// A closed output (SIGPIPE: the output piped into a program that ended) is a
// stop as well: the run cannot say what it does any more.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The machine files a save rewrites; the journal keeps them before the save,
// so that a run undone after its save is undone whole.
constexpr const char* kSavedFiles[] = {"registry.reg", "short-names.txt"};

constexpr const char* kAsBefore = "the machine is as it was before the run, registry and files";

void OnStopSignal(int signal) { RequestStop(signal); }

// The signals that stop a run are held back while the run's changes are kept
// or undone, so that neither is left half done.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kStopSignals) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~HeldSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t previous_;
};

bool IsInside(const fs::path& path, const fs::path& folder) {
  auto folderEnd = folder.end();
  if (!folder.empty() && folder.filename().empty()) --folderEnd;  // a trailing separator
  auto it = path.begin();
  for (auto part = folder.begin(); part != folderEnd; ++part, ++it) {
    if (it == path.end() || *it != *part) return false;
  }
  return true;
}

bool ModeAllowsWriting(const fs::path& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) != 0 &&
         ::access(path.c_str(), W_OK) == 0;
}

std::string ExitLine(const std::string& name, int exitCode) {
  std::string line = name + " ended with exit code " + std::to_string(exitCode);
  if (exitCode < 0 || exitCode > 255) {
    line += " (the process status is " + std::to_string(exitCode & 255) + ")";
  }
  return line;
}

std::string Calls(uint64_t count) {
  return std::to_string(count) + (count == 1 ? " call" : " calls");
}

// Whether the fault rule was used, for a run that asked for one.
std::string FaultNotUsed(const FaultRule& fault, const std::vector<std::string>& trace) {
  uint64_t made = 0;
  for (const std::string& line : trace) {
    if (line.find("[injected fault") != std::string::npos) return std::string();
    if (line.compare(0, fault.function.size() + 1, fault.function + "(") == 0) ++made;
  }
  return "the fault was not used: the program made " + Calls(made) + " to " + fault.function +
         ", so its call " + std::to_string(fault.nth) + " never came";
}

}  // namespace

// Catches the signals that stop a run while the run is guarded.
class GuardedRun::Signals {
 public:
  Signals() {
    RequestStop(0);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait for the terminal or the machine ends at once
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
      sigaction(kStopSignals[i], &action, &previous_[i]);
    }
  }
  ~Signals() {
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
      sigaction(kStopSignals[i], &previous_[i], nullptr);
    }
  }
  Signals(const Signals&) = delete;
  Signals& operator=(const Signals&) = delete;

 private:
  struct sigaction previous_[std::size(kStopSignals)];
};

std::string EscapeControls(std::string_view text) {
  static const char kDigits[] = "0123456789abcdef";
  auto escape = [](std::string& out, unsigned char byte) {
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  };
  auto continuation = [&text](size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
  };
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      escape(out, byte);
      ++i;
      continue;
    }
    if (byte < 0x80) {
      out += text[i++];
      continue;
    }
    // A whole UTF-8 sequence passes, unless it is a C1 control (U+0080 to U+009F).
    size_t length = byte >= 0xC2 && byte <= 0xDF   ? 2
                    : byte >= 0xE0 && byte <= 0xEF ? 3
                    : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                   : 0;
    bool whole = length != 0;
    for (size_t k = 1; whole && k < length; ++k) whole = continuation(i + k);
    if (whole && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      escape(out, static_cast<unsigned char>(text[i + 1]));  // shown as the control it is
      i += 2;
      continue;
    }
    if (!whole) {
      escape(out, byte);
      ++i;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

bool IsFileOf(const struct stat& info, const fs::path& folder) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    struct stat entry;
    if (::lstat(it->path().c_str(), &entry) == 0 && entry.st_ino == info.st_ino &&
        entry.st_dev == info.st_dev) {
      return true;
    }
  }
  return false;
}

int EndBySignal(int signal) {
  ::signal(signal, SIG_DFL);
  ::raise(signal);
  return 128 + signal;
}

std::string TraceFileProblem(const std::string& traceFile, const fs::path& machineFolder) {
  if (traceFile.empty()) return std::string();
  std::error_code error;
  fs::path file = fs::absolute(traceFile, error);
  fs::path parent = file.parent_path();
  if (!fs::is_directory(parent, error)) {
    return "the folder " + parent.string() + " for the trace file " + traceFile +
           " does not exist; make it first or name another file";
  }
  fs::path resolved = fs::weakly_canonical(file, error);
  fs::path machine = fs::weakly_canonical(fs::absolute(machineFolder, error), error);
  if (!error && IsInside(resolved, machine)) {
    return "the trace file " + traceFile + " is inside the machine folder " +
           machineFolder.string() +
           ", where it would become part of the machine; write it "
           "elsewhere";
  }
  struct stat info;
  if (::stat(resolved.c_str(), &info) == 0 && IsFileOf(info, machine)) {
    return "the trace file " + traceFile + " is also a file of the machine folder " +
           machineFolder.string() +
           " (a link to it), which the trace would overwrite; name a new file";
  }
  fs::file_status status = fs::status(resolved, error);
  if (fs::exists(status)) {
    if (!fs::is_regular_file(status)) {
      return "the trace file " + traceFile + " is not a file; name a file";
    }
    if (!ModeAllowsWriting(resolved)) {
      return "the trace file " + traceFile +
             " cannot be written (it is read-only); name "
             "another file";
    }
  } else if (!ModeAllowsWriting(resolved.parent_path())) {
    return "the trace file " + traceFile +
           " cannot be made: its folder is read-only; name "
           "another file";
  }
  return std::string();
}

GuardedRun::GuardedRun(const fs::path& folder, GuardedRunSettings settings)
    : folder_(folder), settings_(std::move(settings)), signals_(std::make_unique<Signals>()) {
  std::string traceProblem = TraceFileProblem(settings_.traceFile, folder_);
  if (!traceProblem.empty()) throw std::invalid_argument(traceProblem);
  // A folder that is not there is said as the load says it.
  std::error_code error;
  if (!fs::is_directory(folder_, error)) {
    machine_ = std::make_unique<Machine>(Machine::load(folder_));
  }
  hold_ = std::make_unique<MachineHold>(folder_, settings_.holder, settings_.waitForMachine,
                                        settings_.waiting);
  machine_ = std::make_unique<Machine>(Machine::load(folder_));
}

GuardedRun::~GuardedRun() = default;

// The trace file as it is opened, checked again: a file of the machine folder
// linked in after the first check is refused before a byte is written to it.
FILE* GuardedRun::OpenTrace() const {
  const std::string& path = settings_.traceFile;
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_CLOEXEC, 0644);
  struct stat info;
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("cannot open the trace file " + path +
                             " for writing: " + std::strerror(errno));
  }
  if (!S_ISREG(info.st_mode) || IsFileOf(info, machine_->folder())) {
    ::close(fd);
    throw std::runtime_error("the trace file " + path +
                             " is a file of the machine folder or not a file; name a new file");
  }
  // A fresh trace for this run, not one added to an older one.
  if (!settings_.appendTrace && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot empty the trace file " + path + ": " + std::strerror(errno));
  }
  FILE* file = ::fdopen(fd, "a");
  if (file == nullptr) ::close(fd);
  if (file == nullptr) throw std::runtime_error("cannot open the trace file " + path);
  return file;
}

const std::string& GuardedRun::tidied() const { return hold_->tidied(); }

void GuardedRun::keep(bool saveRegistry) {
  // A power cut before the platform wrote the registry out loses what the
  // run put there; the files stay as written.
  if (!saveRegistry) machine_->registry.modified = false;
  for (const char* name : kSavedFiles) {
    // Only the files the save rewrites need keeping (each record is a flush).
    bool rewritten = std::string_view(name) == "registry.reg" ? machine_->savesRegistry()
                                                              : machine_->savesShortNames();
    if (!rewritten) continue;
    fs::path file = machine_->folder() / name;
    struct stat info;
    bool exists = ::lstat(file.c_str(), &info) == 0;
    int error = exists ? journal_->willReplace(file) : journal_->willCreate(file);
    if (error != 0) {
      throw MachineError(name, 0,
                         std::string("cannot be kept before the save: ") + std::strerror(error));
    }
  }
  // The commit flushes the machine's file system before the save counts, and
  // until then the journal puts the old files back: the save need not flush.
  machine_->save(false, Machine::SaveFlush::kByJournal);
  journal_->commit();
}

void GuardedRun::undo(GuardedRunOutcome& outcome, const std::string& lastLine) {
  try {
    journal_->rollback();
    outcome.lines.push_back(lastLine + ": " + kAsBefore);
  } catch (const MachineError& error) {
    outcome.lines.push_back(lastLine + ", and " + error.problem());
  }
}

GuardedRunOutcome GuardedRun::run(const std::function<int()>& program, const std::string& name) {
  GuardedRunOutcome outcome;
  std::optional<RunStopped> stop;
  std::string crash;
  std::string faultNotUsed;
  uint64_t calls = 0;
  {
    Run run(*machine_);
    if (!settings_.traceFile.empty()) {
      run.traceToFile(OpenTrace());  // throws before anything is changed
    }
    journal_ = std::make_unique<FileJournal>(machine_->folder());
    run.setJournal(journal_.get());
    run.setAnswers(settings_.answers);
    run.echoMessageBoxes = true;
    run.askTerminal = settings_.askTerminal;
    if (settings_.fault) run.addFault(*settings_.fault);
    if (settings_.powerCutAfter) run.stopAfterCalls(*settings_.powerCutAfter);
    try {
      run.stopIfRequested("before it started");
      outcome.exitCode = program();
    } catch (const RunStopped& stopped) {
      stop = stopped;
    } catch (const std::exception& error) {
      crash = error.what();
    } catch (...) {
      crash = "an exception that is not a std::exception";
    }
    outcome.boxes = run.messageBoxes();
    calls = run.callCount();
    if (settings_.fault) faultNotUsed = FaultNotUsed(*settings_.fault, run.trace());
  }
  if (!faultNotUsed.empty()) outcome.lines.push_back(faultNotUsed);

  HeldSignals held;
  const std::string fix = settings_.answersSource.empty() ? "the answers" : settings_.answersSource;
  if (!stop && crash.empty()) {
    try {
      keep(true);
      outcome.lines.push_back(ExitLine(name, outcome.exitCode));
    } catch (const std::exception& error) {
      outcome.ending = RunEnding::NotKept;
      outcome.lines.push_back("cannot save the registry of " + folder_.string() + ": " +
                              error.what());
      undo(outcome, ExitLine(name, outcome.exitCode) + ", but winsim could not keep its changes");
      outcome.exitCode = kRunNotKept;
    }
    return outcome;
  }
  if (stop && stop->reason == RunStopped::Reason::Interrupted) {
    outcome.ending = RunEnding::PowerCut;
    outcome.exitCode = kPowerCut;
    const bool atCut = settings_.powerLoss == PowerLoss::RegistryAtCut;
    outcome.lines.push_back(name + " lost its power after " + Calls(calls) + " (it " +
                            stop->what() + ")");
    try {
      keep(atCut);
      outcome.lines.push_back(std::string("the power was cut: the machine is saved as the cut "
                                          "left it, the files as written and the registry as ") +
                              (atCut ? "at the cut" : "at the start of the run") + " (exit code " +
                              std::to_string(kPowerCut) + ")");
    } catch (const std::exception& error) {
      outcome.ending = RunEnding::NotKept;
      outcome.exitCode = kRunNotKept;
      outcome.lines.push_back("cannot save the registry of " + folder_.string() + ": " +
                              error.what());
      undo(outcome, "the power cut could not be kept");
    }
    return outcome;
  }
  if (stop && stop->reason == RunStopped::Reason::Cancelled) {
    outcome.ending = RunEnding::Stopped;
    outcome.signal = StopRequest();
    outcome.exitCode = 128 + outcome.signal;
    undo(outcome, name + " was " + stop->what());
    return outcome;
  }
  outcome.ending = RunEnding::NotKept;
  outcome.exitCode = kRunNotKept;
  if (stop && stop->reason == RunStopped::Reason::BadAnswer) {
    outcome.lines.push_back(name + " was stopped: " + stop->what() + "; fix " + fix);
  } else if (stop) {
    outcome.lines.push_back(name + " was stopped: " + stop->what());
  } else {
    outcome.lines.push_back(name + " crashed: " + crash);
  }
  undo(outcome, name + " did not finish (exit code " + std::to_string(kRunNotKept) + ")");
  return outcome;
}

}  // namespace winsim
