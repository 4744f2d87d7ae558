// Wine prefixes for the end-to-end runs: a base prefix set to Windows 98,
// made once and kept, and a working copy of it for each scenario.
#ifndef RQ47_WINE_WINE_PREFIX_H
#define RQ47_WINE_WINE_PREFIX_H

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "command.h"

namespace rq47wine {

struct WineTools {
  std::filesystem::path wine64;
  std::filesystem::path wineserver;
};

// wine64 and wineserver (RQ47_WINE64 names wine64 when it is elsewhere);
// nothing, with the reason in *missing, when they are not installed.
std::optional<WineTools> FindWineTools(std::string* missing);

// "Z:\tmp\x" for /tmp/x: how a Wine program names a host file.
std::string WindowsPathOf(const std::filesystem::path& hostPath);

class WinePrefix {
 public:
  // Makes a prefix in the folder that reports Windows 98 and shows no crash
  // dialog, unless the folder already holds one made by this Wine. Several
  // test processes may ask at once: one makes it, the others wait.
  static void MakeBase(const WineTools& tools, const std::filesystem::path& folder);

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

  // A command that runs `wine64 args...` in this prefix.
  Command wineCommand(std::vector<std::string> args,
                      const std::filesystem::path& workingDirectory = {},
                      std::chrono::milliseconds limit = std::chrono::seconds(120)) const;
  // Runs wine64 args...; throws std::runtime_error when it does not end with 0.
  CommandResult wine(std::vector<std::string> args) const;
  // Waits until the prefix's wineserver has ended (and so saved the registry).
  void waitForServer() const;

  // Imports REGEDIT4 text with Wine's regedit.
  void importRegistry(const std::string& regedit4Text,
                      const std::filesystem::path& scratchFolder) const;
  // The key and everything below it as REGEDIT4 text; nothing when the key is missing.
  std::optional<std::string> exportKey(const std::string& key,
                                       const std::filesystem::path& scratchFolder) const;

 private:
  WineTools tools_;
  std::filesystem::path base_;
  std::filesystem::path folder_;
  std::string display_;
  bool keep_ = false;
};

}  // namespace rq47wine

#endif  // RQ47_WINE_WINE_PREFIX_H
