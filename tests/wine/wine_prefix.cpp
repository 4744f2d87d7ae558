#include "wine_prefix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "qemu_binfmt.h"
#include "registry_file.h"
#include "test_machine.h"

namespace fs = std::filesystem;

namespace rq47wine {

using rq47test::ReadWhole;

namespace {

// Bump when the base prefix's settings change, so that kept prefixes are made again.
constexpr const char* kBaseRecipe = "nocrashdialog+2";
constexpr const char* kStampFile = "rq47-base-prefix.stamp";

void WriteWhole(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// The environment of every Wine command: the prefix (a 32-bit one for the
// 32-bit Wine), no debug output, no offer to install Wine's .NET or HTML
// engines, and a fixed English locale (code page 1252, as the machines' texts are).
Command BaseCommand(const WineTools& tools, const fs::path& prefix, const std::string& display,
                    std::vector<std::string> args) {
  Command command;
  command.argv = tools.argv(tools.wine, std::move(args));
  command.env = {{"WINEPREFIX", prefix.string()},
                 {"WINEDEBUG", "-all"},
                 {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                 {"LANG", "en_US.UTF-8"}};
  command.unsetEnv = {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANGUAGE", "WINESERVER"};
  if (tools.bits == 32) {
    command.env.emplace_back("WINEARCH", "win32");
  } else {
    command.unsetEnv.push_back("WINEARCH");
  }
  if (display.empty()) {
    command.unsetEnv.push_back("DISPLAY");
  } else {
    command.env.emplace_back("DISPLAY", display);
  }
  return command;
}

CommandResult RunOrThrow(const Command& command, const std::string& what) {
  CommandResult result = RunCommand(command);
  if (result.timedOut || result.exitCode != 0) {
    throw std::runtime_error(what + " failed: " + result.describe(command));
  }
  return result;
}

void WaitForServer(const WineTools& tools, const fs::path& prefix) {
  Command command;
  command.argv = tools.argv(tools.wineserver, {"-w"});
  command.env = {{"WINEPREFIX", prefix.string()}};
  command.timeLimit = std::chrono::seconds(120);
  CommandResult result = RunCommand(command);
  if (result.timedOut) {
    throw std::runtime_error("the wineserver of " + prefix.string() +
                             " did not end: " + result.describe(command));
  }
}

// Ends the prefix's Wine processes and waits for its server to go.
void EndServer(const WineTools& tools, const fs::path& prefix) {
  Command kill;
  kill.argv = tools.argv(tools.wineserver, {"-k"});
  kill.env = {{"WINEPREFIX", prefix.string()}};
  kill.timeLimit = std::chrono::seconds(30);
  RunCommand(kill);
  WaitForServer(tools, prefix);
}

// What identifies the Wine that made a prefix: its version and the time its
// program was installed.
std::string WineIdentity(const WineTools& tools, const std::string& windowsVersion) {
  Command command;
  command.argv = tools.argv(tools.wine, {"--version"});
  command.timeLimit = std::chrono::seconds(60);
  CommandResult version = RunOrThrow(command, "asking " + tools.wine.string() + " for its version");
  struct stat info {};
  ::stat(tools.wine.c_str(), &info);
  return version.output + std::to_string(tools.bits) + "-bit, installed " +
         std::to_string(info.st_mtime) + "\n" + windowsVersion + "+" + kBaseRecipe + "\n";
}

// The folders of Wine's own binaries: large, and never written by a run.
bool IsSharedBinaryFolder(const fs::path& relative) {
  auto part = relative.begin();
  if (part == relative.end() || *part != "drive_c") return false;
  if (++part == relative.end() || *part != "windows") return false;
  if (++part == relative.end()) return false;
  return *part == "system32" || *part == "syswow64" || *part == "winsxs";
}

void CopyPrefix(const fs::path& from, const fs::path& to, const fs::path& relative) {
  fs::create_directory(to);
  for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
    fs::path name = entry.path().filename();
    fs::file_status status = entry.symlink_status();
    fs::path target = to / name;
    if (fs::is_symlink(status)) {
      fs::copy_symlink(entry.path(), target);
    } else if (fs::is_directory(status)) {
      CopyPrefix(entry.path(), target, relative / name);
    } else if (fs::is_regular_file(status)) {
      std::error_code linkError;
      if (IsSharedBinaryFolder(relative / name))
        fs::create_hard_link(entry.path(), target, linkError);
      if (!IsSharedBinaryFolder(relative / name) || linkError) fs::copy_file(entry.path(), target);
    }
  }
}

// An exclusive lock on a file, held while the object lives.
class FileLock {
 public:
  explicit FileLock(const fs::path& file) {
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) {
      throw std::runtime_error("cannot lock " + file.string());
    }
  }
  ~FileLock() { ::close(fd_); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

std::vector<std::string> WineTools::argv(const fs::path& program,
                                         std::vector<std::string> args) const {
  std::vector<std::string> words = launcher;
  words.push_back(program.string());
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

std::optional<WineTools> FindWineTools(int bits, std::string* missing) {
  const char* named = std::getenv(bits == 32 ? "RQ47_WINE32" : "RQ47_WINE64");
  std::string given = named != nullptr ? named : "";
  // Debian's wine32 puts its loader in /usr/lib/wine/wine (/usr/bin/wine is
  // a script of the package wine that may be missing).
  std::optional<fs::path> wine =
      bits == 32 ? FindExecutable({given, "/usr/lib/wine/wine", "/opt/wine-stable/bin/wine"})
                 : FindExecutable({given, "wine64", "/usr/lib/wine/wine64",
                                   "/usr/lib/x86_64-linux-gnu/wine/wine64",
                                   "/opt/wine-stable/bin/wine64"});
  if (!wine) {
    *missing = bits == 32 ? "the 32-bit Wine is not installed (Debian package wine32:i386, "
                            "with qemu-user 8 or later for i386 programs: tools/install-deps.sh "
                            "sets them up; RQ47_WINE32 may name its loader)"
                          : "wine64 is not installed (Debian package wine64; RQ47_WINE64 may "
                            "name it)";
    return std::nullopt;
  }
  std::optional<fs::path> wineserver =
      FindExecutable({(wine->parent_path() / "wineserver").string(), "wineserver",
                      "/usr/lib/wine/wineserver", "/usr/lib/wine/wineserver64"});
  if (!wineserver) {
    *missing = "wineserver is not installed beside " + wine->string();
    return std::nullopt;
  }
  WineTools tools{bits, *wine, *wineserver, {}};
  if (bits == 32) {
    std::optional<std::vector<std::string>> launcher = I386Launcher(missing);
    if (!launcher) return std::nullopt;
    tools.launcher = *launcher;
  }
  return tools;
}

std::string WindowsPathOf(const fs::path& hostPath) {
  std::string text = fs::absolute(hostPath).lexically_normal().string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return "Z:" + text;
}

void WinePrefix::MakeBase(const WineTools& tools, const fs::path& folder,
                          const std::string& windowsVersion) {
  fs::create_directories(folder.parent_path());
  FileLock lock(folder.string() + ".lock");
  std::string identity = WineIdentity(tools, windowsVersion);
  if (fs::exists(folder / kStampFile) && ReadWhole(folder / kStampFile) == identity) return;

  fs::remove_all(folder);
  auto run = [&](std::vector<std::string> args, const std::string& what) {
    Command command = BaseCommand(tools, folder, "", std::move(args));
    command.timeLimit = std::chrono::minutes(5);
    RunOrThrow(command, what);
  };
  run({"wineboot", "-i"}, "making the Wine prefix (wineboot -i)");
  run({"reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", windowsVersion, "/f"},
      "setting the Wine prefix to " + windowsVersion);
  run({"reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
       "/d", "0", "/f"},
      "turning off Wine's crash dialog");
  WaitForServer(tools, folder);
  if (ReadWhole(folder / "user.reg").find("\"Version\"=\"" + windowsVersion + "\"") ==
      std::string::npos) {
    throw std::runtime_error("the Wine prefix " + folder.string() +
                             " was made, but its user.reg does not hold Version=" + windowsVersion);
  }
  WriteWhole(folder / kStampFile, identity);
}

WinePrefix::WinePrefix(const WineTools& tools, const fs::path& base, const fs::path& folder,
                       std::string display)
    : tools_(tools), base_(base), folder_(folder), display_(std::move(display)) {
  if (fs::exists(folder_)) {
    throw std::runtime_error("the folder for a Wine prefix exists already: " + folder_.string());
  }
  fs::create_directories(folder_.parent_path());
  CopyPrefix(base_, folder_, fs::path());
}

WinePrefix::~WinePrefix() {
  try {
    EndServer(tools_, folder_);
  } catch (const std::exception&) {
    // Nothing more can be done for a server that does not end.
  }
  std::error_code ignored;
  if (!keep_) fs::remove_all(folder_, ignored);
}

Command WinePrefix::wineCommand(std::vector<std::string> args, const fs::path& workingDirectory,
                                std::chrono::milliseconds limit) const {
  Command command = BaseCommand(tools_, folder_, display_, std::move(args));
  command.workingDirectory = workingDirectory;
  command.timeLimit = limit;
  return command;
}

CommandResult WinePrefix::wine(std::vector<std::string> args,
                               const std::function<void()>& beforeRetry) const {
  std::string what = tools_.wine.filename().string();
  for (const std::string& arg : args) what += " " + arg;
  Command command = wineCommand(std::move(args));
  CommandResult result = RunRetryingAHang(command, beforeRetry);
  if (result.timedOut || result.exitCode != 0) {
    throw std::runtime_error(what + " failed: " + result.describe(command));
  }
  return result;
}

void WinePrefix::waitForServer() const { WaitForServer(tools_, folder_); }

void WinePrefix::keepServerRunning() const {
  auto start = [this] {
    Command command;
    command.argv = tools_.argv(tools_.wineserver, {"-p"});
    command.env = {{"WINEPREFIX", folder_.string()}};
    command.timeLimit = std::chrono::seconds(60);
    RunOrThrow(command, "starting the wineserver of " + folder_.string());
  };
  start();
  // The services start with the first program: a command that ends at once.
  // When it hangs, the server and what it started go, and all starts anew.
  wine({"cmd", "/c", "exit"}, [&] {
    EndServer(tools_, folder_);
    start();
  });
}

void WinePrefix::importRegistry(const std::string& regedit4Text,
                                const fs::path& scratchFolder) const {
  fs::path file = scratchFolder / "import.reg";
  WriteWhole(file, regedit4Text);
  wine({"regedit", "/s", WindowsPathOf(file)});
  fs::remove(file);
}

namespace {

// What regedit left for the key: the export, or nothing for a missing key.
std::optional<std::string> ReadExport(const std::string& key, const fs::path& file,
                                      const CommandResult& result) {
  if (!fs::exists(file)) {
    // regedit says so (on standard output when that is not a console) and
    // still ends with 0.
    if ((result.output + result.errorText).find("Unable to open the registry key") !=
        std::string::npos) {
      return std::nullopt;
    }
    throw std::runtime_error("Wine's regedit exported nothing for " + key + ": " + result.output +
                             result.errorText);
  }
  // Wine's regedit exports in the newer UTF-16 format; the machines keep REGEDIT4.
  winsim_tool::RegistryFileText text =
      winsim_tool::ReadRegistryFileText(ReadWhole(file), winsim_tool::kRegeditExport);
  if (text.errorLine != 0) {
    throw std::runtime_error("Wine's export of " + key + " (" + file.string() + "), line " +
                             std::to_string(text.errorLine) + ": " + text.error);
  }
  fs::remove(file);
  return text.regedit4;
}

}  // namespace

std::map<std::string, std::optional<std::string>> WinePrefix::exportKeys(
    const std::vector<std::string>& keys, const fs::path& scratchFolder) const {
  std::vector<fs::path> files;
  std::vector<Command> commands;
  std::vector<std::unique_ptr<Process>> running;
  for (size_t i = 0; i < keys.size(); ++i) {
    files.push_back(scratchFolder / ("export-" + std::to_string(i) + ".reg"));
    fs::remove(files.back());
    commands.push_back(wineCommand({"regedit", "/e", WindowsPathOf(files.back()), keys[i]}));
    running.push_back(std::make_unique<Process>(commands.back()));
  }
  std::map<std::string, std::optional<std::string>> exports;
  for (size_t i = 0; i < keys.size(); ++i) {
    CommandResult result = running[i]->wait(commands[i].timeLimit);
    if (result.timedOut) {
      // An export changes nothing, so a hung one is simply made again.
      result = RunCommand(commands[i]);
      result.retried = true;
    }
    if (result.timedOut || result.exitCode != 0) {
      throw std::runtime_error("exporting " + keys[i] + " failed: " + result.describe(commands[i]));
    }
    exports[keys[i]] = ReadExport(keys[i], files[i], result);
  }
  return exports;
}

}  // namespace rq47wine
