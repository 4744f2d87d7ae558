// One run of a program on a simulated machine: what a process has of the
// platform while it runs (open handles, last error, current directory) and what
// a test or a person watches (message boxes, the call trace), with the means to
// make platform calls fail.
//
// Exactly one Run is current at a time; the Win32 functions of windows.h work
// on it. A test makes a Machine, makes a Run on it and calls a program's
// sequence or a single operation.
#ifndef WINSIM_RUN_H
#define WINSIM_RUN_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "winsim/machine.h"

namespace winsim {

struct MessageBoxRecord {
  std::string caption;
  std::string text;
  uint32_t style = 0;  // MB_* flags as passed
  int result = 0;      // IDOK, IDYES, ... (0 when the call failed)
};

// Makes matching platform calls fail with a Windows error code.
struct FaultRule {
  std::string function;  // "RegOpenKeyExA"
  std::string match;     // substring of the call's traced arguments (any case); empty: any call
  unsigned nth = 0;      // fail only the nth matching call (1-based); 0: every matching call
  uint32_t error = 0;    // the error to report; 0: the one Windows would give for this call
};

// Thrown through the program when the run must end where it is: the call
// budget of an interruption is spent, a scripted answer does not fit a box,
// the program waits forever for a child that never ends, or the person asked
// the run to stop (RequestStop). The program's entry catches it and decides
// what of the run the machine keeps.
class RunStopped : public std::runtime_error {
 public:
  enum class Reason { Interrupted, BadAnswer, Deadlock, Cancelled };
  RunStopped(Reason why, const std::string& what) : std::runtime_error(what), reason(why) {}
  Reason reason;
};

struct HandleTable;
class FileJournal;

class Run {
 public:
  explicit Run(Machine& machine);
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  Machine& machine() { return machine_; }

  // Message boxes. Scripted answers (IDYES, IDNO, IDOK, IDCANCEL...) are taken
  // in order; when they run out, the terminal is asked if askTerminal is set
  // and standard input is one; otherwise the box's default button is taken.
  void setAnswers(std::vector<int> answers);
  bool askTerminal = false;
  bool echoMessageBoxes = false;  // draw every box on standard error
  const std::vector<MessageBoxRecord>& messageBoxes() const { return boxes_; }
  int answerFor(const MessageBoxRecord& box);  // used by MessageBoxA
  void recordMessageBox(MessageBoxRecord box) { boxes_.push_back(std::move(box)); }

  // Faults and interruptions.
  void addFault(FaultRule rule);
  void clearFaults() { faults_.clear(); }
  // The run stops (RunStopped) when it is about to make call number k + 1, as
  // if the process were killed there; a close or a call made while that stop
  // unwinds the program fails quietly instead of throwing again.
  void stopAfterCalls(uint64_t k) { callLimit_ = k; }
  bool stopped() const { return stopped_; }

  // Where the file calls record what they change, so that a run winsim
  // cannot finish can be undone; none for runs that tests make in-process.
  void setJournal(FileJournal* journal) { journal_ = journal; }
  FileJournal* journal() const { return journal_; }

  // The trace: one line for every platform call, "Function(arguments) = result".
  const std::vector<std::string>& trace() const { return trace_; }
  // Also append every line to this file as it happens (WINSIM_TRACE).
  void traceToFile(const std::string& path);
  // The same into a file already open, which the run then owns.
  void traceToFile(FILE* file);
  uint64_t callCount() const { return calls_; }

  // Handles (registry keys, files, ports, pipes, processes, threads) still open.
  size_t openHandleCount() const;
  HandleTable& handles() { return *handles_; }

  // The process heap (HeapAlloc, HeapFree). A block is known by the number
  // the trace gives it; what the program never frees goes with the run, as a
  // process's heap goes with the process.
  struct HeapBlock {
    uint64_t number = 0;
    std::unique_ptr<unsigned char[]> bytes;
  };
  const HeapBlock& allocateHeapBlock(size_t size);
  // The number of the block, or 0 when the address is not a block of the heap.
  uint64_t heapBlockNumber(const void* address) const;
  bool freeHeapBlock(const void* address);
  size_t heapBlockCount() const { return heap_.size(); }

  // Process state.
  std::string currentDirectory;
  uint32_t lastError = 0;

  // Called by every platform call: counts it, stops the run when the budget
  // is spent, and returns the error to fail it with when a fault rule matches.
  std::optional<uint32_t> beginCall(const char* function, const std::string& args,
                                    uint32_t defaultError);
  void endCall(const char* function, const std::string& args, const std::string& result);
  // Throws RunStopped (Cancelled) when a stop was requested; from then on the
  // run behaves as one whose call budget is spent.
  void stopIfRequested(const char* where);

 private:
  // True when a stop was requested; the call budget ends at the calls made.
  bool noteStopRequest();

  Machine& machine_;
  Run* previous_;
  std::vector<int> answers_;
  size_t nextAnswer_ = 0;
  std::vector<MessageBoxRecord> boxes_;
  struct ActiveFault {
    FaultRule rule;
    unsigned seen = 0;
  };
  std::vector<ActiveFault> faults_;
  uint64_t calls_ = 0;
  uint64_t callLimit_ = UINT64_MAX;
  bool stopped_ = false;
  RunStopped::Reason stopReason_ = RunStopped::Reason::Interrupted;
  std::string stopCause_ = "stopped";
  FileJournal* journal_ = nullptr;
  std::vector<std::string> trace_;
  std::unique_ptr<FILE, int (*)(FILE*)> traceFile_;
  std::unique_ptr<HandleTable> handles_;
  std::map<const void*, HeapBlock> heap_;
  uint64_t heapBlocksMade_ = 0;
};

// Asks the current run to stop at its next platform call, or at the box that
// waits for an answer, as when the person presses Ctrl-C (the signal number
// says which; 0 withdraws the request). Safe to call from a signal handler.
void RequestStop(int signal) noexcept;
// The signal of the pending request; 0 when there is none.
int StopRequest() noexcept;

// The current run; a platform call without one is a fault of the harness and aborts.
Run& CurrentRun();
bool HasCurrentRun();

// Parses a WINSIM_ANSWERS list ("yes,no,ok,cancel", any case) into IDYES, IDNO ...
// Throws std::invalid_argument naming the word that is not an answer.
std::vector<int> ParseAnswers(const std::string& list);
// The Windows error code of a name ("ERROR_ACCESS_DENIED", any case) or of a
// decimal number ("5"); nothing for a name winsim does not know.
std::optional<uint32_t> ErrorNamed(std::string_view name);
// "OK", "Yes", "No" ... for an IDOK, IDYES, ...
const char* ButtonName(int id);
// The buttons of a message box style, left to right (IDOK, IDCANCEL ...);
// empty for a style Windows 95/98 does not know.
std::vector<int> ButtonsOf(uint32_t style);
// Which of them is the default: MB_DEFBUTTON2 makes it the second; a default
// beyond the last button falls back to the first, as on Windows.
size_t DefaultButtonIndex(uint32_t style, size_t buttonCount);
// Their names, separated by sep ("Yes, No").
std::string ButtonList(const std::vector<int>& buttons, const char* sep = ", ");
// The lines of a box's text: CR LF, CR alone and LF alone each end a line, as
// the box draws them.
std::vector<std::string> BoxTextLines(std::string_view text);

}  // namespace winsim

#endif  // WINSIM_RUN_H
