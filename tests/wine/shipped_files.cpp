#include "shipped_files.h"

#include <cstdlib>
#include <stdexcept>

#include "command.h"

namespace fs = std::filesystem;

namespace rq47wine {

namespace {

void RunOrThrow(const Command& command, const std::string& what) {
  CommandResult result = RunCommand(command);
  if (result.timedOut || result.exitCode != 0) {
    throw std::runtime_error(what + " failed: " + result.describe(command));
  }
}

}  // namespace

fs::path Win32BuildDir() {
  const char* named = std::getenv("RQ47_WIN32_DIR");
  return named != nullptr && *named != '\0' ? fs::path(named) : fs::path(RQ47_DEFAULT_WIN32_DIR);
}

fs::path PackageZip() { return Win32BuildDir() / (std::string(RQ47_PACKAGE_NAME) + ".zip"); }

fs::path FloppyImage() { return Win32BuildDir() / (std::string(RQ47_PACKAGE_NAME) + ".img"); }

std::map<std::string, fs::path> PackagedBuildFiles() {
  fs::path build = Win32BuildDir();
  return {{"rq47set.exe", build / "setup" / "rq47set.exe"},
          {"zuninst.exe", build / "uninstall" / "zuninst.exe"},
          {"README.TXT", build / "packaging" / "README.TXT"}};
}

std::optional<fs::path> FindMcopy() { return FindExecutable({"mcopy", "/usr/bin/mcopy"}); }

void UnpackZip(const fs::path& zip, const fs::path& folder) {
  fs::create_directories(folder);
  Command command;
  command.argv = {RQ47_CMAKE_COMMAND, "-E", "tar", "xf", fs::absolute(zip).string()};
  command.workingDirectory = folder;
  RunOrThrow(command, "unpacking " + zip.string());
}

void UnpackFloppy(const fs::path& image, const fs::path& folder) {
  std::optional<fs::path> mcopy = FindMcopy();
  if (!mcopy) throw std::runtime_error("mcopy is not installed (Debian package mtools)");
  fs::create_directories(folder);
  Command command;
  // -s every folder, -m the files' times, -n replace what is there.
  command.argv = {mcopy->string(),      "-i", image.string(), "-s", "-m", "-n", "::/*",
                  folder.string() + "/"};
  command.env = {{"MTOOLSRC", "/dev/null"}, {"MTOOLS_SKIP_CHECK", "1"}};
  RunOrThrow(command, "copying the files out of the floppy image " + image.string());
}

}  // namespace rq47wine
