// winsim diff: what differs between two machine folders, as diff(1) reports
// it: 0 the same, 1 different, 2 trouble.
#include <cstdio>
#include <exception>
#include <optional>

#include "changes_text.h"
#include "command_line.h"
#include "commands.h"
#include "html_report.h"
#include "machine_diff.h"
#include "machine_problem.h"
#include "report_file.h"
#include "snapshot.h"
#include "winsim/file_journal.h"
#include "winsim/guarded_run.h"
#include "winsim/machine.h"
#include "winsim/machine_hold.h"

namespace winsim_tool {
namespace {

constexpr char kCommand[] = "diff";
constexpr int kSame = 0;
constexpr int kDifferent = 1;
constexpr int kTrouble = 2;
constexpr int kRefused = 125;  // a machine's left journal cannot be followed; nothing was read

std::optional<MachineSnapshot> Snapshot(const std::string& folder) {
  // What a killed run left is put back first, so that it never shows as a change.
  std::string tidied = winsim::MachineHold::TidyIfLeft(folder, "winsim diff");
  if (!tidied.empty()) Say(kCommand, folder + ": " + tidied);
  try {
    winsim::Machine machine = winsim::Machine::load(folder);
    return TakeSnapshot(machine);
  } catch (const winsim::MachineError& error) {
    Say(kCommand, MachineProblem(folder, error));
  } catch (const std::exception& error) {
    Say(kCommand, folder + ": " + error.what());
  }
  return std::nullopt;
}

}  // namespace

int DiffCommand(const std::vector<std::string>& args) {
  Arguments parsed;
  try {
    parsed = ParseArguments(args, {{"--report", true}, {"--full", false}});
    if (parsed.help) {
      std::fputs(CommandHelp(kCommand).c_str(), stdout);
      return kSame;
    }
    if (parsed.positional.size() != 2) {
      throw UsageError("give two machine folders: winsim diff BEFORE AFTER");
    }
    if (parsed.has("--report")) {
      std::string problem = ReportPathProblem(parsed.value("--report"));
      if (!problem.empty()) throw UsageError("--report: " + problem);
    }
  } catch (const UsageError& error) {
    SayUsage(kCommand, error.what());
    return kTrouble;
  }

  const std::string& beforeFolder = parsed.positional[0];
  const std::string& afterFolder = parsed.positional[1];
  std::optional<MachineSnapshot> before;
  std::optional<MachineSnapshot> after;
  try {
    before = Snapshot(beforeFolder);
    if (!before) return kTrouble;
    after = Snapshot(afterFolder);
    if (!after) return kTrouble;
  } catch (const winsim::JournalRefused& refused) {
    // A journal left in a machine that cannot be followed: neither side is shown.
    Say(kCommand, MachineProblem(before ? afterFolder : beforeFolder, refused));
    return kRefused;
  }

  MachineChanges changes = CompareSnapshots(*before, *after);
  if (changes.empty()) {
    std::printf("No differences: %s and %s hold the same registry, files and settings.\n",
                winsim::EscapeControls(beforeFolder).c_str(),
                winsim::EscapeControls(afterFolder).c_str());
  } else {
    std::fputs(ChangesText(changes, parsed.has("--full")).c_str(), stdout);
  }
  std::fflush(stdout);

  if (parsed.has("--report")) {
    ReportContent content;
    content.title = "Changes from " + beforeFolder + " to " + afterFolder;
    content.facts.push_back("Before: " + before->folder.string());
    content.facts.push_back("After: " + after->folder.string());
    content.changes = &changes;
    try {
      WriteReportFile(parsed.value("--report"), HtmlReport(content));
    } catch (const std::exception& error) {
      Say(kCommand, std::string("cannot write the report: ") + error.what());
      return kTrouble;
    }
  }
  return changes.empty() ? kSame : kDifferent;
}

}  // namespace winsim_tool
