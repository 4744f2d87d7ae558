// How a run of the setup ended, and the exit code that tells it: the one
// place where the program's exit codes are given.
#ifndef RQ47SET_SETUP_END_H
#define RQ47SET_SETUP_END_H

#include "child_process.h"
#include "install_paths.h"

namespace rq47set {

enum class SetupResult {
  // Installed; or the upgrade prepared or declined; or stopped after the
  // hardware or the vendor key message.
  kFinished,
  kRequirementsNotMet,
  // The previous version could not be archived; nothing of it was removed.
  kArchiveFailed,
  // A file of the package is missing from the program folder; nothing was changed.
  kPackageIncomplete,
  // A file could not be placed; the settings are in place, the port name and
  // the registry import are not.
  kFilesNotPlaced,
};

// One of the results above, or the step that stopped the run with its own:
// the program folder path that could not be had, or the registry import that
// did not run to its end.
class SetupEnd {
 public:
  constexpr SetupEnd(SetupResult result) : result_(result) {}
  constexpr SetupEnd(ProgramFolderPath programFolder) : programFolder_(programFolder) {}
  constexpr SetupEnd(ChildRun import) : import_(import) {}

  // 0, 100, 101, 102 or 103 for the results; 1 to 4 for the program folder path;
  // -1 to -3 for the import.
  int exitCode() const;

 private:
  SetupResult result_ = SetupResult::kFinished;
  ProgramFolderPath programFolder_ = ProgramFolderPath::kFound;
  ChildRun import_ = ChildRun::kEnded;
};

}  // namespace rq47set

#endif  // RQ47SET_SETUP_END_H
