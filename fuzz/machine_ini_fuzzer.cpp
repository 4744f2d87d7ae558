// The machine.ini reader on any text: it accepts the file or refuses it with
// a MachineError, never anything else; and what it accepts, written back,
// reads back to the same machine.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "winsim/machine.h"
#include "winsim/machine_ini.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "machine.ini round trip: %s\n%s\n", what, detail.c_str());
  std::abort();
}

bool SameMachine(const winsim::MachineConfig& a, const winsim::MachineConfig& b) {
  auto samePrograms = [&] {
    if (a.programs.size() != b.programs.size()) return false;
    for (const auto& [name, behaviour] : a.programs) {
      auto it = b.programs.find(name);
      if (it == b.programs.end() || it->first != name || it->second.kind != behaviour.kind ||
          it->second.exitCode != behaviour.exitCode) {
        return false;
      }
    }
    return true;
  };
  return a.platform == b.platform && a.majorVersion == b.majorVersion &&
         a.minorVersion == b.minorVersion && a.buildNumber == b.buildNumber &&
         a.windowsDirectory == b.windowsDirectory && a.systemDirectory == b.systemDirectory &&
         a.currentDirectory == b.currentDirectory && a.processorType == b.processorType &&
         a.totalMemory == b.totalMemory && a.ports == b.ports && samePrograms();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  winsim::MachineConfig config;
  try {
    config = winsim::ParseMachineIni(text);
  } catch (const winsim::MachineError&) {
    return 0;  // refused, with the line and what is wrong
  }
  std::string written = winsim::WriteMachineIni(config);
  winsim::MachineConfig reread;
  try {
    reread = winsim::ParseMachineIni(written);
  } catch (const winsim::MachineError& error) {
    Fail("the written machine.ini does not read back", std::string(error.what()) + "\n" + written);
  }
  if (!SameMachine(config, reread))
    Fail("the written machine.ini reads back as another machine", written);
  return 0;
}
