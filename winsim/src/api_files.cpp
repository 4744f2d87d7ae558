// Files and folders on the machine's drives, serial ports and the ends of
// anonymous pipes, as the programs reach them through the Win32 file calls.
//
// Everything runs as the host user, who may well be root and so ignore
// permissions; a file is read-only when its host file lacks the owner-write
// bit, and that bit is checked here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>

#include "api_call.h"
#include "handles.h"
#include "host_copy.h"
#include "winsim/file_journal.h"
#include "winsim/filesystem.h"

using winsim::detail::Args;
using winsim::detail::Call;
using winsim::detail::HandleName;
using winsim::detail::Hex;
using winsim::detail::Quote;
using winsim::detail::QuoteBytes;

namespace {

// What an anonymous pipe holds before a writer has to wait for the reader.
constexpr size_t kPipeCapacity = 4096;

// Any failure of the host that has no better match.
uint32_t ErrorOfErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EIO: return ERROR_GEN_FAILURE;
    default: return ERROR_ACCESS_DENIED;  // EACCES, EPERM, EROFS, ELOOP, EISDIR ...
  }
}

struct Resolved {
  winsim::ResolvedPath path;
  uint32_t error = 0;
};

Resolved Resolve(Call& call, const char* name) {
  Resolved resolved;
  if (name == nullptr) {
    resolved.error = ERROR_PATH_NOT_FOUND;
    return resolved;
  }
  winsim::PathResult result =
      winsim::ResolvePath(call.run().machine(), call.run().currentDirectory, name);
  if (!result.path) {
    resolved.error = result.error;
  } else {
    resolved.path = std::move(*result.path);
  }
  return resolved;
}

bool ReadOnly(const std::filesystem::path& host) {
  struct stat info;
  return ::stat(host.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

// Something on the host that the drive does not show (a link, a device, a
// name Windows cannot hold) sits where a new entry would go.
bool HostNameTaken(const std::filesystem::path& host) {
  struct stat info;
  return ::lstat(host.c_str(), &info) == 0;
}

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
};

bool IdentityOf(const std::filesystem::path& host, FileIdentity& identity) {
  struct stat info;
  if (::stat(host.c_str(), &info) != 0) return false;
  identity = FileIdentity{info.st_dev, info.st_ino};
  return true;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode;
}

// How the run's open handles use a file: open at all, open for writing.
struct OpenUse {
  bool open = false;
  bool writing = false;
};

OpenUse OpenUseOf(winsim::HandleTable& handles, const std::filesystem::path& host) {
  OpenUse use;
  FileIdentity target;
  if (!IdentityOf(host, target)) return use;
  for (auto& [value, object] : handles.objects) {
    auto* file = std::get_if<winsim::FileObject>(&object);
    struct stat info;
    if (file == nullptr || ::fstat(file->fd.get(), &info) != 0) continue;
    if (!SameFile(target, FileIdentity{info.st_dev, info.st_ino})) continue;
    use.open = true;
    use.writing = use.writing || file->canWrite;
  }
  return use;
}

// Where a run makes the temporary copies it renames into place: the journal's
// folder, outside every drive, when it keeps one; else beside the target.
std::filesystem::path ScratchFor(winsim::Run& run, const std::filesystem::path& target) {
  winsim::FileJournal* journal = run.journal();
  return journal != nullptr ? journal->scratchFolder() : target.parent_path();
}

// Makes a copy of `source` (or an empty file with its permissions) and
// renames it to `target`, so that a copy that fails half-way leaves the old
// target as it was and a target with other hard links is replaced, never
// written through. `beforeRename` may refuse the rename (a host error).
uint32_t CopyIntoPlace(winsim::Run& run, const std::filesystem::path& source,
                       const std::filesystem::path& target, bool withContent,
                       const std::function<int()>& beforeRename) {
  std::filesystem::path scratch = ScratchFor(run, target);
  winsim::FileJournal* journal = run.journal();
  winsim::UniqueFd from(winsim::OpenHostFile(run.machine(), source));
  if (from.get() < 0) return ERROR_READ_FAULT;
  for (;;) {
    std::string made;
    const bool besideTarget = journal != nullptr && scratch == target.parent_path();
    winsim::detail::CopyResult copy;
    if (besideTarget) {
      // A drive on another file system than the journal: the copy is made in
      // the drive, recorded first, so that a kill before its rename leaves nothing.
      if (int error = journal->newTemporary(scratch, made)) return ErrorOfErrno(error);
      copy = winsim::detail::CopyToNamedFile(from.get(), made, withContent);
    } else {
      // In the journal's folder the copy is on the machine folder's file
      // system, which the journal flushes whole before the run counts; until
      // then the journal puts the old file back. Without a journal, or beside
      // a target on another file system, it is flushed before its rename.
      const bool flush = journal == nullptr || scratch != journal->scratchFolder();
      copy = winsim::detail::CopyToNewFile(from.get(), scratch, withContent, made, flush);
    }
    if (copy.error != 0) return copy.readFailed ? ERROR_READ_FAULT : ErrorOfErrno(copy.error);
    int refused = beforeRename();
    std::string leaf;
    winsim::UniqueFd parent(refused == 0 ? winsim::OpenHostParent(run.machine(), target, leaf)
                                         : -1);
    if (refused == 0 && parent.get() < 0) refused = errno;
    if (refused == 0 && ::renameat(AT_FDCWD, made.c_str(), parent.get(), leaf.c_str()) == 0) {
      if (besideTarget) journal->notCreated(made);  // it is the target now
      return 0;
    }
    int error = refused != 0 ? refused : errno;
    ::unlink(made.c_str());
    if (error != EXDEV || scratch == target.parent_path()) return ErrorOfErrno(error);
    scratch = target.parent_path();
  }
}

// Before a file of the drive is written in place. A file that has other hard
// links is first replaced by a copy of itself, so that the write cannot reach
// a file outside the machine; so is every file a journal keeps, the journal
// keeping the original.
uint32_t PrepareToWrite(Call& call, const std::filesystem::path& host, bool truncates) {
  struct stat info;
  if (::lstat(host.c_str(), &info) != 0) return ErrorOfErrno(errno);
  winsim::FileJournal* journal = call.run().journal();
  const bool keep = journal != nullptr && !journal->covers(host);
  if (info.st_nlink <= 1 && !keep) return 0;
  return CopyIntoPlace(call.run(), host, host, !truncates,
                       [&] { return keep ? journal->willReplace(host) : 0; });
}

// Removes a file of the drive, reached through no link (a folder swapped for
// one after the path was resolved leads nowhere); 0 or errno.
int Unlink(Call& call, const std::filesystem::path& host) {
  std::string leaf;
  winsim::UniqueFd parent(winsim::OpenHostParent(call.run().machine(), host, leaf));
  if (parent.get() < 0) return errno;
  return ::unlinkat(parent.get(), leaf.c_str(), 0) == 0 ? 0 : errno;
}

// Records a new file or folder in the journal, when the run keeps one.
uint32_t PrepareToCreate(Call& call, const std::filesystem::path& host) {
  winsim::FileJournal* journal = call.run().journal();
  if (journal == nullptr) return 0;
  int error = journal->willCreate(host);
  return error == 0 ? 0 : ErrorOfErrno(error);
}

// Windows 95/98 do overlapped reads and writes on serial ports only: on files
// and pipes an OVERLAPPED makes the call fail.
bool OverlappedRefused(const winsim::HandleObject& object, const OVERLAPPED* overlapped) {
  return overlapped != nullptr && std::get_if<winsim::PortObject>(&object) == nullptr;
}

std::string DispositionName(DWORD disposition) {
  switch (disposition) {
    case CREATE_NEW: return "CREATE_NEW";
    case CREATE_ALWAYS: return "CREATE_ALWAYS";
    case OPEN_EXISTING: return "OPEN_EXISTING";
    case OPEN_ALWAYS: return "OPEN_ALWAYS";
    case TRUNCATE_EXISTING: return "TRUNCATE_EXISTING";
    default: return std::to_string(disposition);
  }
}

std::string AccessName(DWORD access) {
  std::string text;
  if (access & GENERIC_READ) text = "GENERIC_READ";
  if (access & GENERIC_WRITE) text += text.empty() ? "GENERIC_WRITE" : "|GENERIC_WRITE";
  DWORD other = access & ~static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE);
  if (other != 0 || text.empty()) text += (text.empty() ? "" : "|") + Hex(other);
  return text;
}

// A directory query: copies the text when it fits with its terminator and
// returns its length; otherwise writes nothing and returns the size needed.
DWORD CopyDirectory(Call& call, const std::string& directory, char* buffer, DWORD size) {
  DWORD length = static_cast<DWORD>(directory.size());
  if (buffer == nullptr || size < length + 1) {
    return call.result(length + 1, std::to_string(length + 1) + " (needs a larger buffer)");
  }
  std::memcpy(buffer, directory.c_str(), directory.size() + 1);
  return call.result(length, std::to_string(length) + " " + Quote(directory.c_str()));
}

HANDLE OpenPort(Call& call, const std::string& port) {
  const auto& ports = call.run().machine().config.ports;
  auto it = ports.find(port);
  if (it == ports.end()) {
    return call.result(INVALID_HANDLE_VALUE, "INVALID_HANDLE_VALUE, no such port",
                       ERROR_FILE_NOT_FOUND);
  }
  bool heldHere = false;
  for (auto& [value, object] : call.handles().objects) {
    auto* open = std::get_if<winsim::PortObject>(&object);
    if (open != nullptr && open->name == port) heldHere = true;
  }
  if (it->second == winsim::PortState::Busy || heldHere) {
    return call.result(INVALID_HANDLE_VALUE, "INVALID_HANDLE_VALUE, port in use",
                       ERROR_ACCESS_DENIED);
  }
  HANDLE handle = call.handles().add(winsim::PortObject{port});
  return call.result(handle, HandleName(handle), 0u);
}

HANDLE OpenFile(Call& call, const char* name, DWORD access, DWORD disposition, DWORD flags) {
  auto fail = [&call](uint32_t error) {
    return call.result(INVALID_HANDLE_VALUE,
                       "INVALID_HANDLE_VALUE, " + winsim::detail::ErrorName(error), error);
  };
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  bool wantsRead = (access & GENERIC_READ) != 0;
  bool wantsWrite = (access & GENERIC_WRITE) != 0;
  if (disposition == TRUNCATE_EXISTING && !wantsWrite) return fail(ERROR_INVALID_PARAMETER);

  Resolved resolved = Resolve(call, name);
  if (resolved.error != 0) return fail(resolved.error);
  const winsim::ResolvedPath& path = resolved.path;
  if (path.isDirectory) return fail(ERROR_ACCESS_DENIED);  // folders are not opened as files

  int mode = wantsWrite ? (wantsRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  // Not blocking: a pipe swapped in since the entry was looked at is not waited on.
  int openFlags = mode | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  bool existed = path.exists;
  if (existed) {
    if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if ((wantsWrite || truncates) && ReadOnly(path.host)) return fail(ERROR_ACCESS_DENIED);
    if (wantsWrite || truncates) {
      if (uint32_t error = PrepareToWrite(call, path.host, truncates)) return fail(error);
    }
    if (truncates) openFlags |= O_TRUNC;
  } else {
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
      return fail(ERROR_FILE_NOT_FOUND);
    }
    if (path.trailingSeparator) return fail(ERROR_INVALID_NAME);
    if (HostNameTaken(path.host)) return fail(ERROR_ACCESS_DENIED);
    if (uint32_t error = PrepareToCreate(call, path.host)) return fail(error);
    openFlags |= O_CREAT | O_EXCL;
  }
  // A file created read-only is still written through the handle that created it.
  mode_t createMode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
  std::string leaf;
  winsim::UniqueFd parent(winsim::OpenHostParent(call.run().machine(), path.host, leaf));
  winsim::UniqueFd fd(
      parent.get() < 0 ? -1 : ::openat(parent.get(), leaf.c_str(), openFlags, createMode));
  struct stat opened;
  if (fd.get() >= 0 && (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode))) {
    fd = winsim::UniqueFd(-1);  // only a file is a file's handle
    errno = EACCES;
  }
  if (fd.get() < 0) {
    int failed = errno;
    winsim::FileJournal* journal = call.run().journal();
    if (!existed && journal != nullptr) journal->notCreated(path.host);
    return fail(ErrorOfErrno(failed));
  }
  if (!existed) winsim::SettleShortNames(call.run().machine(), path);

  winsim::FileObject file;
  file.fd = std::move(fd);
  file.path = path.windowsPath;
  file.canRead = wantsRead;
  file.canWrite = wantsWrite;
  HANDLE handle = call.handles().add(std::move(file));
  bool reopened = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  call.note(path.windowsPath);
  return call.result(handle, HandleName(handle), reopened ? ERROR_ALREADY_EXISTS : 0u);
}

}  // namespace

extern "C" UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  Call call("GetWindowsDirectoryA", Args(uSize), ERROR_GEN_FAILURE);
  if (call.fault) return call.result(0u, "0", *call.fault);
  return CopyDirectory(call, call.run().machine().config.windowsDirectory, lpBuffer, uSize);
}

extern "C" UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  Call call("GetSystemDirectoryA", Args(uSize), ERROR_GEN_FAILURE);
  if (call.fault) return call.result(0u, "0", *call.fault);
  return CopyDirectory(call, call.run().machine().config.systemDirectory, lpBuffer, uSize);
}

extern "C" DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  Call call("GetCurrentDirectoryA", Args(nBufferLength), ERROR_GEN_FAILURE);
  if (call.fault) return call.result(0u, "0", *call.fault);
  return CopyDirectory(call, call.run().currentDirectory, lpBuffer, nBufferLength);
}

extern "C" BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  Call call("SetCurrentDirectoryA", Args(lpPathName), ERROR_PATH_NOT_FOUND);
  if (call.fault) return call.boolean(false, *call.fault);
  Resolved resolved = Resolve(call, lpPathName);
  if (resolved.error != 0) return call.boolean(false, resolved.error);
  // Windows 95/98 report a missing folder and a file alike as a path not found.
  if (!resolved.path.isDirectory) return call.boolean(false, ERROR_PATH_NOT_FOUND);
  call.run().currentDirectory = resolved.path.windowsPath;
  call.note(resolved.path.windowsPath);
  return call.boolean(true);
}

extern "C" BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  Call call("CreateDirectoryA", Args(lpPathName), ERROR_ACCESS_DENIED);
  if (call.fault) return call.boolean(false, *call.fault);
  Resolved resolved = Resolve(call, lpPathName);
  if (resolved.error != 0) return call.boolean(false, resolved.error);
  if (resolved.path.exists) return call.boolean(false, ERROR_ALREADY_EXISTS);
  if (HostNameTaken(resolved.path.host)) return call.boolean(false, ERROR_ACCESS_DENIED);
  if (uint32_t error = PrepareToCreate(call, resolved.path.host)) return call.boolean(false, error);
  std::string leaf;
  winsim::UniqueFd parent(winsim::OpenHostParent(call.run().machine(), resolved.path.host, leaf));
  if (parent.get() < 0 || ::mkdirat(parent.get(), leaf.c_str(), 0755) != 0) {
    int failed = errno;
    // Someone else's folder, made since the check: not the run's to remove.
    if (winsim::FileJournal* journal = call.run().journal()) {
      journal->notCreated(resolved.path.host);
    }
    return call.boolean(false, failed == EEXIST ? ERROR_ALREADY_EXISTS : ErrorOfErrno(failed));
  }
  winsim::SettleShortNames(call.run().machine(), resolved.path);
  return call.boolean(true);
}

extern "C" BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName,
                                 BOOL bFailIfExists) {
  Call call("CopyFileA", Args(lpExistingFileName, lpNewFileName, bFailIfExists),
            ERROR_ACCESS_DENIED);
  if (call.fault) return call.boolean(false, *call.fault);

  Resolved source = Resolve(call, lpExistingFileName);
  if (source.error != 0) return call.boolean(false, source.error);
  if (!source.path.exists) return call.boolean(false, ERROR_FILE_NOT_FOUND);
  if (source.path.isDirectory) return call.boolean(false, ERROR_ACCESS_DENIED);

  Resolved target = Resolve(call, lpNewFileName);
  if (target.error != 0) return call.boolean(false, target.error);
  const winsim::ResolvedPath& to = target.path;
  if (to.isDirectory) return call.boolean(false, ERROR_ACCESS_DENIED);
  if (!to.exists && to.trailingSeparator) return call.boolean(false, ERROR_INVALID_NAME);
  if (to.exists && bFailIfExists) return call.boolean(false, ERROR_FILE_EXISTS);
  if (!to.exists && HostNameTaken(to.host)) return call.boolean(false, ERROR_ACCESS_DENIED);

  // The source is read while nobody writes it; the destination is replaced
  // only when no handle holds it.
  winsim::HandleTable& handles = call.handles();
  if (OpenUseOf(handles, source.path.host).writing) {
    return call.boolean(false, ERROR_SHARING_VIOLATION);
  }
  if (to.exists) {
    FileIdentity from;
    FileIdentity onto;
    // Copying a file onto itself would empty it before reading it.
    if (IdentityOf(source.path.host, from) && IdentityOf(to.host, onto) && SameFile(from, onto)) {
      return call.boolean(false, ERROR_SHARING_VIOLATION);
    }
    if (ReadOnly(to.host)) return call.boolean(false, ERROR_ACCESS_DENIED);
    if (OpenUseOf(handles, to.host).open) return call.boolean(false, ERROR_SHARING_VIOLATION);
  }
  winsim::FileJournal* journal = call.run().journal();
  const bool replaces = to.exists;
  uint32_t error = CopyIntoPlace(call.run(), source.path.host, to.host, true, [&] {
    if (journal == nullptr) return 0;
    return replaces ? journal->willReplace(to.host) : journal->willCreate(to.host);
  });
  if (error == 0 && !replaces) winsim::SettleShortNames(call.run().machine(), to);
  call.note(source.path.windowsPath + " -> " + to.windowsPath);
  return call.boolean(error == 0, error);
}

extern "C" BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  Call call("DeleteFileA", Args(lpFileName), ERROR_ACCESS_DENIED);
  if (call.fault) return call.boolean(false, *call.fault);
  Resolved resolved = Resolve(call, lpFileName);
  if (resolved.error != 0) return call.boolean(false, resolved.error);
  const winsim::ResolvedPath& path = resolved.path;
  if (!path.exists) return call.boolean(false, ERROR_FILE_NOT_FOUND);
  if (path.isDirectory || ReadOnly(path.host)) return call.boolean(false, ERROR_ACCESS_DENIED);
  if (OpenUseOf(call.handles(), path.host).open) {
    return call.boolean(false, ERROR_SHARING_VIOLATION);
  }
  // Entries put in by hand beside it get their short names with it still there.
  winsim::SettleShortNames(call.run().machine(), path);
  // A run that keeps a journal moves the file there, to be put back if need be.
  winsim::FileJournal* journal = call.run().journal();
  int removed = journal != nullptr ? journal->remove(path.host) : Unlink(call, path.host);
  if (removed != 0) return call.boolean(false, ErrorOfErrno(removed));
  winsim::SettleShortNames(call.run().machine(), path);
  call.note(path.windowsPath);
  return call.boolean(true);
}

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE) {
  Call call("CreateFileA",
            Args(lpFileName, AccessName(dwDesiredAccess), Hex(dwShareMode),
                 DispositionName(dwCreationDisposition), Hex(dwFlagsAndAttributes)),
            ERROR_ACCESS_DENIED);
  if (call.fault) {
    return call.result(INVALID_HANDLE_VALUE, "INVALID_HANDLE_VALUE", *call.fault);
  }
  if (lpFileName != nullptr) {
    if (std::optional<std::string> port = winsim::PortName(lpFileName)) {
      return OpenPort(call, *port);
    }
  }
  return OpenFile(call, lpFileName, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
}

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  Call call("ReadFile", Args(hFile, nNumberOfBytesToRead), ERROR_READ_FAULT);
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  if (call.fault) return call.boolean(false, *call.fault);
  if ((lpNumberOfBytesRead == nullptr && lpOverlapped == nullptr) ||
      (lpBuffer == nullptr && nNumberOfBytesToRead != 0)) {
    return call.boolean(false, ERROR_INVALID_PARAMETER);
  }
  auto done = [&](size_t count) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = static_cast<DWORD>(count);
    call.note(std::to_string(count) + " bytes");
    return call.boolean(true);
  };
  winsim::HandleObject* object = call.handles().find(hFile);
  if (object == nullptr) return call.boolean(false, ERROR_INVALID_HANDLE);

  if (OverlappedRefused(*object, lpOverlapped)) return call.boolean(false, ERROR_INVALID_PARAMETER);
  if (auto* file = std::get_if<winsim::FileObject>(object)) {
    if (!file->canRead) return call.boolean(false, ERROR_ACCESS_DENIED);
    char* buffer = static_cast<char*>(lpBuffer);
    size_t total = 0;
    while (total < nNumberOfBytesToRead) {
      ssize_t got = ::read(file->fd.get(), buffer + total, nNumberOfBytesToRead - total);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return call.boolean(false, ERROR_READ_FAULT);
      if (got == 0) break;  // the end of the file: what was read is the whole answer
      total += static_cast<size_t>(got);
    }
    return done(total);
  }
  if (std::get_if<winsim::PortObject>(object) != nullptr) return done(0);  // nothing ever arrives
  if (auto* end = std::get_if<winsim::PipeEndObject>(object)) {
    if (end->writeEnd) return call.boolean(false, ERROR_ACCESS_DENIED);
    winsim::Pipe& pipe = *end->pipe;
    if (nNumberOfBytesToRead == 0) return done(0);
    if (pipe.buffer.empty()) {
      if (!pipe.writeOpen) return call.boolean(false, ERROR_BROKEN_PIPE);
      call.result(FALSE, "never returns: the pipe is empty and its write end is still open");
      throw winsim::RunStopped(winsim::RunStopped::Reason::Deadlock,
                               "ReadFile waits forever on " + HandleName(hFile) +
                                   ": the pipe is empty and its write end is still open, so "
                                   "nothing can ever arrive; close the write end before reading");
    }
    size_t count = std::min<size_t>(nNumberOfBytesToRead, pipe.buffer.size());
    std::memcpy(lpBuffer, pipe.buffer.data(), count);
    pipe.buffer.erase(0, count);
    return done(count);
  }
  return call.boolean(false, ERROR_INVALID_HANDLE);
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  Call call("WriteFile",
            Args(hFile, QuoteBytes(lpBuffer, nNumberOfBytesToWrite), nNumberOfBytesToWrite),
            ERROR_DISK_FULL);
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  if (call.fault) return call.boolean(false, *call.fault);
  if ((lpNumberOfBytesWritten == nullptr && lpOverlapped == nullptr) ||
      (lpBuffer == nullptr && nNumberOfBytesToWrite != 0)) {
    return call.boolean(false, ERROR_INVALID_PARAMETER);
  }
  auto done = [&](size_t count) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = static_cast<DWORD>(count);
    return call.boolean(true);
  };
  winsim::HandleObject* object = call.handles().find(hFile);
  if (object == nullptr) return call.boolean(false, ERROR_INVALID_HANDLE);
  const char* data = static_cast<const char*>(lpBuffer);

  if (OverlappedRefused(*object, lpOverlapped)) return call.boolean(false, ERROR_INVALID_PARAMETER);
  if (auto* file = std::get_if<winsim::FileObject>(object)) {
    if (!file->canWrite) return call.boolean(false, ERROR_ACCESS_DENIED);
    size_t written = 0;
    bool ok = winsim::detail::WriteAll(file->fd.get(), data, nNumberOfBytesToWrite, written);
    if (!ok) {
      // A disk that fills part-way still reports what it took.
      if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = static_cast<DWORD>(written);
      return call.boolean(false, ErrorOfErrno(errno));
    }
    return done(written);
  }
  if (std::get_if<winsim::PortObject>(object) != nullptr) return done(nNumberOfBytesToWrite);
  if (auto* end = std::get_if<winsim::PipeEndObject>(object)) {
    if (!end->writeEnd) return call.boolean(false, ERROR_ACCESS_DENIED);
    winsim::Pipe& pipe = *end->pipe;
    if (!pipe.readOpen) return call.boolean(false, ERROR_BROKEN_PIPE);
    if (pipe.buffer.size() + nNumberOfBytesToWrite > kPipeCapacity) {
      call.result(FALSE, "never returns: the pipe is full and nobody reads it");
      throw winsim::RunStopped(
          winsim::RunStopped::Reason::Deadlock,
          "WriteFile waits forever on " + HandleName(hFile) + ": " +
              std::to_string(nNumberOfBytesToWrite) + " bytes do not fit beside the " +
              std::to_string(pipe.buffer.size()) + " already in the " +
              std::to_string(kPipeCapacity) +
              "-byte pipe, and nothing reads its other end while the program waits");
    }
    pipe.buffer.append(data, nNumberOfBytesToWrite);
    return done(nNumberOfBytesToWrite);
  }
  return call.boolean(false, ERROR_INVALID_HANDLE);
}
