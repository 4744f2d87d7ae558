#include "requirements.h"

#include "modem_names.h"
#include "modem_settings.h"
#include "unique_hkey.h"

namespace rq47set {
namespace {

constexpr SIZE_T kMinimumMemoryBytes = 8000;  // bytes, not kilobytes
// The names of the family members, as the vendor key records them.
constexpr char kWindows95[] = "Windows95";
constexpr char kWindows98[] = "Windows98";
static_assert(sizeof kWindows95 == sizeof kWindows98, "either name fills the same field");
constexpr bool kIs64BitBuild = sizeof(void*) == 8;

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record has its Win32 size");
static_assert(kIs64BitBuild || sizeof(MEMORYSTATUS) == 32,
              "the memory record has its Win32 size in the 32-bit build");

Requirements Refuse(const char* message) {
  MessageBoxA(nullptr, message, kModemCaption, MB_OK);
  return Requirements::kNotMet;
}

// Which member of the family runs, as the vendor key records it.
void RecordOperatingSystem(const OSVERSIONINFOA& version) {
  const char* name = version.dwMinorVersion == 0 ? kWindows95 : kWindows98;
  UniqueHkey vendorKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    vendorKey.put()) != ERROR_SUCCESS) {
    return;
  }
  NotLookedAt(WriteSetting(vendorKey.get(), kOperatingSystemValue,
                           kOperatingSystemValue.installedBytes, name, sizeof kWindows95));
}

}  // namespace

bool IsPentiumClass(DWORD processorType, bool is64BitBuild) {
  if (processorType == PROCESSOR_INTEL_PENTIUM) return true;
  return is64BitBuild && processorType == PROCESSOR_AMD_X8664;
}

Requirements CheckSystemRequirements() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  // The family member is told by the major and minor version alone: on
  // Windows 95/98 only the low word of dwBuildNumber is the build, the high
  // word repeats the version, so the build number is not looked at.

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
  return Requirements::kMet;
}

}  // namespace rq47set
