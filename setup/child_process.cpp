#include "child_process.h"

#include <cstring>

#include "unique_handle.h"

namespace rq47set {
namespace {

// The child's standard input, output and error. The runner keeps its own ends
// open for the whole wait and never reads or writes them, so a child that reads
// its input or fills a pipe would not end; the registry import does neither.
struct ChildPipes {
  UniqueHandle inputRead, inputWrite;
  UniqueHandle outputRead, outputWrite;
  UniqueHandle errorRead, errorWrite;

  ChildPipes() = default;
  ChildPipes(const ChildPipes&) = delete;
  ChildPipes& operator=(const ChildPipes&) = delete;
  // The child's ends first, then the runner's own.
  ~ChildPipes() {
    inputRead.reset();
    outputWrite.reset();
    errorWrite.reset();
    inputWrite.reset();
    outputRead.reset();
    errorRead.reset();
  }
};

// Starts the child and waits for it; the process and thread handles are
// closed (thread first) before this returns.
ChildRun StartAndWait(char* commandLine, DWORD waitMilliseconds, STARTUPINFOA& startup) {
  PROCESS_INFORMATION created{};
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                      nullptr, &startup, &created)) {
    return ChildRun::kNotStarted;
  }
  UniqueHandle process(created.hProcess);
  UniqueHandle thread(created.hThread);

  // A child still running when the wait ends goes on without our handles.
  if (WaitForSingleObject(process.get(), waitMilliseconds) != WAIT_OBJECT_0) {
    return ChildRun::kNotEnded;
  }
  DWORD exitCode = 0;  // read to learn that the child has ended; its value is the child's own
  return GetExitCodeProcess(process.get(), &exitCode) ? ChildRun::kEnded
                                                      : ChildRun::kExitCodeUnread;
}

}  // namespace

ChildRun RunChildProcess(char* commandLine, DWORD waitMilliseconds) {
  SECURITY_DESCRIPTOR descriptor{};
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = sizeof inheritable;
  inheritable.lpSecurityDescriptor = &descriptor;
  inheritable.bInheritHandle = TRUE;

  // A pipe that cannot be made leaves the child without that standard handle.
  ChildPipes pipes;
  CreatePipe(pipes.inputRead.put(), pipes.inputWrite.put(), &inheritable, 0);
  CreatePipe(pipes.outputRead.put(), pipes.outputWrite.put(), &inheritable, 0);
  CreatePipe(pipes.errorRead.put(), pipes.errorWrite.put(), &inheritable, 0);

  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = pipes.inputRead.get();
  startup.hStdOutput = pipes.outputWrite.get();
  startup.hStdError = pipes.errorWrite.get();

  return StartAndWait(commandLine, waitMilliseconds, startup);
}

}  // namespace rq47set
