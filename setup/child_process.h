// Runs a command line as a detached child with piped standard handles.
#ifndef RQ47SET_CHILD_PROCESS_H
#define RQ47SET_CHILD_PROCESS_H

#include <windows.h>

namespace rq47set {

enum class ChildRun {
  // The child started and ended within the wait, and its exit code (whatever
  // it was) could be read.
  kEnded,
  kNotStarted,
  kExitCodeUnread,
  // The wait ended without the child's end; the child goes on running.
  kNotEnded,
};

// Every handle is closed on return.
ChildRun RunChildProcess(char* commandLine, DWORD waitMilliseconds);

}  // namespace rq47set

#endif  // RQ47SET_CHILD_PROCESS_H
