#include "system_ini_generator.h"

#include <array>
#include <string_view>

#include "random_numbers.h"

namespace rq47bench {
namespace {

constexpr std::array<std::string_view, 6> kSections = {
    "boot", "386Enh", "drivers", "boot.description", "mci", "NonWindowsApp"};
constexpr std::array<std::string_view, 10> kKeys = {
    "device", "shell",       "display.drv", "mouse.drv", "keyboard.typ",
    "fonts",  "network.drv", "comm.drv",    "sound.drv", "EMMExclude"};
constexpr std::array<std::string_view, 10> kValues = {"*vpicd",
                                                      "Explorer.exe",
                                                      "pnpdrvr.drv",
                                                      "mouse.drv",
                                                      "KBD",
                                                      "vgafix.fon",
                                                      "C:\\WINDOWS\\SYSTEM\\serialui.dll",
                                                      "comm.drv",
                                                      "mmsound.drv",
                                                      "A000-AFFF"};
constexpr size_t kLinesPerSection = 48;

}  // namespace

std::string GenerateSystemIni(const SystemIniShape& shape) {
  RandomNumbers random(shape.seed);
  std::string out;
  out.reserve(shape.bytes + 4096);
  size_t section = 0;
  while (out.size() < shape.bytes) {
    std::string_view name = kSections[section++ % kSections.size()];
    out += "[";
    out += name;
    out += "]\r\n";
    if (name == "386Enh") {
      out += "device=*vcd\r\n";
      if (shape.withDriverLines) out += "device = zelvcd.vxd\r\n";
    }
    for (size_t line = 0; line < kLinesPerSection; ++line) {
      size_t kind = random.below(100);
      if (kind < 80) {
        out += kKeys[random.below(kKeys.size())];
        out += '=';
        out += kValues[random.below(kValues.size())];
      } else if (kind < 90) {
        out += "; ";
        out += kValues[random.below(kValues.size())];
        out += " was added by the display driver's setup";
      } else if (kind < 99) {
        // a blank line
      } else {
        out += "EMMExclude=";
        while (out.size() - out.rfind('\n') < 400) out += "C800-CFFF,";
      }
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace rq47bench
