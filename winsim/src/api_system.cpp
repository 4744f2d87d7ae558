// System information: the version, processor and memory of the simulated machine.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "api_call.h"

using winsim::detail::Args;
using winsim::detail::Call;
using winsim::detail::Hex;

namespace {

constexpr uint64_t kPageSize = 4096;
// The user part of the address space of a Windows 95/98 process (4 MB to 2 GB).
constexpr uint64_t kMinimumApplicationAddress = 0x00400000;
constexpr uint64_t kMaximumApplicationAddress = 0x7FFFFFFF;

SIZE_T ClampToSize(uint64_t value) {
  constexpr uint64_t kMax = std::numeric_limits<SIZE_T>::max();
  return static_cast<SIZE_T>(value > kMax ? kMax : value);
}

std::string PointerText(const void* pointer) {
  return pointer == nullptr ? "NULL" : Hex(reinterpret_cast<uintptr_t>(pointer));
}

}  // namespace

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  std::string size =
      lpVersionInformation == nullptr
          ? "NULL"
          : "{size " + std::to_string(lpVersionInformation->dwOSVersionInfoSize) + "}";
  Call call("GetVersionExA", size, ERROR_INVALID_PARAMETER);
  if (call.fault) return call.boolean(false, *call.fault);
  if (lpVersionInformation == nullptr) return call.boolean(false, ERROR_INVALID_PARAMETER);
  if (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    return call.boolean(false, ERROR_INSUFFICIENT_BUFFER);
  }
  const winsim::MachineConfig& config = call.run().machine().config;
  OSVERSIONINFOA& info = *lpVersionInformation;
  info.dwMajorVersion = config.majorVersion;
  info.dwMinorVersion = config.minorVersion;
  info.dwPlatformId = config.platform;
  // Windows 95/98 put the version in the high word of the build number
  // (98 SE: 0x040A08AE); NT gives the build number alone.
  info.dwBuildNumber = config.buildNumber & 0xFFFF;
  if (config.platform == VER_PLATFORM_WIN32_WINDOWS) {
    info.dwBuildNumber |=
        ((config.majorVersion & 0xFF) << 24) | ((config.minorVersion & 0xFF) << 16);
  }
  std::memset(info.szCSDVersion, 0, sizeof info.szCSDVersion);
  // Second Edition names itself " A " in the service pack text.
  if (config.platform == VER_PLATFORM_WIN32_WINDOWS && config.majorVersion == 4 &&
      config.minorVersion == 10 && config.buildNumber == 2222) {
    std::memcpy(info.szCSDVersion, " A ", 3);
  }
  call.note("platform " + std::to_string(info.dwPlatformId) + ", version " +
            std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
            std::to_string(config.buildNumber & 0xFFFF));
  return call.boolean(true);
}

extern "C" void WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  // Cannot fail: a fault rule for it is noted in the trace and has no effect.
  Call call("GetSystemInfo", PointerText(lpSystemInfo), 0);
  if (lpSystemInfo == nullptr) {
    call.result(0, "(nothing filled: NULL)");
    return;
  }
  const winsim::MachineConfig& config = call.run().machine().config;
  SYSTEM_INFO& info = *lpSystemInfo;
  std::memset(&info, 0, sizeof info);  // architecture 0: Intel
  info.dwPageSize = static_cast<DWORD>(kPageSize);
  info.lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(kMinimumApplicationAddress);
  info.lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(kMaximumApplicationAddress);
  info.dwActiveProcessorMask = 1;
  info.dwNumberOfProcessors = 1;
  info.dwProcessorType = config.processorType;
  info.dwAllocationGranularity = 65536;
  // Windows 95/98 leave the level and revision zero.
  call.result(0, "{processor type " + std::to_string(info.dwProcessorType) + ", 1 processor}");
}

extern "C" void WINAPI GlobalMemoryStatus(LPMEMORYSTATUS lpBuffer) {
  Call call("GlobalMemoryStatus", PointerText(lpBuffer), 0);
  if (lpBuffer == nullptr) {
    call.result(0, "(nothing filled: NULL)");
    return;
  }
  const uint64_t total = call.run().machine().config.totalMemory;
  MEMORYSTATUS& status = *lpBuffer;
  std::memset(&status, 0, sizeof status);
  status.dwLength = sizeof(MEMORYSTATUS);
  // A machine at rest: about a third of its memory in use, a swap file twice
  // its size, and the 2 GB user address space mostly free.
  status.dwMemoryLoad = 35;
  status.dwTotalPhys = ClampToSize(total);
  status.dwAvailPhys = ClampToSize(total - total / 100 * 35);
  status.dwTotalPageFile = ClampToSize(total > UINT64_MAX / 2 ? UINT64_MAX : total * 2);
  status.dwAvailPageFile = ClampToSize(total > UINT64_MAX / 2 ? UINT64_MAX : total * 2 - total / 4);
  status.dwTotalVirtual = ClampToSize(kMaximumApplicationAddress + 1 - kMinimumApplicationAddress);
  status.dwAvailVirtual =
      ClampToSize(kMaximumApplicationAddress + 1 - kMinimumApplicationAddress - 16 * 1024 * 1024);
  call.result(0, "{total physical " + std::to_string(status.dwTotalPhys) + " bytes}");
}
