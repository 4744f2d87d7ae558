// The objects behind the handles of a run. HKEY and HANDLE values both come
// from this one table, as on Windows, so a test can count what is still open.
#ifndef WINSIM_HANDLES_H
#define WINSIM_HANDLES_H

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>

#include "winsim/registry.h"

namespace winsim {

// Owns a host file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

struct KeyObject {
  HeldKey key;
};

struct FileObject {
  UniqueFd fd;
  std::string path;  // the Windows path as resolved, for the trace
  bool canRead = false;
  bool canWrite = false;
};

struct PortObject {
  std::string name;
};

// An anonymous pipe: bytes written to the write end wait for the read end.
struct Pipe {
  std::string buffer;
  bool readOpen = true;
  bool writeOpen = true;
};

struct PipeEndObject {
  std::shared_ptr<Pipe> pipe;
  bool writeEnd = false;
};

struct ProcessState {
  std::string commandLine;
  bool running = false;
  uint32_t exitCode = 0;
};

struct ProcessObject {
  std::shared_ptr<ProcessState> process;
};

struct ThreadObject {
  std::shared_ptr<ProcessState> process;
};

using HandleObject =
    std::variant<KeyObject, FileObject, PortObject, PipeEndObject, ProcessObject, ThreadObject>;

struct HandleTable {
  // Handle values are never reused within a run, so a stale handle is caught.
  uintptr_t next = 0x1000;
  std::map<uintptr_t, HandleObject> objects;

  template <class T>
  HANDLE add(T object) {
    uintptr_t value = next;
    next += 4;
    objects.emplace(value, HandleObject(std::move(object)));
    return reinterpret_cast<HANDLE>(value);
  }
  HandleObject* find(const void* handle) {
    auto it = objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects.end() ? nullptr : &it->second;
  }
  template <class T>
  T* get(const void* handle) {
    HandleObject* object = find(handle);
    return object ? std::get_if<T>(object) : nullptr;
  }
  // Closes the handle; false when it was not open. A pipe end that closes
  // tells the other end.
  bool close(const void* handle);
};

}  // namespace winsim

#endif  // WINSIM_HANDLES_H
