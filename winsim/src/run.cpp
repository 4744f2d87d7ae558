#include "winsim/run.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <stdexcept>

#include "api_call.h"
#include "handles.h"

namespace winsim {
namespace {

Run* g_current = nullptr;
volatile sig_atomic_t g_stopRequest = 0;

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "Ctrl-C (SIGINT)";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP (the terminal closed)";
    default: return "a signal";
  }
}

bool ContainsNoCase(const std::string& haystack, const std::string& needle) {
  auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                        [](char a, char b) {
                          return std::toupper(static_cast<unsigned char>(a)) ==
                                 std::toupper(static_cast<unsigned char>(b));
                        });
  return it != haystack.end();
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

bool HandleTable::close(const void* handle) {
  auto it = objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == objects.end()) return false;
  if (auto* end = std::get_if<PipeEndObject>(&it->second)) {
    if (end->writeEnd) {
      end->pipe->writeOpen = false;
    } else {
      end->pipe->readOpen = false;
    }
  }
  objects.erase(it);
  return true;
}

Run::Run(Machine& machine)
    : currentDirectory(machine.config.currentDirectory),
      machine_(machine),
      previous_(g_current),
      traceFile_(nullptr, &std::fclose),
      handles_(std::make_unique<HandleTable>()) {
  g_current = this;
}

Run::~Run() { g_current = previous_; }

Run& CurrentRun() {
  if (g_current == nullptr) {
    std::fputs("winsim: a platform call was made with no machine running\n", stderr);
    std::abort();
  }
  return *g_current;
}

bool HasCurrentRun() { return g_current != nullptr; }

void Run::setAnswers(std::vector<int> answers) {
  answers_ = std::move(answers);
  nextAnswer_ = 0;
}

void Run::addFault(FaultRule rule) { faults_.push_back(ActiveFault{std::move(rule), 0}); }

void Run::traceToFile(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "a");
  if (file == nullptr) {
    throw std::runtime_error("cannot open the trace file " + path +
                             " for writing; check that its folder exists");
  }
  traceFile_.reset(file);
}

void Run::traceToFile(FILE* file) { traceFile_.reset(file); }

size_t Run::openHandleCount() const { return handles_->objects.size(); }

const Run::HeapBlock& Run::allocateHeapBlock(size_t size) {
  // A block of no bytes still has an address of its own, as on Windows.
  HeapBlock block{++heapBlocksMade_, std::make_unique<unsigned char[]>(size == 0 ? 1 : size)};
  const void* address = block.bytes.get();
  return heap_.emplace(address, std::move(block)).first->second;
}

uint64_t Run::heapBlockNumber(const void* address) const {
  auto found = heap_.find(address);
  return found == heap_.end() ? 0 : found->second.number;
}

bool Run::freeHeapBlock(const void* address) { return heap_.erase(address) != 0; }

void RequestStop(int signal) noexcept { g_stopRequest = signal; }

int StopRequest() noexcept { return g_stopRequest; }

void Run::stopIfRequested(const char* where) {
  if (!noteStopRequest()) return;
  stopped_ = true;
  throw RunStopped(stopReason_, stopCause_ + " " + where);
}

bool Run::noteStopRequest() {
  if (g_stopRequest == 0) return false;
  if (stopReason_ != RunStopped::Reason::Cancelled) {
    callLimit_ = std::min(callLimit_, calls_);
    stopReason_ = RunStopped::Reason::Cancelled;
    stopCause_ = std::string("stopped by ") + SignalName(g_stopRequest);
  }
  return true;
}

std::optional<uint32_t> Run::beginCall(const char* function, const std::string& args,
                                       uint32_t defaultError) {
  noteStopRequest();
  if (calls_ >= callLimit_) {
    // A killed process makes no further calls. The closes and frees its
    // destructors make, and any call made while the stop unwinds the program,
    // must not throw again (that would end this process): they fail without
    // effect and leave no trace, and the handles stay as the kill left them
    // (the heap's blocks go with the run).
    bool isClose = std::strcmp(function, "RegCloseKey") == 0 ||
                   std::strcmp(function, "CloseHandle") == 0 ||
                   std::strcmp(function, "HeapFree") == 0;
    if (isClose || std::uncaught_exceptions() > 0) {
      stopped_ = true;
      return defaultError;
    }
    stopped_ = true;
    throw RunStopped(stopReason_, stopCause_ + " before call " + std::to_string(calls_ + 1) + " (" +
                                      function + ")");
  }
  ++calls_;
  for (ActiveFault& fault : faults_) {
    if (fault.rule.function != function) continue;
    if (!fault.rule.match.empty() && !ContainsNoCase(args, fault.rule.match)) continue;
    ++fault.seen;
    if (fault.rule.nth != 0 && fault.seen != fault.rule.nth) continue;
    return fault.rule.error != 0 ? fault.rule.error : defaultError;
  }
  return std::nullopt;
}

void Run::endCall(const char* function, const std::string& args, const std::string& result) {
  if (stopped_) return;
  std::string line = std::string(function) + "(" + args + ") = " + result;
  if (traceFile_) {
    std::fprintf(traceFile_.get(), "%s\n", line.c_str());
    std::fflush(traceFile_.get());
  }
  trace_.push_back(std::move(line));
}

const char* ButtonName(int id) {
  switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "?";
  }
}

std::vector<int> ButtonsOf(uint32_t style) {
  switch (style & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {};
  }
}

size_t DefaultButtonIndex(uint32_t style, size_t buttonCount) {
  size_t index = (style & MB_DEFMASK) >> 8;
  return index < buttonCount ? index : 0;
}

std::string ButtonList(const std::vector<int>& buttons, const char* sep) {
  std::string list;
  for (int id : buttons) {
    if (!list.empty()) list += sep;
    list += ButtonName(id);
  }
  return list;
}

std::vector<std::string> BoxTextLines(std::string_view text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

std::vector<int> ParseAnswers(const std::string& list) {
  static const int kIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};
  std::vector<int> answers;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string word = list.substr(start, comma - start);
    word.erase(0, word.find_first_not_of(" \t"));
    word.erase(word.find_last_not_of(" \t") + 1);
    if (!word.empty()) {
      int found = 0;
      for (int id : kIds) {
        if (NamesEqual(word, ButtonName(id))) found = id;
      }
      if (found == 0) {
        throw std::invalid_argument("'" + word +
                                    "' is not an answer; use yes, no, ok, cancel, abort, retry "
                                    "or ignore, separated by commas");
      }
      answers.push_back(found);
    }
    start = comma + 1;
  }
  return answers;
}

}  // namespace winsim

namespace winsim::detail {

std::string Quote(const char* text) {
  if (text == nullptr) return "NULL";
  std::string out = "\"";
  size_t count = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (++count > 512) {
      out += "...";
      break;
    }
    unsigned char c = static_cast<unsigned char>(*p);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string QuoteBytes(const void* data, size_t size) {
  if (data == nullptr) return "NULL";
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  std::string out = "[";
  for (size_t i = 0; i < size && i < 64; ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
    if (i != 0) out += ' ';
    out += buf;
  }
  if (size > 64) out += " ...";
  return out + "]";
}

std::string Hex(uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
  return buf;
}

namespace {

struct NamedError {
  uint32_t code;
  const char* name;
};

constexpr NamedError kErrorNames[] = {
    {ERROR_SUCCESS, "ERROR_SUCCESS"},
    {ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND"},
    {ERROR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND"},
    {ERROR_TOO_MANY_OPEN_FILES, "ERROR_TOO_MANY_OPEN_FILES"},
    {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED"},
    {ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE"},
    {ERROR_NOT_ENOUGH_MEMORY, "ERROR_NOT_ENOUGH_MEMORY"},
    {ERROR_OUTOFMEMORY, "ERROR_OUTOFMEMORY"},
    {ERROR_WRITE_FAULT, "ERROR_WRITE_FAULT"},
    {ERROR_READ_FAULT, "ERROR_READ_FAULT"},
    {ERROR_GEN_FAILURE, "ERROR_GEN_FAILURE"},
    {ERROR_SHARING_VIOLATION, "ERROR_SHARING_VIOLATION"},
    {ERROR_HANDLE_EOF, "ERROR_HANDLE_EOF"},
    {ERROR_FILE_EXISTS, "ERROR_FILE_EXISTS"},
    {ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER"},
    {ERROR_BROKEN_PIPE, "ERROR_BROKEN_PIPE"},
    {ERROR_DISK_FULL, "ERROR_DISK_FULL"},
    {ERROR_INSUFFICIENT_BUFFER, "ERROR_INSUFFICIENT_BUFFER"},
    {ERROR_INVALID_NAME, "ERROR_INVALID_NAME"},
    {ERROR_DIR_NOT_EMPTY, "ERROR_DIR_NOT_EMPTY"},
    {ERROR_BAD_PATHNAME, "ERROR_BAD_PATHNAME"},
    {ERROR_ALREADY_EXISTS, "ERROR_ALREADY_EXISTS"},
    {ERROR_MORE_DATA, "ERROR_MORE_DATA"},
    {ERROR_NO_MORE_ITEMS, "ERROR_NO_MORE_ITEMS"},
    {ERROR_BADKEY, "ERROR_BADKEY"},
    {ERROR_CANTOPEN, "ERROR_CANTOPEN"},
    {ERROR_CANTREAD, "ERROR_CANTREAD"},
    {ERROR_CANTWRITE, "ERROR_CANTWRITE"},
    {ERROR_REGISTRY_CORRUPT, "ERROR_REGISTRY_CORRUPT"},
    {ERROR_KEY_DELETED, "ERROR_KEY_DELETED"},
};

}  // namespace

std::string ErrorName(uint32_t error) {
  for (const NamedError& known : kErrorNames) {
    if (known.code == error) return known.name;
  }
  return std::to_string(error);
}

std::string HandleName(const void* handle) {
  if (handle == nullptr) return "NULL";
  if (handle == INVALID_HANDLE_VALUE) return "INVALID_HANDLE_VALUE";
  if (const RootEntry* root = PredefinedRoot(handle)) return root->shortName;
  return "#" + Hex(reinterpret_cast<uintptr_t>(handle)).substr(2);
}

Call::Call(const char* function, std::string args, uint32_t defaultError)
    : run_(CurrentRun()), function_(function), args_(std::move(args)) {
  fault = run_.beginCall(function_, args_, defaultError);
  if (fault) note("injected fault");
}

Call::~Call() {
  if (!finished_) finish("(no result)");
}

void Call::finish(const std::string& result) {
  finished_ = true;
  run_.endCall(function_, args_, note_.empty() ? result : result + " [" + note_ + "]");
}

LONG Call::status(LONG code) {
  finish(ErrorName(static_cast<uint32_t>(code)));
  return code;
}

BOOL Call::boolean(bool success, uint32_t error) {
  if (!success) run_.lastError = error;
  finish(success ? "TRUE" : "FALSE, " + ErrorName(error));
  return success ? TRUE : FALSE;
}

}  // namespace winsim::detail

namespace winsim {

std::optional<uint32_t> ErrorNamed(std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (char c : name) {
    if (c < '0' || c > '9') {
      for (const detail::NamedError& known : detail::kErrorNames) {
        if (NamesEqual(name, known.name)) return known.code;
      }
      return std::nullopt;
    }
  }
  if (name.size() > 10) return std::nullopt;
  uint64_t value = std::stoull(std::string(name));
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(value);
}

}  // namespace winsim

using winsim::detail::Args;
using winsim::detail::Call;

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  Call call("CloseHandle", Args(hObject), ERROR_INVALID_HANDLE);
  if (call.fault) return call.boolean(false, *call.fault);
  bool closed = call.handles().close(hObject);
  return call.boolean(closed, ERROR_INVALID_HANDLE);
}

extern "C" DWORD WINAPI GetLastError(void) {
  // Not a platform call worth tracing or failing: it only reads the thread's state.
  return winsim::CurrentRun().lastError;
}
