// A machine on which the modem is installed as setup leaves it, with other
// devices and programs around it that the uninstaller must leave alone.
#ifndef RQ47_TESTS_INSTALLED_MODEM_H
#define RQ47_TESTS_INSTALLED_MODEM_H

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "machine_changes.h"
#include "modem_fixtures.h"
#include "test_machine.h"
#include "trace_lines.h"

namespace rq47test {

inline const std::string kOtherMediaResource =
    Hklm("System\\CurrentControlSet\\Control\\MediaResources\\Wave\\mmdrv.dll<0000>");
inline const std::string kOtherUninstallEntry =
    Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OtherProgram");

// The modem's PCI device and its one instance.
inline const std::string kModemDevice = kPciKeyPath + "\\" + kModemId;
inline const std::string kModemInstance = kModemDevice + "\\BUS_00&DEV_0B&FUNC_00";
inline const std::string kModemSoftware = kClassKeyPath + "\\Modem\\0003";
// Another PCI device and another modem's software key: never touched.
inline const std::string kOtherDevice = kPciKeyPath + "\\VEN_8086&DEV_7110&SUBSYS_00000000&REV_02";
inline const std::string kOtherSoftware = kClassKeyPath + "\\Modem\\0000";
inline const std::string kOtherDeviceSoftware = kClassKeyPath + "\\System\\0011";

inline const std::string kWaveKeys[5] = {
    kModemWaveKeyPath + "\\Zelvaran_RQ47_PCI_Voice_Modem",
    kModemWaveKeyPath + "\\Zelvaran_RQ47_PCI_Fax_Modem",
    kModemWaveKeyPath + "\\Zelvaran_RQ47_Voice_Modem",
    kModemWaveKeyPath + "\\Zelvaran_RQ47_Modem",
    kModemWaveKeyPath + "\\Zelvaran_RQ47_PCI_Speakerphone_Modem",
};
inline const std::string kOtherWave = kModemWaveKeyPath + "\\Other_Voice_Modem";

// The six files setup places, and the program folder it placed them from.
inline const std::vector<std::string> kPlacedFiles = {
    "C:\\WINDOWS\\SYSTEM\\zuninst.exe", "C:\\WINDOWS\\SYSTEM\\zelvcd.vxd",
    "C:\\WINDOWS\\SYSTEM\\rq47pci.vxd", "C:\\WINDOWS\\SYSTEM\\rq47pci1.vxd",
    "C:\\WINDOWS\\SYSTEM\\zca.cpl",     "C:\\WINDOWS\\HELP\\zca.hlp",
};
inline const std::string kSystemIniInstalled =
    "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vcd\r\ndevice = zelvcd.vxd\r\n"
    "device=*vpicd\r\n";
inline const std::string kSystemIniRemoved =
    "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vcd\r\n  device=*vpicd\r\n";

// "PNP ID" as Windows 95/98 keep the 42 bytes setup writes: the text and one NUL.
inline std::string PnpIdBytes(const std::string& id) { return id + '\0'; }

// The software key that a wave instance's "driver" value names.
inline std::string WaveSoftware(int n) {
  return kClassKeyPath + "\\MEDIA\\000" + std::to_string(n);
}

// Adds an instance to a MODEMWAVE key whose "driver" names MEDIA\000n.
inline void AddWaveInstance(TestMachine& m, const std::string& waveKey, const std::string& instance,
                            int n) {
  m.setString(waveKey + "\\" + instance, "driver", "MEDIA\\000" + std::to_string(n));
  m.setString(WaveSoftware(n), "DriverDesc", "Modem wave device");
}

// Registry keys of the installed modem (no MODEMWAVE keys) and what lies around them.
inline void InstallModemKeys(TestMachine& m) {
  m.setString(kVendorKeyPath, "Version", "3.02 Build 69");
  m.setBytes(kVendorKeyPath, "PNP ID", REG_SZ, PnpIdBytes(kModemId));
  m.setString(kVendorKeyPath, "Language", "English");
  m.setString(kVendorKeyPath, "PortName", "COM2");
  m.setString(kTempKeyPath, "Language", "English");

  m.setString(kModemInstance, "driver", "Modem\\0003");
  m.setString(kModemInstance, "PortName", "COM2");
  m.setString(kModemSoftware, "DriverDesc", "Zelvaran RQ47 PCI Modem");
  m.setString(kModemSoftware + "\\Init", "1", "AT<cr>");

  m.setString(kOtherDevice + "\\BUS_00&DEV_07&FUNC_00", "driver", "System\\0011");
  m.setString(kOtherDeviceSoftware, "DriverDesc", "PCI bridge");
  m.setString(kOtherSoftware, "DriverDesc", "Standard modem");
  m.setString(kOtherWave + "\\0000", "driver", "MEDIA\\0009");
  m.setString(kClassKeyPath + "\\MEDIA\\0009", "DriverDesc", "Other wave device");

  m.setString(kMediaResourceKeyPath, "Driver", "serwvdrv.drv");
  m.setString(kOtherMediaResource, "Driver", "mmdrv.dll");
  m.setString(kUninstallEntryKeyPath, "UninstallString", "zuninst.exe");
  m.setString(kOtherUninstallEntry, "UninstallString", "other.exe");
}

// The six files, the program folder's copies, an unrelated file and system.ini.
inline void InstallModemFiles(TestMachine& m) {
  for (const std::string& file : kPlacedFiles) m.writeFile(file, "placed " + file);
  for (const char* name : {"zuninst.exe", "zelvcd.vxd", "rq47pci.vxd", "rq47pci1.vxd", "zca.cpl",
                           "Domestic.hlp", "rq47.reg"}) {
    m.writeFile(std::string(kProgramFolderPath) + "\\" + name, std::string("kit ") + name);
  }
  m.writeFile("C:\\WINDOWS\\SYSTEM\\serwvdrv.drv", "wave driver");
  m.writeFile("C:\\WINDOWS\\HELP\\windows.hlp", "help");
  m.writeFile(kSystemIniPath, kSystemIniInstalled);
}

// The whole modem, wave device included.
inline void InstallModem(TestMachine& m) {
  InstallModemKeys(m);
  AddWaveInstance(m, kWaveKeys[0], "0000", 7);
  InstallModemFiles(m);
}

// Trace lines of one platform function whose line holds the text.
inline std::vector<std::string> CallsOf(winsim::Run& run, std::string_view function,
                                        std::string_view containing = {}) {
  return CallsOf(run.trace(), function, containing);
}

}  // namespace rq47test

#endif  // RQ47_TESTS_INSTALLED_MODEM_H
