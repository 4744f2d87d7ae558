#include "requirements.h"

#include "modem_names.h"
#include "registry_values.h"
#include "setup_state.h"
#include "unique_hkey.h"

namespace rq47set {
namespace {

constexpr int kRequirementsMet = 0;
constexpr int kRequirementNotMet = 100;
constexpr SIZE_T kMinimumMemoryBytes = 8000;  // bytes, not kilobytes
constexpr bool kIs64BitBuild = sizeof(void*) == 8;

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record has its Win32 size");
static_assert(kIs64BitBuild || sizeof(MEMORYSTATUS) == 32,
              "the memory record has its Win32 size in the 32-bit build");

int Refuse(const char* message) {
  MessageBoxA(nullptr, message, kModemCaption, MB_OK);
  return kRequirementNotMet;
}

// Which member of the family runs, as the vendor key records it.
void RecordOperatingSystem(const OSVERSIONINFOA& version) {
  const char* name = version.dwMinorVersion == 0 ? "Windows95" : "Windows98";
  UniqueHkey vendorKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    vendorKey.put()) != ERROR_SUCCESS) {
    return;
  }
  WriteFixedString(vendorKey.get(), "Operating System", name, kOperatingSystemBytes);
}

}  // namespace

bool IsPentiumClass(DWORD processorType, bool is64BitBuild) {
  if (processorType == PROCESSOR_INTEL_PENTIUM) return true;
  return is64BitBuild && processorType == PROCESSOR_AMD_X8664;
}

int CheckSystemRequirements() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);

  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32s: return Refuse("OS is Windows 3.1. Setup will now abort");
    case VER_PLATFORM_WIN32_NT: return Refuse("OS is Windows NT. Setup will now abort");
    case VER_PLATFORM_WIN32_WINDOWS: break;
    default: return Refuse("No Valid Operating System found");
  }

  // Recorded before the major version is looked at, so a refused version is recorded too.
  RecordOperatingSystem(version);
  if (version.dwMajorVersion != 4) {
    return Refuse("Unable to determine Windows version! Setup will now abort");
  }

  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  switch (system.dwProcessorType) {
    case PROCESSOR_INTEL_386:
      return Refuse("386 Processor found.Wrong Processor! Setup will now abort");
    case PROCESSOR_INTEL_486:
      return Refuse("486 Processor found. Wrong Processor! Setup will now abort");
    default:
      if (!IsPentiumClass(system.dwProcessorType, kIs64BitBuild)) {
        return Refuse("No Valid Processor was found! Setup will now abort");
      }
  }

  MEMORYSTATUS memory = {};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  if (memory.dwTotalPhys < kMinimumMemoryBytes) {
    return Refuse("There is not enough memory on you're system. Setup will now abort");
  }
  return kRequirementsMet;
}

}  // namespace rq47set
