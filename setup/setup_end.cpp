#include "setup_end.h"

namespace rq47set {

int SetupEnd::exitCode() const {
  switch (programFolder_) {
    case ProgramFolderPath::kFound: break;
    case ProgramFolderPath::kNoDestination: return 1;
    case ProgramFolderPath::kWindowsDirectoryTooLong: return 2;
    case ProgramFolderPath::kWindowsDirectoryEmpty: return 3;
    case ProgramFolderPath::kDoesNotFit: return 4;
  }
  switch (import_) {
    case ChildRun::kEnded: break;
    case ChildRun::kNotStarted: return -1;
    case ChildRun::kExitCodeUnread: return -2;
    case ChildRun::kNotEnded: return -3;
  }
  switch (result_) {
    case SetupResult::kFinished: break;
    case SetupResult::kRequirementsNotMet: return 100;
    case SetupResult::kArchiveFailed: return 101;
    case SetupResult::kPackageIncomplete: return 102;
    case SetupResult::kFilesNotPlaced: return 103;
  }
  return 0;
}

}  // namespace rq47set
