// Machines for the setup's tests: a Windows 98 machine with the modem plugged
// in (or not), the setup's buffers as a run starts, and what a run changed.
#ifndef RQ47_TESTS_SETUP_MACHINE_H
#define RQ47_TESTS_SETUP_MACHINE_H

#include <memory>
#include <string>
#include <vector>

#include "modem_fixtures.h"
#include "setup_context.h"
#include "test_machine.h"

namespace setuptest {

using rq47test::Kept;
using rq47test::kModemId;
using rq47test::kPciKeyPath;
using rq47test::kSystemIniPath;
using rq47test::kTempKeyPath;
using rq47test::kVendorKeyPath;
using rq47test::Padded;

inline constexpr char kCaption[] = "Zelvaran RQ47 Modem";
inline constexpr char kSystemIniText[] =
    "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\ndevice=*vcd\r\ndevice=*vpd\r\n";

// A fresh installation's vendor-key values in the order the key has always
// held them, up to the port name that the port assignment adds last.
std::vector<rq47test::StoredValue> FreshVendorValues(const std::string& pnpId);

// The setup's buffers as a run starts.
rq47set::SetupContext StartedContext();

// Adds the PCI key of a device with one instance key.
void AddPciDevice(rq47test::TestMachine& machine, const std::string& name);

// A machine with system.ini, the package in its program folder and, when
// modemId is not empty, the modem's PCI key.
std::unique_ptr<rq47test::TestMachine> MakeMachine(const winsim::MachineConfig& config = {},
                                                   const std::string& modemId = kModemId);

}  // namespace setuptest

#endif  // RQ47_TESTS_SETUP_MACHINE_H
