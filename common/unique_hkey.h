// Owner of an open registry key: the key is closed when the owner goes, on
// every path out of a step.
#ifndef RQ47_COMMON_UNIQUE_HKEY_H
#define RQ47_COMMON_UNIQUE_HKEY_H

#include <windows.h>

class UniqueHkey {
 public:
  UniqueHkey() = default;
  explicit UniqueHkey(HKEY key) : key_(key) {}
  UniqueHkey(UniqueHkey&& other) noexcept : key_(other.release()) {}
  UniqueHkey& operator=(UniqueHkey&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHkey(const UniqueHkey&) = delete;
  UniqueHkey& operator=(const UniqueHkey&) = delete;
  ~UniqueHkey() { reset(); }

  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  // For the out-parameter of RegOpenKeyExA and RegCreateKeyExA; closes what was held.
  HKEY* put() {
    reset();
    return &key_;
  }
  HKEY release() {
    HKEY key = key_;
    key_ = nullptr;
    return key;
  }
  // Closes the key now (the order of closing is part of some steps).
  void reset(HKEY key = nullptr) {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = key;
  }

 private:
  HKEY key_ = nullptr;
};

#endif  // RQ47_COMMON_UNIQUE_HKEY_H
