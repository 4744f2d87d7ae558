// Runs a command line as a detached child with piped standard handles.
#ifndef RQ47SET_CHILD_PROCESS_H
#define RQ47SET_CHILD_PROCESS_H

#include <windows.h>

namespace rq47set {

// 0 the child started and ended within the wait and its exit code was read
// (whatever it was); -1 it did not start; -2 its exit code could not be read;
// -3 the wait ended without the child's end. Every handle is closed on return.
int RunChildProcess(char* commandLine, DWORD waitMilliseconds);

}  // namespace rq47set

#endif  // RQ47SET_CHILD_PROCESS_H
