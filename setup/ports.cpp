#include "ports.h"

#include <windows.h>

#include "modem_names.h"
#include "registry_values.h"
#include "setup_state.h"
#include "text_buffer.h"
#include "unique_handle.h"
#include "unique_hkey.h"

namespace rq47set {
namespace {

constexpr int kPortAssigned = 0;
constexpr int kNoPortFree = 1;
constexpr int kRegistryFailed = 100;

// The modem takes the first of these that no other device answers to.
constexpr const char* kCandidatePorts[] = {"COM2", "COM4", "COM3"};

constexpr char kPortNameValue[] = "PortName";
// The vendor key's PortName is read with room for older, wider values.
constexpr DWORD kVendorPortNameCapacity = 42;

// A port that opens belongs to a device already; the first candidate that does
// not open (absent, or held by another program) becomes the modem's port name.
void ProbePortName() {
  for (const char* candidate : kCandidatePorts) {
    UniqueHandle port(CreateFileA(candidate, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!port) {
      CopyText(g_setup.portName, candidate);
      return;
    }
  }
}

// A PortName already in the vendor key (carried over from an earlier
// installation) wins over the probe. One that is missing, empty or does not
// fit the port name is no usable name: the probed name replaces it there.
// False when the value could not be read: it may be the user's port, so it
// stays, and the port is not known.
bool TakeVendorPortName(HKEY vendorKey) {
  char stored[kVendorPortNameCapacity + 1] = {};
  LONG status = ReadFixedString(vendorKey, kPortNameValue, stored, kVendorPortNameCapacity);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != ERROR_MORE_DATA) {
    return false;
  }
  bool usable = status == ERROR_SUCCESS && stored[0] != '\0' && CopyText(g_setup.portName, stored);
  if (!usable) WriteFixedString(vendorKey, kPortNameValue, g_setup.portName, kPortNameBytes);
  return true;
}

}  // namespace

int AssignPortName() {
  UniqueHkey deviceKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_setup.deviceKeyPath, 0, KEY_READ, deviceKey.put()) !=
      ERROR_SUCCESS) {
    return kRegistryFailed;
  }
  char firstInstanceName[40];
  DWORD nameLength = sizeof firstInstanceName;
  if (RegEnumKeyExA(deviceKey.get(), 0, firstInstanceName, &nameLength, nullptr, nullptr, nullptr,
                    nullptr) != ERROR_SUCCESS) {
    return kRegistryFailed;
  }
  UniqueHkey firstInstanceKey;
  if (RegOpenKeyExA(deviceKey.get(), firstInstanceName, 0, KEY_READ | KEY_SET_VALUE,
                    firstInstanceKey.put()) != ERROR_SUCCESS) {
    return kRegistryFailed;
  }

  ProbePortName();
  if (g_setup.portName[0] == '\0') return kNoPortFree;

  {
    UniqueHkey vendorKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      vendorKey.put()) != ERROR_SUCCESS) {
      return kRegistryFailed;
    }
    // The first instance keeps its port too until the vendor key's can be read.
    if (!TakeVendorPortName(vendorKey.get())) return kRegistryFailed;
  }

  LONG written =
      WriteFixedString(firstInstanceKey.get(), kPortNameValue, g_setup.portName, kPortNameBytes);
  return written == ERROR_SUCCESS ? kPortAssigned : kRegistryFailed;
}

void FillMissingPortNames() {
  // Without a chosen name there is nothing to give: an empty PortName names no port.
  if (g_setup.portName[0] == '\0') return;

  UniqueHkey deviceKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_setup.deviceKeyPath, 0, KEY_READ, deviceKey.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  DWORD instanceCount = 0;
  if (RegQueryInfoKeyA(deviceKey.get(), nullptr, nullptr, nullptr, &instanceCount, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }

  for (DWORD index = instanceCount; index-- > 0;) {
    DWORD nameLength = sizeof g_setup.keyName;
    LONG enumerated = RegEnumKeyExA(deviceKey.get(), index, g_setup.keyName, &nameLength, nullptr,
                                    nullptr, nullptr, nullptr);
    if (enumerated == ERROR_NO_MORE_ITEMS) break;
    if (enumerated != ERROR_SUCCESS) continue;

    UniqueHkey instanceKey;
    if (RegOpenKeyExA(deviceKey.get(), g_setup.keyName, 0, KEY_READ | KEY_SET_VALUE,
                      instanceKey.put()) != ERROR_SUCCESS) {
      continue;  // the other instances still get their name
    }
    // An instance that has a PortName keeps it, even one that names another port.
    if (ReadFixedString(instanceKey.get(), kPortNameValue, g_setup.settings.portName,
                        kPortNameBytes) != ERROR_SUCCESS) {
      WriteFixedString(instanceKey.get(), kPortNameValue, g_setup.portName, kPortNameBytes);
    }
  }
}

}  // namespace rq47set
