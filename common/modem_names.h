// Names that both programs know: registry keys, the message box caption.
#ifndef RQ47_COMMON_MODEM_NAMES_H
#define RQ47_COMMON_MODEM_NAMES_H

// Caption of every message box but the upgrade's question and archive notice.
inline constexpr const char kModemCaption[] = "Zelvaran RQ47 Modem";

// Keys below HKEY_LOCAL_MACHINE.
// The modem's settings.
inline constexpr const char kVendorKey[] = "Software\\Zelvaran\\RQ31DFV";
// Where an earlier installation may keep the same settings.
inline constexpr const char kServiceKey[] = "System\\CurrentControlSet\\Services\\RQ31DFV";
// Carries the settings across the reboot of an upgrade.
inline constexpr const char kTempSettingsKey[] = "Software\\Zelvaran\\RQ31";
// The PCI devices; the modem's key is this followed by its device instance id.
inline constexpr const char kPciKeyPrefix[] = "Enum\\PCI\\";

#endif  // RQ47_COMMON_MODEM_NAMES_H
