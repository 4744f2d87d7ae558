// One run of a Windows program under Wine, as a person at the machine would
// run it, with the answering program pressing the scripted buttons.
#ifndef RQ47_WINE_WINE_RUN_H
#define RQ47_WINE_WINE_RUN_H

#include <filesystem>
#include <string>
#include <vector>

#include "box_log.h"
#include "wine_prefix.h"

namespace rq47wine {

struct WineRunResult {
  int exitCode = -1;            // the program's exit code, 0..255
  std::vector<ShownBox> boxes;  // every message box, in order, as answered
  std::string errorText;        // what wine64 wrote on standard error
};

// Runs the program (a host path, started from outside the prefix's drive C:)
// with workingDirectory (a folder of the prefix) as its current directory,
// while the answerer presses the answers (comma-separated; when they run out a
// box gets its default button). What the program wrote into the registry is
// then in the prefix's wineserver, which exports read. Throws
// std::runtime_error when the program does not end within its time limit or
// the answerer fails.
WineRunResult RunUnderWine(const WinePrefix& prefix, const std::filesystem::path& program,
                           const std::filesystem::path& workingDirectory,
                           const std::string& answers, const std::filesystem::path& answerer,
                           const std::filesystem::path& scratchFolder);

}  // namespace rq47wine

#endif  // RQ47_WINE_WINE_RUN_H
