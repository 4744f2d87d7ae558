#include "ports.h"

#include <windows.h>

#include "first_subkey.h"
#include "modem_names.h"
#include "modem_settings.h"
#include "subkey_walk.h"
#include "text_buffer.h"
#include "unique_handle.h"
#include "unique_hkey.h"

namespace rq47set {
namespace {

// The modem takes the first of these that no other device answers to.
constexpr const char* kCandidatePorts[] = {"COM2", "COM4", "COM3"};

constexpr const SettingEntry& kPortName = EntryOf(Setting::kPortName);

// A port that opens belongs to a device already; the first candidate that does
// not open (absent, or held by another program) becomes the modem's port name.
void ProbePortName(SetupContext& context) {
  for (const char* candidate : kCandidatePorts) {
    UniqueHandle port(CreateFileA(candidate, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!port) {
      static_cast<void>(CopyText(context.portName, candidate));  // "COMn" fits
      return;
    }
  }
}

// A PortName already in the vendor key (carried over from an earlier
// installation) wins over the probe. One that is missing, empty or does not
// fit the port name is no usable name: the probed name replaces it there.
// False when the value could not be read: it may be the user's port, so it
// stays, and the port is not known.
bool TakeVendorPortName(HKEY vendorKey, SetupContext& context) {
  char stored[kPortName.vendorReadBytes + 1] = {};
  LONG status = ReadSetting(vendorKey, kPortName, kPortName.vendorReadBytes, stored);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != ERROR_MORE_DATA) {
    return false;
  }
  bool usable = status == ERROR_SUCCESS && stored[0] != '\0' && CopyText(context.portName, stored);
  if (!usable) {
    NotLookedAt(WriteSetting(vendorKey, kPortName, kPortName.installedBytes, context.portName));
  }
  return true;
}

// The device's first instance key, opened to read and write PortName.
bool OpenModemsFirstInstance(const SetupContext& context, UniqueHkey& instanceKey) {
  UniqueHkey deviceKey;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, context.device.keyPath, 0, KEY_READ, deviceKey.put()) ==
             ERROR_SUCCESS &&
         OpenFirstInstance(deviceKey.get(), KEY_READ | KEY_SET_VALUE, instanceKey);
}

}  // namespace

void AssignPortName(SetupContext& context) {
  UniqueHkey firstInstanceKey;
  if (!OpenModemsFirstInstance(context, firstInstanceKey)) return;

  ProbePortName(context);
  if (context.portName[0] == '\0') return;

  {
    // Until the vendor key's PortName can be read the modem's port is not
    // known: the probed name may not be it, so no instance is given it, and
    // the first instance keeps its port too.
    UniqueHkey vendorKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      vendorKey.put()) != ERROR_SUCCESS ||
        !TakeVendorPortName(vendorKey.get(), context)) {
      context.portName[0] = '\0';
      return;
    }
  }
  NotLookedAt(
      WriteSetting(firstInstanceKey.get(), kPortName, kPortName.installedBytes, context.portName));
}

void FillMissingPortNames(SetupContext& context) {
  // Without a chosen name there is nothing to give: an empty PortName names no port.
  if (context.portName[0] == '\0') return;

  char instanceName[80];
  WalkSubkeysFromLast(
      context.device.keyPath, instanceName, [&context](HKEY deviceKey, const char* name) {
        UniqueHkey instanceKey;
        // An instance that does not open is passed over; the others still get their name.
        if (RegOpenKeyExA(deviceKey, name, 0, KEY_READ | KEY_SET_VALUE, instanceKey.put()) ==
            ERROR_SUCCESS) {
          // An instance that has a PortName keeps it, even one that names
          // another port; so does one whose PortName the registry fails to
          // read. Only a missing, too long or empty one, which names no
          // port, is replaced.
          char present[kPortName.installedBytes + 1];
          LONG status =
              ReadSetting(instanceKey.get(), kPortName, kPortName.installedBytes, present);
          if (status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA ||
              (status == ERROR_SUCCESS && present[0] == '\0')) {
            NotLookedAt(WriteSetting(instanceKey.get(), kPortName, kPortName.installedBytes,
                                     context.portName));
          }
        }
        return false;
      });
}

}  // namespace rq47set
