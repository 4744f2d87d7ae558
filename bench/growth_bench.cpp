// How the setup's walks over the device registry grow: the modem's detection
// over the subkeys of Enum\PCI, and FillMissingPortNames over the instance
// keys of the modem's device key, each on 1,000 and on 10,000 subkeys. Ten
// times the subkeys should take no more than twelve times the time.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench_options.h"
#include "detection.h"
#include "ports.h"
#include "report.h"
#include "rounds.h"
#include "setup_context.h"
#include "text_buffer.h"
#include "winsim/machine.h"
#include "winsim/run.h"

namespace fs = std::filesystem;
using namespace rq47bench;

namespace {

constexpr char kModem[] = "VEN_1A3C&DEV_2210&SUBSYS_00000000&REV_01";
constexpr char kPci[] = "HKEY_LOCAL_MACHINE\\Enum\\PCI";

std::string Printed(const char* format, unsigned a, unsigned b) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// A machine whose Enum\PCI lists `count` devices, the modem first in the
// enumeration (so the detection, which starts from the last, visits them
// all), and whose modem has `count` instance keys without a PortName.
struct DeviceMachine {
  DeviceMachine(const fs::path& folder, unsigned subkeys)
      : count(subkeys), machine(winsim::Machine::create(folder)) {
    winsim::RegKey* pci = machine.registry.create(kPci);
    winsim::RegKey& modem = pci->createSubkey(kModem);
    for (unsigned i = 1; i < count; ++i) {
      pci->createSubkey(Printed("VEN_8086&DEV_%04X&SUBSYS_%08X&REV_01", i, i * 2654435761u));
    }
    for (unsigned i = 0; i < count; ++i) {
      winsim::RegKey& instance =
          modem.createSubkey(Printed("BUS_%02X&DEV_%04X&FUNC_00", i / 256, i));
      instance.setValue("DeviceDesc", 1, std::string("Zelvaran RQ47 Modem\0", 20));
    }
    instances = &modem;
  }

  Sample detect() {
    winsim::Run run(machine);
    Stopwatch stopwatch;
    rq47set::ModemDevice device = rq47set::DetectModemHardware();
    Sample time = stopwatch.elapsed();
    if (std::strcmp(device.instanceId, kModem) != 0 || run.callCount() < count) {
      throw std::runtime_error("the detection did not walk the " + std::to_string(count) +
                               " subkeys to the modem");
    }
    return time;
  }

  Sample fillPortNames() {
    for (size_t i = 0; i < instances->subkeyCount(); ++i)
      instances->subkey(i)->deleteValue("PortName");
    rq47set::SetupContext context;
    rq47set::StartSetupContext(context);
    context.device = rq47set::DeviceNamed(kModem);
    if (std::strcmp(context.device.instanceId, kModem) != 0 ||
        !CopyText(context.portName, "COM2")) {
      throw std::logic_error("the modem's key path or port name does not fit the setup's context");
    }
    winsim::Run run(machine);
    Stopwatch stopwatch;
    rq47set::FillMissingPortNames(context);
    Sample time = stopwatch.elapsed();
    for (size_t i = 0; i < instances->subkeyCount(); ++i) {
      const winsim::RegValue* port = instances->subkey(i)->findValue("PortName");
      // Windows 95/98 keep the text and one NUL of the 20 bytes written.
      if (port == nullptr || port->data != std::string("COM2", 5)) {
        throw std::runtime_error("FillMissingPortNames left instance " + std::to_string(i) +
                                 " of " + std::to_string(count) + " without PortName COM2");
      }
    }
    return time;
  }

  unsigned count;
  winsim::Machine machine;
  winsim::RegKey* instances = nullptr;
};

bool RunGrowth(const BenchOptions& options) {
  ScratchFolder scratch(options.scratch);
  unsigned few = options.quick ? 100 : 1000;
  DeviceMachine small(scratch.path() / "small", few);
  DeviceMachine large(scratch.path() / "large", few * 10);

  Measure detectSmall{"detect", [&] { return small.detect(); }, {}};
  Measure detectLarge{"detect x10", [&] { return large.detect(); }, {}};
  Measure fillSmall{"fill", [&] { return small.fillPortNames(); }, {}};
  Measure fillLarge{"fill x10", [&] { return large.fillPortNames(); }, {}};
  int rounds = options.quick ? 1 : options.rounds * 4;
  RunRounds({&detectSmall, &detectLarge, &fillSmall, &fillLarge}, rounds);

  Report report("Growth of the walks over the device registry (medians of " +
                    std::to_string(rounds) + " rounds)",
                !options.quick);
  std::string smallCount = std::to_string(few);
  std::string largeCount = std::to_string(few * 10);
  report.time("DetectModemHardware, " + smallCount + " subkeys", detectSmall.median());
  report.time("DetectModemHardware, " + largeCount + " subkeys", detectLarge.median());
  report.time("FillMissingPortNames, " + smallCount + " instance keys", fillSmall.median());
  report.time("FillMissingPortNames, " + largeCount + " instance keys", fillLarge.median());
  report.ratio("detection, ten times the subkeys", detectLarge.median(), detectSmall.median(), 12,
               "the time");
  report.ratio("FillMissingPortNames, ten times the keys", fillLarge.median(), fillSmall.median(),
               12, "the time");
  return report.allMet();
}

}  // namespace

int main(int argc, char** argv) { return BenchmarkMain(argc, argv, false, RunGrowth); }
