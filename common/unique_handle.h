// Owner of a kernel handle (file, port, pipe end, process, thread): closed with
// CloseHandle when the owner goes. Both NULL and INVALID_HANDLE_VALUE mean
// "nothing held", as the calls that fill them use either.
#ifndef RQ47_COMMON_UNIQUE_HANDLE_H
#define RQ47_COMMON_UNIQUE_HANDLE_H

#include <windows.h>

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE* put() {
    reset();
    return &handle_;
  }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(HANDLE handle = nullptr) {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

#endif  // RQ47_COMMON_UNIQUE_HANDLE_H
