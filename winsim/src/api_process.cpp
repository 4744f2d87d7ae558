// Processes and pipes. A child process does not run beside the program: it is
// decided when it starts how it ends. regedit imports its files at once and
// ends; a program of machine.ini [Programs] ends with its code or runs
// forever; any other program found as a file ends at once with code 0.
#include <windows.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api_call.h"
#include "handles.h"
#include "host_copy.h"
#include "winsim/filesystem.h"
#include "winsim/regedit4.h"

using winsim::detail::Args;
using winsim::detail::Call;
using winsim::detail::HandleName;
using winsim::detail::Hex;
using winsim::detail::Quote;

namespace {

constexpr DWORD kUnknownRevision = 1305;  // ERROR_UNKNOWN_REVISION

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The words of a command line: blanks separate them, double quotes group
// blanks into one word and are not part of it.
std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '"') {
        quoted = !quoted;
      } else {
        word += line[i];
      }
      ++i;
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string_view LastComponent(std::string_view path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool EndsWithExe(std::string_view name) {
  return name.size() >= 4 && winsim::NamesEqual(name.substr(name.size() - 4), ".EXE");
}

// "regedit", "REGEDIT.EXE" -> "regedit": names compare with or without .EXE.
std::string_view WithoutExe(std::string_view name) {
  return EndsWithExe(name) ? name.substr(0, name.size() - 4) : name;
}

bool SameProgram(std::string_view a, std::string_view b) {
  return winsim::NamesEqual(WithoutExe(a), WithoutExe(b));
}

// The built-in regedit, Windows 98's: switches, then the files to import, each
// line by line as regedit imports (a line it cannot read is passed over, the
// others are applied; the trace names each line passed over). Returns its exit
// code: 0 when every file was imported, 1 when one is missing, cannot be read
// or is not a REGEDIT4 file (that file imports nothing), or no file was named.
uint32_t RunRegedit(Call& call, const std::vector<std::string>& words,
                    const std::string& directory) {
  winsim::Machine& machine = call.run().machine();
  uint32_t exitCode = 0;
  size_t files = 0;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!word.empty() && (word[0] == '/' || word[0] == '-')) continue;
    ++files;
    winsim::PathResult resolved = winsim::ResolvePath(machine, directory, word);
    if (!resolved.path || !resolved.path->exists || resolved.path->isDirectory) {
      call.note("regedit: cannot find " + Quote(word.c_str()));
      exitCode = 1;
      continue;
    }
    // Read block by block, without following a link out of the machine.
    winsim::UniqueFd in(winsim::OpenHostFile(machine, resolved.path->host));
    if (in.get() < 0) {
      call.note("regedit: cannot read " + resolved.path->windowsPath);
      exitCode = 1;
      continue;
    }
    winsim::Regedit4LineByLine imported = winsim::ImportRegedit4LineByLine(
        in.get(), machine.registry, winsim::StringStorageOf(machine.config.platform));
    if (imported.refused) {
      call.note("regedit: " + resolved.path->windowsPath + " line " +
                std::to_string(imported.refused->line) + ": " + imported.refused->message +
                "; nothing imported");
      exitCode = 1;
      continue;
    }
    if (imported.stopped) {
      call.note("regedit: " + resolved.path->windowsPath + " stopped at line " +
                std::to_string(imported.stopped->line) + ": " + imported.stopped->message +
                "; the lines before it were imported");
      exitCode = 1;
    } else {
      call.note("regedit imported " + resolved.path->windowsPath);
    }
    for (const winsim::PassedOverLine& passed : imported.passedOver) {
      call.note("passed over line " + std::to_string(passed.line) + ": " + passed.message);
    }
    if (imported.notListed != 0) {
      call.note("passed over " + std::to_string(imported.notListed) + " more lines");
    }
  }
  if (files == 0) {
    call.note("regedit: no file to import");
    exitCode = 1;
  }
  return exitCode;
}

// Finds a program as a file: a name with a folder is taken as it is, a bare
// name is searched in the current, System and Windows directories. ".exe" is
// added to a name without an extension.
bool FindProgramFile(winsim::Machine& machine, const std::string& directory,
                     const std::string& program) {
  std::string name = program;
  if (LastComponent(name).find('.') == std::string_view::npos) name += ".exe";
  std::vector<std::string> folders;
  if (name.find_first_of("\\/:") != std::string::npos) {
    folders.push_back(directory);
  } else {
    folders = {directory, machine.config.systemDirectory, machine.config.windowsDirectory};
  }
  for (const std::string& folder : folders) {
    winsim::PathResult resolved = winsim::ResolvePath(machine, folder, name);
    if (resolved.path && resolved.path->exists && !resolved.path->isDirectory) return true;
  }
  return false;
}

DWORD IdFor(HANDLE handle) {
  // Windows 95/98 ids look like this: large numbers with the top bits set.
  return static_cast<DWORD>(0xFFF00000u | (reinterpret_cast<uintptr_t>(handle) & 0xFFFFF));
}

}  // namespace

extern "C" BOOL WINAPI CreatePipe(PHANDLE hReadPipe, PHANDLE hWritePipe,
                                  LPSECURITY_ATTRIBUTES lpPipeAttributes, DWORD nSize) {
  Call call(
      "CreatePipe",
      Args(lpPipeAttributes == nullptr ? std::string("NULL") : std::string("{attributes}"), nSize),
      ERROR_NOT_ENOUGH_MEMORY);
  if (call.fault) return call.boolean(false, *call.fault);
  if (hReadPipe == nullptr || hWritePipe == nullptr) {
    return call.boolean(false, ERROR_INVALID_PARAMETER);
  }
  auto pipe = std::make_shared<winsim::Pipe>();
  *hReadPipe = call.handles().add(winsim::PipeEndObject{pipe, false});
  *hWritePipe = call.handles().add(winsim::PipeEndObject{pipe, true});
  call.note("read " + HandleName(*hReadPipe) + ", write " + HandleName(*hWritePipe));
  return call.boolean(true);
}

extern "C" BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                    DWORD dwRevision) {
  Call call("InitializeSecurityDescriptor",
            Args(pSecurityDescriptor == nullptr ? std::string("NULL") : std::string("{descriptor}"),
                 dwRevision),
            ERROR_INVALID_PARAMETER);
  if (call.fault) return call.boolean(false, *call.fault);
  if (pSecurityDescriptor == nullptr) return call.boolean(false, ERROR_INVALID_PARAMETER);
  if (dwRevision != SECURITY_DESCRIPTOR_REVISION) return call.boolean(false, kUnknownRevision);
  auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
  std::memset(descriptor, 0, sizeof *descriptor);
  descriptor->Revision = SECURITY_DESCRIPTOR_REVISION;
  return call.boolean(true);
}

extern "C" BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                      LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                      LPSECURITY_ATTRIBUTES lpThreadAttributes,
                                      BOOL bInheritHandles, DWORD dwCreationFlags,
                                      LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                                      LPSTARTUPINFOA lpStartupInfo,
                                      LPPROCESS_INFORMATION lpProcessInformation) {
  (void)lpProcessAttributes;
  (void)lpThreadAttributes;
  (void)lpEnvironment;
  (void)lpStartupInfo;
  Call call("CreateProcessA",
            Args(lpApplicationName, static_cast<const char*>(lpCommandLine),
                 static_cast<uint32_t>(bInheritHandles), Hex(dwCreationFlags), lpCurrentDirectory),
            ERROR_FILE_NOT_FOUND);
  if (call.fault) return call.boolean(false, *call.fault);
  if (lpProcessInformation == nullptr ||
      (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
    return call.boolean(false, ERROR_INVALID_PARAMETER);
  }
  winsim::Run& run = call.run();
  winsim::Machine& machine = run.machine();

  std::string directory = run.currentDirectory;
  if (lpCurrentDirectory != nullptr) {
    winsim::PathResult resolved =
        winsim::ResolvePath(machine, run.currentDirectory, lpCurrentDirectory);
    if (!resolved.path || !resolved.path->isDirectory) {
      return call.boolean(false, ERROR_PATH_NOT_FOUND);
    }
    directory = resolved.path->windowsPath;
  }

  std::vector<std::string> words =
      SplitCommandLine(lpCommandLine != nullptr ? lpCommandLine : lpApplicationName);
  std::string program = lpApplicationName != nullptr ? std::string(lpApplicationName)
                        : words.empty()              ? std::string()
                                                     : words[0];
  if (program.empty()) return call.boolean(false, ERROR_FILE_NOT_FOUND);
  std::string_view name = LastComponent(program);

  auto process = std::make_shared<winsim::ProcessState>();
  process->commandLine = lpCommandLine != nullptr ? lpCommandLine : lpApplicationName;
  const winsim::ProgramBehaviour* listed = nullptr;
  for (const auto& [listedName, behaviour] : machine.config.programs) {
    if (SameProgram(listedName, name)) listed = &behaviour;
  }
  // A listed program wins over the built-in regedit, so a machine can make
  // regedit fail or hang.
  if (listed != nullptr) {
    process->running = listed->kind == winsim::ProgramBehaviour::Kind::Runs;
    process->exitCode = listed->exitCode;
  } else if (SameProgram(name, "regedit")) {
    process->exitCode = RunRegedit(call, words, directory);
  } else if (FindProgramFile(machine, directory, program)) {
    process->exitCode = 0;
  } else {
    return call.boolean(false, ERROR_FILE_NOT_FOUND);
  }

  lpProcessInformation->hProcess = call.handles().add(winsim::ProcessObject{process});
  lpProcessInformation->hThread = call.handles().add(winsim::ThreadObject{process});
  lpProcessInformation->dwProcessId = IdFor(lpProcessInformation->hProcess);
  lpProcessInformation->dwThreadId = IdFor(lpProcessInformation->hThread);
  call.note("process " + HandleName(lpProcessInformation->hProcess) + ", thread " +
            HandleName(lpProcessInformation->hThread) + ", " +
            (process->running ? std::string("running")
                              : "ended with " + std::to_string(process->exitCode)));
  return call.boolean(true);
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  Call call("WaitForSingleObject",
            Args(hHandle, dwMilliseconds == INFINITE ? std::string("INFINITE")
                                                     : std::to_string(dwMilliseconds)),
            ERROR_INVALID_HANDLE);
  if (call.fault) return call.result<DWORD>(WAIT_FAILED, "WAIT_FAILED", *call.fault);
  std::shared_ptr<winsim::ProcessState> process;
  if (auto* object = call.handles().get<winsim::ProcessObject>(hHandle)) {
    process = object->process;
  } else if (auto* thread = call.handles().get<winsim::ThreadObject>(hHandle)) {
    process = thread->process;
  } else {
    return call.result<DWORD>(WAIT_FAILED, "WAIT_FAILED, ERROR_INVALID_HANDLE",
                              ERROR_INVALID_HANDLE);
  }
  if (!process->running) return call.result<DWORD>(WAIT_OBJECT_0, "WAIT_OBJECT_0");
  if (dwMilliseconds != INFINITE) return call.result<DWORD>(WAIT_TIMEOUT, "WAIT_TIMEOUT");
  call.result<DWORD>(WAIT_FAILED, "never returns: the child never ends");
  throw winsim::RunStopped(winsim::RunStopped::Reason::Deadlock,
                           "the program waits without limit for " +
                               Quote(process->commandLine.c_str()) + ", which never ends");
}

extern "C" BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  Call call("GetExitCodeProcess", Args(hProcess), ERROR_INVALID_HANDLE);
  if (call.fault) return call.boolean(false, *call.fault);
  auto* object = call.handles().get<winsim::ProcessObject>(hProcess);
  if (object == nullptr) return call.boolean(false, ERROR_INVALID_HANDLE);
  if (lpExitCode == nullptr) return call.boolean(false, ERROR_INVALID_PARAMETER);
  *lpExitCode =
      object->process->running ? static_cast<DWORD>(STILL_ACTIVE) : object->process->exitCode;
  call.note(object->process->running ? std::string("STILL_ACTIVE")
                                     : "exit code " + std::to_string(*lpExitCode));
  return call.boolean(true);
}
