#include "winsim/machine_ini.h"

#include <cctype>
#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {
namespace {

constexpr const char* kFile = "machine.ini";

std::string_view Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

// Lines split at CR LF, LF or CR, as the files come from either kind of host.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// A decimal number without sign; nothing when it is not one or too large.
std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t max) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (digit > max || value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

// An exit code: 0..4294967295, or a negative code as the program returns it
// (-1 is 4294967295, as GetExitCodeProcess reports it).
std::optional<uint32_t> ParseExitCode(std::string_view text) {
  if (!text.empty() && text[0] == '-') {
    std::optional<uint64_t> magnitude = ParseUnsigned(text.substr(1), 2147483648u);
    if (!magnitude) return std::nullopt;
    return static_cast<uint32_t>(0x100000000ull - *magnitude);
  }
  std::optional<uint64_t> value = ParseUnsigned(text, UINT32_MAX);
  if (!value) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return NamesEqual(a, b); }

// "C:\WINDOWS": a drive letter, a colon and an absolute path.
bool IsAbsoluteWindowsPath(std::string_view path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         path[2] == '\\';
}

bool IsPortName(std::string_view name) {
  return name.size() == 4 && EqualsNoCase(name.substr(0, 3), "COM") && name[3] >= '1' &&
         name[3] <= '9';
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

class IniParser {
 public:
  explicit IniParser(MachineConfig& config) : config_(config) {}

  void parseLine(size_t lineNumber, std::string_view line) {
    line_ = lineNumber;
    std::string_view text = Trim(line);
    if (text.empty() || text[0] == ';') return;
    if (text[0] == '[') {
      if (text.back() != ']') fail("a section header must end with ']'");
      std::string_view name = Trim(text.substr(1, text.size() - 2));
      for (const char* known : {"Windows", "Hardware", "Ports", "Programs"}) {
        if (EqualsNoCase(name, known)) {
          section_ = known;
          return;
        }
      }
      fail("unknown section [" + std::string(name) +
           "]; the sections are [Windows], [Hardware], [Ports] and [Programs]");
    }
    size_t equals = text.find('=');
    if (equals == std::string_view::npos) fail("expected name=value, a [section] or a ; comment");
    std::string_view key = Trim(text.substr(0, equals));
    std::string_view value = text.substr(equals + 1);
    size_t comment = value.find(';');
    if (comment != std::string_view::npos) value = value.substr(0, comment);
    value = Trim(value);
    if (key.empty()) fail("a name is missing before '='");
    if (section_.empty()) fail("'" + std::string(key) + "' comes before any [section]");
    std::string seenKey = section_ + "\\" + Upper(key);
    if (!seen_.insert(seenKey).second) {
      fail("'" + std::string(key) + "' is given twice in [" + section_ + "]");
    }
    if (section_ == "Windows") {
      windowsKey(key, value);
    } else if (section_ == "Hardware") {
      hardwareKey(key, value);
    } else if (section_ == "Ports") {
      portKey(key, value);
    } else {
      programKey(key, value);
    }
  }

  bool currentDirectoryGiven() const { return seen_.count("Windows\\CURRENTDIRECTORY") != 0; }

 private:
  [[noreturn]] void fail(const std::string& what) const { throw MachineError(kFile, line_, what); }

  std::string directory(std::string_view key, std::string_view value) const {
    if (!IsAbsoluteWindowsPath(value)) {
      fail(std::string(key) + " must be a full path such as C:\\WINDOWS, not '" +
           std::string(value) + "'");
    }
    std::string path(value);
    // Windows drops the trailing blanks of a name as it drops a trailing
    // separator: "C:\WIN \" and "C:\WIN\ " are both C:\WIN, and stay so when
    // the machine is saved and loaded again.
    while (path.size() > 3 && (path.back() == '\\' || path.back() == ' ' || path.back() == '\t')) {
      path.pop_back();
    }
    path[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    return path;
  }

  void windowsKey(std::string_view key, std::string_view value) {
    if (EqualsNoCase(key, "Platform")) {
      // Any 32-bit id reaches the program, as any dwPlatformId can: 0 Win32s,
      // 1 Windows 95/98, 2 NT, and ids no Windows of its time reported.
      std::optional<uint64_t> platform = ParseUnsigned(value, UINT32_MAX);
      if (!platform) {
        fail(
            "Platform must be a number from 0 to 4294967295 (0 Win32s, 1 Windows 95/98, 2 NT), "
            "not '" +
            std::string(value) + "'");
      }
      config_.platform = static_cast<uint32_t>(*platform);
    } else if (EqualsNoCase(key, "Version")) {
      version(value);
    } else if (EqualsNoCase(key, "WindowsDirectory")) {
      config_.windowsDirectory = directory(key, value);
    } else if (EqualsNoCase(key, "SystemDirectory")) {
      config_.systemDirectory = directory(key, value);
    } else if (EqualsNoCase(key, "CurrentDirectory")) {
      config_.currentDirectory = directory(key, value);
    } else {
      fail("unknown name '" + std::string(key) +
           "' in [Windows]; the names are Platform, Version, WindowsDirectory, SystemDirectory "
           "and CurrentDirectory");
    }
  }

  // major.minor or major.minor.build ("4.10.2222", "4.0.950", "4.0").
  void version(std::string_view value) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
      size_t dot = value.find('.', start);
      parts.push_back(value.substr(start, dot == std::string_view::npos ? dot : dot - start));
      if (dot == std::string_view::npos) break;
      start = dot + 1;
    }
    const std::string bad =
        "Version must be major.minor.build such as 4.10.2222, not '" + std::string(value) + "'";
    if (parts.size() < 2 || parts.size() > 3) fail(bad);
    std::optional<uint64_t> major = ParseUnsigned(parts[0], 255);
    std::optional<uint64_t> minor = ParseUnsigned(parts[1], 255);
    std::optional<uint64_t> build =
        parts.size() == 3 ? ParseUnsigned(parts[2], 65535) : std::optional<uint64_t>(0);
    if (!major || !minor || !build) fail(bad);
    config_.majorVersion = static_cast<uint32_t>(*major);
    config_.minorVersion = static_cast<uint32_t>(*minor);
    config_.buildNumber = static_cast<uint32_t>(*build);
  }

  void hardwareKey(std::string_view key, std::string_view value) {
    if (EqualsNoCase(key, "Processor")) {
      std::optional<uint64_t> type = ParseUnsigned(value, UINT32_MAX);
      if (!type)
        fail("Processor must be a processor type such as 586, not '" + std::string(value) + "'");
      config_.processorType = static_cast<uint32_t>(*type);
    } else if (EqualsNoCase(key, "Memory")) {
      std::optional<uint64_t> bytes = ParseUnsigned(value, UINT64_MAX);
      if (!bytes) {
        fail("Memory must be a number of bytes such as 67108864, not '" + std::string(value) + "'");
      }
      config_.totalMemory = *bytes;
    } else {
      fail("unknown name '" + std::string(key) +
           "' in [Hardware]; the names are Processor and Memory");
    }
  }

  void portKey(std::string_view key, std::string_view value) {
    if (!IsPortName(key)) fail("'" + std::string(key) + "' is not a port; use COM1 to COM9");
    PortState state;
    if (EqualsNoCase(value, "free")) {
      state = PortState::Free;
    } else if (EqualsNoCase(value, "busy")) {
      state = PortState::Busy;
    } else {
      fail("port " + Upper(key) + " must be free or busy, not '" + std::string(value) + "'");
    }
    config_.ports[Upper(key)] = state;
  }

  void programKey(std::string_view key, std::string_view value) {
    ProgramBehaviour behaviour;
    if (EqualsNoCase(value, "runs")) {
      behaviour.kind = ProgramBehaviour::Kind::Runs;
    } else {
      std::optional<uint32_t> code;
      if (value.size() > 4 && EqualsNoCase(value.substr(0, 4), "exit") &&
          (value[4] == ' ' || value[4] == '\t')) {
        code = ParseExitCode(Trim(value.substr(5)));
      }
      if (!code) {
        fail("program " + std::string(key) + " must be 'exit N' (N an exit code) or 'runs', not '" +
             std::string(value) + "'");
      }
      behaviour.kind = ProgramBehaviour::Kind::Exit;
      behaviour.exitCode = *code;
    }
    config_.programs[std::string(key)] = behaviour;
  }

  MachineConfig& config_;
  std::string section_;
  size_t line_ = 0;
  std::set<std::string> seen_;
};

}  // namespace

MachineConfig ParseMachineIni(std::string_view text) {
  MachineConfig config;
  IniParser parser(config);
  std::vector<std::string_view> lines = SplitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) parser.parseLine(i + 1, lines[i]);
  // A machine starts its programs in the Windows directory unless told otherwise.
  if (!parser.currentDirectoryGiven()) config.currentDirectory = config.windowsDirectory;
  return config;
}

std::string WriteMachineIni(const MachineConfig& config) {
  std::string out;
  auto line = [&out](const std::string& text) { out += text + "\r\n"; };
  line("[Windows]");
  line("Platform=" + std::to_string(config.platform));
  line("Version=" + std::to_string(config.majorVersion) + "." +
       std::to_string(config.minorVersion) + "." + std::to_string(config.buildNumber));
  line("WindowsDirectory=" + config.windowsDirectory);
  line("SystemDirectory=" + config.systemDirectory);
  line("CurrentDirectory=" + config.currentDirectory);
  line("");
  line("[Hardware]");
  line("Processor=" + std::to_string(config.processorType));
  line("Memory=" + std::to_string(config.totalMemory));
  if (!config.ports.empty()) {
    line("");
    line("[Ports]");
    for (const auto& [name, state] : config.ports) {
      line(name + "=" + (state == PortState::Free ? "free" : "busy"));
    }
  }
  if (!config.programs.empty()) {
    line("");
    line("[Programs]");
    for (const auto& [name, behaviour] : config.programs) {
      line(name + "=" +
           (behaviour.kind == ProgramBehaviour::Kind::Runs
                ? std::string("runs")
                : "exit " + std::to_string(behaviour.exitCode)));
    }
  }
  return out;
}

}  // namespace winsim
