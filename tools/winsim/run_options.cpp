#include "run_options.h"

#include <string_view>

#include "command_line.h"

namespace winsim_tool {
namespace {

// The platform calls of winsim's windows.h, as the trace names them.
constexpr std::string_view kPlatformCalls[] = {
    "CloseHandle",
    "CopyFileA",
    "CreateDirectoryA",
    "CreateFileA",
    "CreatePipe",
    "CreateProcessA",
    "DeleteFileA",
    "GetCurrentDirectoryA",
    "GetExitCodeProcess",
    "GetSystemDirectoryA",
    "GetSystemInfo",
    "GetVersionExA",
    "GetWindowsDirectoryA",
    "GlobalMemoryStatus",
    "InitializeSecurityDescriptor",
    "MessageBoxA",
    "ReadFile",
    "RegCloseKey",
    "RegCreateKeyExA",
    "RegDeleteKeyA",
    "RegEnumKeyExA",
    "RegOpenKeyExA",
    "RegQueryInfoKeyA",
    "RegQueryValueExA",
    "RegSetValueExA",
    "SetCurrentDirectoryA",
    "WaitForSingleObject",
    "WriteFile",
};

std::string CallList() {
  std::string list;
  for (std::string_view name : kPlatformCalls) {
    list += (list.empty() ? "" : ", ") + std::string(name);
  }
  return list;
}

// A count of 1 or more, in decimal.
bool ParseCount(std::string_view text, uint64_t& count) {
  if (text.empty() || text.size() > 18) return false;
  count = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    count = count * 10 + static_cast<uint64_t>(c - '0');
  }
  return count != 0;
}

}  // namespace

winsim::FaultRule ParseFaultOption(const std::string& text) {
  const std::string form =
      "; write FUNCTION:N or FUNCTION:N:ERROR, as in RegSetValueExA:2:ERROR_ACCESS_DENIED";
  size_t first = text.find(':');
  if (first == std::string::npos) throw UsageError("--fail needs the call's number" + form);
  size_t second = text.find(':', first + 1);
  std::string_view function = std::string_view(text).substr(0, first);
  std::string_view number = std::string_view(text).substr(
      first + 1, second == std::string::npos ? std::string::npos : second - first - 1);

  winsim::FaultRule rule;
  for (std::string_view known : kPlatformCalls) {
    if (winsim::NamesEqual(known, function)) rule.function = std::string(known);
  }
  if (rule.function.empty()) {
    throw UsageError("--fail: '" + std::string(function) +
                     "' is not a platform call winsim makes; the calls are " + CallList());
  }
  uint64_t nth = 0;
  if (!ParseCount(number, nth) || nth > UINT32_MAX) {
    throw UsageError("--fail: '" + std::string(number) +
                     "' is not a call number (1 for the first call of " + rule.function + ")" +
                     form);
  }
  rule.nth = static_cast<unsigned>(nth);
  if (second != std::string::npos) {
    std::string error = text.substr(second + 1);
    std::optional<uint32_t> code = winsim::ErrorNamed(error);
    if (!code || *code == 0) {
      throw UsageError("--fail: '" + error +
                       "' is not an error winsim knows; name it as ERROR_ACCESS_DENIED or give "
                       "its number, such as 5");
    }
    rule.error = *code;
  }
  return rule;
}

uint64_t ParsePowerCut(const std::string& text) {
  uint64_t calls = 0;
  if (!ParseCount(text, calls)) {
    throw UsageError("--power-cut: '" + text +
                     "' is not a number of calls; the power goes after that many platform calls "
                     "(line N of --trace is call N)");
  }
  return calls;
}

winsim::PowerLoss ParsePowerLoss(const std::string& text) {
  if (text == "registry-at-cut") return winsim::PowerLoss::RegistryAtCut;
  if (text == "registry-at-start") return winsim::PowerLoss::RegistryAtStart;
  throw UsageError("--power-loss: '" + text +
                   "' is not a power-loss model; use registry-at-cut (the registry as the "
                   "program left it) or registry-at-start (as it was when the run began)");
}

}  // namespace winsim_tool
