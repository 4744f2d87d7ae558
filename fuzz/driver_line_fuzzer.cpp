// The system.ini rewrite on any file: RemoveDriverLine leaves no line that
// names "zelvcd", AddDriverLine puts the driver line right after every line
// that names "*vcd", and everything else comes out as it went in, up to the
// line ends (CR LF read as one line end and written as CR LF, a lone CR
// ending a line as well, a Ctrl-Z kept as text). The whole result must be
// what the rules give, worked out on their own by the tests' model, and
// system.new must be gone.
// Afterwards the line is needed exactly when a "*vcd" line lacks it.
//
// Input: the first byte picks the operation (even: remove, odd: add); the
// rest is system.ini.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "driver_line.h"
#include "system_ini_model.h"
#include "winsim/machine.h"
#include "winsim/run.h"

namespace fs = std::filesystem;

namespace {

constexpr char kDriverLine[] = "device = zelvcd.vxd";

struct World {
  fs::path root;
  std::unique_ptr<winsim::Machine> machine;
  fs::path systemIni;
  fs::path systemNew;
};

[[noreturn]] void Fail(const std::string& what, const std::string& input,
                       const std::string& output) {
  std::fprintf(stderr, "system.ini rewrite: %s\ninput (%zu bytes) and output (%zu bytes) follow\n",
               what.c_str(), input.size(), output.size());
  std::fwrite(input.data(), 1, input.size(), stderr);
  std::fputs("\n-----\n", stderr);
  std::fwrite(output.data(), 1, output.size(), stderr);
  std::fputs("\n", stderr);
  std::abort();
}

World& TheWorld() {
  static World world = [] {
    World made;
    std::string pattern = (fs::temp_directory_path() / "rq47-ini-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    made.root = pattern;
    made.machine = std::make_unique<winsim::Machine>(winsim::Machine::create(made.root));
    made.systemIni = made.machine->driveFolder('C') / "WINDOWS" / "system.ini";
    made.systemNew = made.machine->driveFolder('C') / "WINDOWS" / "system.new";
    ::setenv("RQ47_INI_FUZZ_ROOT", made.root.c_str(), 1);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(fs::path(std::getenv("RQ47_INI_FUZZ_ROOT")), ignored);
    });
    return made;
  }();
  return world;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  World& world = TheWorld();
  const bool add = (data[0] & 1) != 0;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::ofstream(world.systemIni, std::ios::binary | std::ios::trunc) << input;

  bool needed;
  {
    winsim::Run run(*world.machine);
    if (add) {
      AddDriverLine();
    } else {
      RemoveDriverLine();
    }
    needed = NeedsDriverLine();
  }
  const std::string output = ReadAll(world.systemIni);
  if (fs::exists(world.systemNew)) Fail("system.new is left", input, output);

  // Lines as Windows reads them: CR LF, a lone CR and a lone LF end one.
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < output.size(); ++i) {
    if (output[i] != '\r' && output[i] != '\n') {
      lines.back() += output[i];
      continue;
    }
    if (output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n') ++i;
    lines.emplace_back();
  }
  if (lines.back().empty()) lines.pop_back();
  bool driverLineDue = false;
  for (const std::string& line : lines) {
    if (driverLineDue && line != kDriverLine) {
      Fail("a line that names *vcd is not followed by the driver line", input, output);
    }
    driverLineDue = add && line.find("*vcd") != std::string::npos;
    if (!add && line.find("zelvcd") != std::string::npos) {
      Fail("a line that names zelvcd is left", input, output);
    }
  }
  if (driverLineDue) Fail("the last line names *vcd and no driver line follows it", input, output);

  // Setup adds the line only while it is needed: once added it must be found,
  // or every run would add another.
  if (needed != (!add && output.find("*vcd") != std::string::npos)) {
    Fail(needed ? "the driver line is still needed" : "a removed driver line is not needed", input,
         output);
  }

  const std::string expected =
      add ? rq47test::WithDriverLineAdded(input) : rq47test::WithDriverLineRemoved(input);
  if (output != expected) Fail("the result is not what the line rules give", input, output);
  return 0;
}
