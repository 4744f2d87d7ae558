// Wine prefixes for the end-to-end runs: a base prefix set to a Windows
// version, made once and kept, and a working copy of it for each scenario.
#ifndef RQ47_WINE_WINE_PREFIX_H
#define RQ47_WINE_WINE_PREFIX_H

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "command.h"

namespace rq47wine {

// A Wine: the 32-bit one (Debian's wine32:i386, whose i386 programs this
// kernel hands to qemu-i386 through binfmt_misc) runs the shipping win32
// executables, the 64-bit one the win64 build.
struct WineTools {
  int bits = 64;
  std::filesystem::path wine;  // the loader: wine (32-bit) or wine64
  std::filesystem::path wineserver;
  // Put before every Wine command: how i386 programs reach qemu-i386 (qemu_binfmt.h).
  std::vector<std::string> launcher;

  // The command line that runs the program with the arguments.
  std::vector<std::string> argv(const std::filesystem::path& program,
                                std::vector<std::string> args) const;
};

// That Wine and its wineserver (RQ47_WINE32 or RQ47_WINE64 names the loader
// when it is elsewhere); nothing, with the reason in *missing, when it is not
// installed.
std::optional<WineTools> FindWineTools(int bits, std::string* missing);

// "Z:\tmp\x" for /tmp/x: how a Wine program names a host file.
std::string WindowsPathOf(const std::filesystem::path& hostPath);

class WinePrefix {
 public:
  // Makes a prefix in the folder that reports the Windows version (Wine's
  // name: "win98", "win95") and shows no crash dialog, unless the folder
  // already holds one made so by this Wine. Several test processes may ask at
  // once: one makes it, the others wait.
  static void MakeBase(const WineTools& tools, const std::filesystem::path& folder,
                       const std::string& windowsVersion);

  // A working copy of the base prefix in the folder (which must not exist),
  // with its programs' windows on the display. The large folders of Wine's own
  // binaries are hard-linked, everything else is copied.
  WinePrefix(const WineTools& tools, const std::filesystem::path& base,
             const std::filesystem::path& folder, std::string display);
  // Ends the prefix's Wine processes and removes the folder (unless kept).
  ~WinePrefix();
  // Leaves the folder on disk at the end, for a person to look into.
  void keepOnDisk() { keep_ = true; }
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  const std::filesystem::path& base() const { return base_; }
  std::filesystem::path driveC() const { return folder_ / "drive_c"; }
  const WineTools& tools() const { return tools_; }

  // A command that runs `wine args...` (or wine64) in this prefix.
  Command wineCommand(std::vector<std::string> args,
                      const std::filesystem::path& workingDirectory = {},
                      std::chrono::milliseconds limit = std::chrono::seconds(120)) const;
  // Runs wine args..., a command that may be run twice: once more when the
  // first run hangs (see RunRetryingAHang). Throws std::runtime_error when
  // it does not end with 0.
  CommandResult wine(std::vector<std::string> args,
                     const std::function<void()>& beforeRetry = nullptr) const;
  // Waits until the prefix's wineserver has ended (and so saved the registry).
  void waitForServer() const;
  // Starts the prefix's wineserver and Wine's services, to stay until the
  // prefix goes, so that each Wine command after it finds them running.
  void keepServerRunning() const;

  // Imports REGEDIT4 text with Wine's regedit.
  void importRegistry(const std::string& regedit4Text,
                      const std::filesystem::path& scratchFolder) const;
  // Each key and everything below it as REGEDIT4 text, nothing for a key that
  // is missing; exported side by side, each by a regedit of its own.
  std::map<std::string, std::optional<std::string>> exportKeys(
      const std::vector<std::string>& keys, const std::filesystem::path& scratchFolder) const;

 private:
  WineTools tools_;
  std::filesystem::path base_;
  std::filesystem::path folder_;
  std::string display_;
  bool keep_ = false;
};

}  // namespace rq47wine

#endif  // RQ47_WINE_WINE_PREFIX_H
