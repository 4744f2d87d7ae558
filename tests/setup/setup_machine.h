// Machines for the setup's tests: a Windows 98 machine with the modem plugged
// in (or not), and readers for what a run left in the registry and the trace.
#ifndef RQ47_TESTS_SETUP_MACHINE_H
#define RQ47_TESTS_SETUP_MACHINE_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "test_machine.h"

namespace setuptest {

inline const std::string kVendor = rq47test::Hklm("Software\\Zelvaran\\RQ31DFV");
inline const std::string kTempSettings = rq47test::Hklm("Software\\Zelvaran\\RQ31");
inline const std::string kPci = rq47test::Hklm("Enum\\PCI");
inline constexpr char kModemId[] = "VEN_1A3C&DEV_2210&SUBSYS_00000000&REV_01";
inline constexpr char kCaption[] = "Zelvaran RQ47 Modem";
inline constexpr char kSystemIni[] = "C:\\WINDOWS\\system.ini";
inline constexpr char kSystemIniText[] =
    "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\ndevice=*vcd\r\ndevice=*vpd\r\n";

// text followed by zero bytes up to count: a value as the programs store it.
std::string Padded(std::string_view text, size_t count);

// Adds the PCI key of a device with one instance key.
void AddPciDevice(rq47test::TestMachine& machine, const std::string& name);

// A machine with system.ini, the package in its program folder and, when
// modemId is not empty, the modem's PCI key.
std::unique_ptr<rq47test::TestMachine> MakeMachine(const winsim::MachineConfig& config = {},
                                                   const std::string& modemId = kModemId);

// Trace lines of the current run that call the function (and contain `with`).
std::vector<std::string> Calls(rq47test::TestMachine& machine, std::string_view function,
                               std::string_view with = {});
// Position of the first such line in the trace; -1 when there is none.
long FirstCall(rq47test::TestMachine& machine, std::string_view function,
               std::string_view with = {});
// Calls that change the registry or files.
size_t ChangingCalls(rq47test::TestMachine& machine);

}  // namespace setuptest

#endif  // RQ47_TESTS_SETUP_MACHINE_H
