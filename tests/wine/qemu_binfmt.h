// How the 32-bit Wine's i386 programs reach qemu-i386 on this machine, whose
// kernel does not start them itself: through the machine's binfmt_misc entry
// when it gives them to a qemu-i386 that is recent enough, or else through a
// binfmt_misc of the Wine command's own, in a user and mount namespace
// (Linux 6.7 or later), which leaves the machine's entry alone.
#ifndef RQ47_WINE_QEMU_BINFMT_H
#define RQ47_WINE_QEMU_BINFMT_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rq47wine {

// Whether a binfmt_misc entry (the text of its file) is enabled, takes i386
// ELF programs, and hands them to the interpreter, opened at registration (flag F).
bool EntryGivesI386To(const std::string& entryText, const std::filesystem::path& interpreter);

// The words to put before a Wine command: none when the machine's entry does
// it, the private binfmt_misc otherwise. Nothing, with the reason in
// *missing, when qemu-i386 8 or later is not installed.
std::optional<std::vector<std::string>> I386Launcher(std::string* missing);

}  // namespace rq47wine

#endif  // RQ47_WINE_QEMU_BINFMT_H
