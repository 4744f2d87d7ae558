// A scenario run twice, step by step: on winsim (the host programs as
// processes) and under Wine (the Windows programs on a Wine prefix that holds
// the same machine). After each step what it changed on each side is compared.
#ifndef RQ47_WINE_SCENARIO_H
#define RQ47_WINE_SCENARIO_H

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "box_log.h"
#include "machine_transfer.h"
#include "snapshot.h"
#include "virtual_display.h"
#include "wine_prefix.h"

namespace rq47wine {

// Which copy of the shipping win32 executables runs under the 32-bit Wine,
// and as which Windows.
enum class ProgramSource {
  Package,  // as the ZIP ships them
  Floppy,   // copied off the floppy image
};
struct WineRunKind {
  ProgramSource source = ProgramSource::Package;
  std::string windowsVersion = "win98";  // Wine's name: "win98" or "win95"

  // "win32-zip-win98": in folder names.
  std::string name() const;
  // The machine.ini version of that Windows ("4.10.2222", "4.0.950").
  std::string machineVersion() const;
};
// How GoogleTest shows a kind: its name.
void PrintTo(const WineRunKind& kind, std::ostream* out);

// What the end-to-end runs need of the host and the builds.
struct WineSetup {
  WineRunKind kind;
  WineTools tools;
  std::filesystem::path xvfb;
  std::filesystem::path programs;  // the ZIP or the floppy image
  std::filesystem::path answerer;  // built by the win32 preset
};

// The setup, or nothing with the reason in *missing (the tests then skip).
std::optional<WineSetup> FindWineSetup(const WineRunKind& kind, std::string* missing);

// What a test process shares: the display, the base prefix and the programs.
class WineSession {
 public:
  explicit WineSession(WineSetup setup);
  ~WineSession();
  WineSession(const WineSession&) = delete;
  WineSession& operator=(const WineSession&) = delete;

  const WineSetup& setup() const { return setup_; }
  const std::string& display() const { return display_->name(); }
  const std::filesystem::path& basePrefix() const { return basePrefix_; }
  // Where scenarios keep their folders: on the base prefix's file system.
  std::filesystem::path workRoot() const;
  // The Windows program of that name ("rq47set", "zuninst") as this session runs it.
  std::filesystem::path program(const std::string& name) const;

 private:
  WineSetup setup_;
  std::unique_ptr<VirtualDisplay> display_;
  std::filesystem::path basePrefix_;
  std::filesystem::path unpacked_;  // the files of the ZIP or the image
};

struct StepResult {
  std::string program;
  std::string answers;
  int winsimExitCode = -1;
  int wineExitCode = -1;
  std::vector<ShownBox> winsimBoxes;
  std::vector<ShownBox> wineBoxes;
  std::vector<std::string> differences;  // of what it changed on each side, one line each
  double winsimSeconds = 0;              // how long the program ran on winsim (wall clock)
  double wineSeconds = 0;                // how long it ran under Wine, answerer and all
  std::string winsimErrorText;           // the host program's standard error
  std::string wineErrorText;             // Wine's standard error
  std::filesystem::path winsimMachine;   // the machine folders after the step
  std::filesystem::path wineMachine;

  // The step in a few lines: both exit codes, both box lists, the differences.
  std::string report() const;
};

class Scenario {
 public:
  // Copies machines/<shippedMachine> for winsim, made the session's Windows
  // version on both sides, and loads it into a new copy of the base prefix; checks that the prefix
  // then holds the machine's registry below the compared keys and its drive C:. Throws
  // std::runtime_error saying what failed.
  Scenario(const WineSession& session, const std::string& shippedMachine);
  ~Scenario();
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  // Runs the program on both sides with the same answers and compares.
  StepResult run(const std::string& program, const std::string& answers);

 private:
  std::map<std::string, std::optional<std::string>> exportComparedKeys() const;
  std::filesystem::path exportMachine(const std::string& name) const;

  const WineSession& session_;
  std::filesystem::path work_;
  std::filesystem::path original_;
  std::filesystem::path winsimMachine_;
  std::filesystem::path scratch_;
  std::unique_ptr<DriveMap> map_;
  std::unique_ptr<WinePrefix> prefix_;
  std::filesystem::path workingDirectory_;
  int steps_ = 0;
  // Each side's machine before the next step.
  winsim_tool::MachineSnapshot winsimBefore_;
  winsim_tool::MachineSnapshot wineBefore_;
};

}  // namespace rq47wine

#endif  // RQ47_WINE_SCENARIO_H
