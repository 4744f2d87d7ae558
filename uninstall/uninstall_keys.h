// Registry keys below HKEY_LOCAL_MACHINE that only the uninstaller touches.
#ifndef ZUNINST_UNINSTALL_KEYS_H
#define ZUNINST_UNINSTALL_KEYS_H

#include <cstddef>

namespace zuninst {

// Parent of every device's software key; an instance's "driver" value names
// a key below it.
inline constexpr const char kClassRoot[] = "System\\CurrentControlSet\\Services\\Class";

// The modem's wave devices, in the order they are handled.
inline constexpr size_t kModemWaveKeyCount = 5;
inline constexpr const char* const kModemWaveKeys[kModemWaveKeyCount] = {
    "Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Voice_Modem",
    "Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Fax_Modem",
    "Enum\\MODEMWAVE\\Zelvaran_RQ47_Voice_Modem",
    "Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem",
    "Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Speakerphone_Modem",
};

// The wave driver's entry ("<0000>" is part of the name).
inline constexpr const char kWaveMediaResourceKey[] =
    "System\\CurrentControlSet\\Control\\MediaResources\\Wave\\Serwvdrv.drv<0000>";

// The entry in the list of removable programs.
inline constexpr const char kUninstallEntry[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV";

}  // namespace zuninst

#endif  // ZUNINST_UNINSTALL_KEYS_H
