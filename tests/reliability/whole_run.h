// One whole run of rq47set or zuninst, in this process, on a machine folder:
// loaded as the program's start would load it, run with scripted answers and
// an optional failing call or call budget, saved as the program's end would
// save it (or, for a power cut, as the power loss leaves it), and loaded once
// more as the next program would.
#ifndef RQ47_TESTS_RELIABILITY_WHOLE_RUN_H
#define RQ47_TESTS_RELIABILITY_WHOLE_RUN_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "winsim/run.h"

namespace rq47test {

enum class Program { kSetup, kUninstall };

// What a run cut short leaves of the registry. Files are always as written.
// Windows 95/98 hold the registry in memory and write it out later, so a
// power cut may keep any of the run's registry changes, or none of them.
enum class PowerLoss {
  kRegistryAsAtCut,    // every change the run made until the cut was written out
  kRegistryAsAtStart,  // none was
};

const char* ProgramName(Program program);

// "RegistryAsAtCut", "RegistryAsAtStart".
const char* PowerLossName(PowerLoss model);
void PrintTo(PowerLoss model, std::ostream* out);

struct RunInput {
  std::vector<int> answers;
  std::optional<winsim::FaultRule> fault;
  // The run ends, as if killed, before making call number stopAfterCalls + 1.
  std::optional<uint64_t> stopAfterCalls;
  PowerLoss powerLoss = PowerLoss::kRegistryAsAtCut;
};

struct RunOutcome {
  // The program returned this exit code.
  std::optional<int> exitCode;
  // The call budget ran out: the program was stopped where it stood.
  bool interrupted = false;
  // Anything else that ended the run: an exception the program let out, or
  // winsim stopping it for another reason. Empty when there was none.
  std::string crash;
  std::vector<std::string> trace;
  uint64_t calls = 0;
  std::vector<winsim::MessageBoxRecord> boxes;
  size_t handlesLeftOpen = 0;
  // Empty when the saved folder loads again and holds the registry the run
  // left (or, when the cut lost the run's registry changes, just loads).
  std::string reloadProblem;
};

// Runs the program on the machine folder and saves the machine afterwards,
// however the run ended.
RunOutcome RunProgram(const std::filesystem::path& folder, Program program, const RunInput& input);

// Makes `target` an exact copy of the machine folder `source`.
void CopyMachineFolder(const std::filesystem::path& source, const std::filesystem::path& target);

// The bytes of a file of the machine by its Windows path below drive C:
// ("WINDOWS\system.ini"), matched exactly as the shipped folders spell it;
// nothing when it is missing.
std::optional<std::string> ReadMachineFile(const std::filesystem::path& folder,
                                           const std::string& windowsPath);

// The function named by a trace line ("RegOpenKeyExA(...) = ..." -> "RegOpenKeyExA").
std::string TracedFunction(const std::string& line);

// One call of a trace: the function and which call of that function it was (1-based).
struct TracedCall {
  std::string function;
  unsigned occurrence = 0;
};
std::vector<TracedCall> TracedCalls(const std::vector<std::string>& trace);

}  // namespace rq47test

#endif  // RQ47_TESTS_RELIABILITY_WHOLE_RUN_H
