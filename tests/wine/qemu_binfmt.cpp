#include "qemu_binfmt.h"

#include <cstdlib>
#include <sstream>

#include "command.h"
#include "test_machine.h"

namespace fs = std::filesystem;

namespace rq47wine {

namespace {

const fs::path kBinfmt = "/proc/sys/fs/binfmt_misc";

// qemu 7.2 treats MAP_FIXED_NOREPLACE as a hint: each Wine process then
// spends minutes reserving its address space.
constexpr int kFirstFastQemu = 8;

int QemuMajorVersion(const fs::path& qemu) {
  Command command;
  command.argv = {qemu.string(), "--version"};
  command.timeLimit = std::chrono::seconds(30);
  CommandResult result = RunCommand(command);
  size_t at = result.output.find("version ");
  return result.exitCode == 0 && at != std::string::npos ? std::atoi(result.output.c_str() + at + 8)
                                                         : 0;
}

bool MachineGivesI386To(const fs::path& qemu) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(kBinfmt, error)) {
    std::string name = entry.path().filename().string();
    if (name == "register" || name == "status") continue;
    if (EntryGivesI386To(rq47test::ReadWhole(entry.path()), qemu)) return true;
  }
  return false;
}

}  // namespace

bool EntryGivesI386To(const std::string& entryText, const fs::path& interpreter) {
  std::istringstream lines(entryText);
  std::string word;
  std::string value;
  bool enabled = false;
  bool i386 = false;
  bool opened = false;
  bool same = false;
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    words >> word >> value;
    if (word == "enabled") enabled = true;
    if (word == "interpreter") same = value == interpreter.string();
    if (word == "flags:") opened = value.find('F') != std::string::npos;
    // "\x7fELF", 32-bit, little-endian, ..., e_machine 3 (i386) at byte 18.
    if (word == "magic")
      i386 = value.compare(0, 12, "7f454c460101") == 0 && value.size() >= 40 &&
             value.compare(36, 4, "0300") == 0;
  }
  return enabled && i386 && opened && same;
}

std::optional<std::vector<std::string>> I386Launcher(std::string* missing) {
  std::optional<fs::path> qemu = FindExecutable({"/usr/bin/qemu-i386", "qemu-i386"});
  if (!qemu || QemuMajorVersion(*qemu) < kFirstFastQemu) {
    *missing =
        "qemu-i386 8 or later is not installed (Debian package qemu-user of the backports "
        "suite; tools/install-deps.sh sets it up)";
    return std::nullopt;
  }
  if (MachineGivesI386To(*qemu) && std::getenv("RQ47_WINE_PRIVATE_BINFMT") == nullptr) {
    return std::vector<std::string>();
  }
  std::optional<fs::path> unshare = FindExecutable({"unshare", "/usr/bin/unshare"});
  if (!unshare) {
    *missing = "no binfmt_misc entry gives i386 programs to " + qemu->string() +
               ", and unshare (Debian package util-linux) is missing to make one for the tests";
    return std::nullopt;
  }
  std::string entry =
      ":rq47-qemu-i386:M::"
      "\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02"
      "\\x00\\x03\\x00:"
      "\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff"
      "\\xff\\xfe\\xff\\xff\\xff:" +
      qemu->string() + ":F";
  std::string script = "mount -t binfmt_misc binfmt_misc " + kBinfmt.string() +
                       " && printf '%s' '" + entry + "' > " + kBinfmt.string() +
                       "/register && exec \"$@\"";
  return std::vector<std::string>{
      unshare->string(), "--user", "--map-root-user", "--mount", "/bin/sh", "-c", script, "sh"};
}

}  // namespace rq47wine
