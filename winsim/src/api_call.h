// The frame of every simulated platform call: it counts the call, lets a fault
// rule fail it, sets the last error and writes the call's trace line.
//
//   LONG RegDeleteKeyA(HKEY key, LPCSTR sub) {
//     detail::Call call("RegDeleteKeyA", detail::Args(key, sub), ERROR_ACCESS_DENIED);
//     if (call.fault) return call.status(*call.fault);
//     ...
//     return call.status(ERROR_SUCCESS);
//   }
#ifndef WINSIM_API_CALL_H
#define WINSIM_API_CALL_H

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "handles.h"
#include "winsim/run.h"

namespace winsim::detail {

// Trace formatting of arguments.
std::string Quote(const char* text);                    // "text" with \\ \" \r \n escapes, or NULL
std::string QuoteBytes(const void* data, size_t size);  // string or hex bytes, bounded
std::string Hex(uint64_t value);                        // 0x1f
std::string ErrorName(uint32_t error);                  // ERROR_FILE_NOT_FOUND, or the number
std::string HandleName(const void* handle);             // HKLM, #1004, NULL, INVALID_HANDLE_VALUE

inline std::string ArgText(const std::string& s) { return s; }
inline std::string ArgText(const char* s) { return Quote(s); }
inline std::string ArgText(char* s) { return Quote(s); }
inline std::string ArgText(HKEY h) { return HandleName(h); }
inline std::string ArgText(HANDLE h) { return HandleName(h); }
inline std::string ArgText(uint32_t v) { return std::to_string(v); }
inline std::string ArgText(int32_t v) { return std::to_string(v); }

inline std::string Args() { return std::string(); }
template <class T, class... Rest>
std::string Args(const T& first, const Rest&... rest) {
  std::string text = ArgText(first);
  ((text += ", ", text += ArgText(rest)), ...);
  return text;
}

class Call {
 public:
  Call(const char* function, std::string args, uint32_t defaultError);
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  ~Call();

  // The error to fail the call with, when a fault rule matched it.
  std::optional<uint32_t> fault;

  Run& run() { return run_; }
  HandleTable& handles() { return run_.handles(); }
  // Extra text for the trace line, such as the handle a call returned.
  void note(const std::string& text) { note_ += note_.empty() ? text : ", " + text; }

  // A registry-style result: the status is the error code.
  LONG status(LONG code);
  // A BOOL result: on failure the last error is set to the error.
  BOOL boolean(bool success, uint32_t error = 0);
  // Any other result: the trace shows the text; the last error is set when given.
  template <class T>
  T result(T value, const std::string& text, std::optional<uint32_t> error = std::nullopt) {
    if (error) run_.lastError = *error;
    finish(text);
    return value;
  }

 private:
  void finish(const std::string& result);
  Run& run_;
  const char* function_;
  std::string args_;
  std::string note_;
  bool finished_ = false;
};

}  // namespace winsim::detail

#endif  // WINSIM_API_CALL_H
