// The exit codes with which the setup program reports a run it had to stop.
// 0 is every other end; GetProgramFolderPath's 1 to 4 and RunChildProcess's
// -1 to -3 are passed on as they come.
#ifndef RQ47SET_EXIT_CODES_H
#define RQ47SET_EXIT_CODES_H

namespace rq47set {

// The machine does not meet the requirements.
inline constexpr int kExitRequirementsNotMet = 100;
// The previous version could not be archived; nothing of it was removed.
inline constexpr int kExitArchiveFailed = 101;
// A file of the package is missing from the program folder; nothing was changed.
inline constexpr int kExitPackageIncomplete = 102;

}  // namespace rq47set

#endif  // RQ47SET_EXIT_CODES_H
