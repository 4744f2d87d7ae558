// The changes between two machines as plain text for a terminal:
//
//   Registry: 1 key added, 1 changed; 7 values added, 1 changed
//     + [HKEY_LOCAL_MACHINE\Software\Zelvaran\RQ31DFV]
//         + "Version" = REG_SZ "3.02 Build 69" (20 bytes)
//     ~ [HKEY_LOCAL_MACHINE\Enum\PCI\...\0000]
//         ~ "PortName" = REG_SZ "COM1" (5 bytes)
//                     -> REG_SZ "COM2" (20 bytes)
//   Files and folders: 6 added, 1 changed
//     + C:\WINDOWS\SYSTEM\zca.cpl  (4,096 bytes)
//     ~ C:\WINDOWS\system.ini  (2,048 -> 2,070 bytes)
//   Lines of C:\WINDOWS\system.ini:
//     @@ line 40 @@
//         [386Enh]
//       + device = zelvcd.vxd
#ifndef WINSIM_TOOL_CHANGES_TEXT_H
#define WINSIM_TOOL_CHANGES_TEXT_H

#include <string>
#include <vector>

#include "machine_diff.h"

namespace winsim_tool {

// A removed key is one line with what it held ("- [key]  (2 subkeys, 9
// values)"), and so is a folder added or removed with its content ("+
// C:\WINDOWS\zelbak95\  (folder with 38 files, 3,712 bytes)"), unless `full`
// asks for every one of them; added and changed keys always show their values.
std::string RegistryChangesText(const std::vector<KeyChange>& keys, bool full = false);
std::string ChangesText(const MachineChanges& changes, bool full = false);

// "1 key added, 2 changed; 7 values added" (nothing for no change).
std::string RegistrySummary(const RegistryCounts& counts);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_CHANGES_TEXT_H
