// Machines for the bad-input runs: the shipped machines, or one built in code
// with the package unpacked, spoilt in one way by each test, then run whole
// in this process.
#ifndef RQ47_TESTS_RELIABILITY_BAD_INPUT_MACHINE_H
#define RQ47_TESTS_RELIABILITY_BAD_INPUT_MACHINE_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "test_machine.h"
#include "winsim/machine.h"

namespace rq47test {

inline const std::string kPciKey = "HKEY_LOCAL_MACHINE\\Enum\\PCI";
// The modem of the shipped Windows 98 machine and its one instance.
inline const std::string kModemKey = kPciKey + "\\VEN_1A3C&DEV_2210&SUBSYS_00000000&REV_01";
inline const std::string kModemInstance = kModemKey + "\\BUS_00&DEV_0B&FUNC_00";
inline constexpr char kSuccessPrefix[] = "You have successfully installed";
inline constexpr char kRegistryKeysFailed[] = "Failed to set the modem's registry keys.";

// The six files setup places, below the Windows directory (System directory
// files first, then the help file).
std::vector<std::string> PlacedFiles(const std::string& windowsDirectory,
                                     const std::string& systemDirectory);

// Windows 98 as shipped: the modem present, the package unpacked, nothing installed.
std::unique_ptr<TestMachine> Windows98();
// The same after a clean installation.
std::unique_ptr<TestMachine> InstalledWindows98();
// A machine built in code with the shipped Windows 98 registry and the
// package unpacked in its program folder (when that folder can exist), with
// the Windows directory and System directory given.
std::unique_ptr<TestMachine> Windows98With(const std::string& windowsDirectory,
                                           const std::string& systemDirectory);

// One whole run of a program as the next program on the machine; the boxes
// take the answers, then their default buttons.
int RunSetupOn(TestMachine& machine, std::vector<int> answers = {});
int RunUninstallOn(TestMachine& machine);

// The texts of the boxes the current run showed.
std::vector<std::string> BoxTexts(TestMachine& machine);
bool ShowedSuccess(TestMachine& machine);

}  // namespace rq47test

#endif  // RQ47_TESTS_RELIABILITY_BAD_INPUT_MACHINE_H
