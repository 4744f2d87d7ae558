// GetVersionExA, GetSystemInfo and GlobalMemoryStatus report the configured machine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <limits>

#include "test_machine.h"

namespace {

using rq47test::TestMachine;

winsim::MachineConfig Windows95On486() {
  winsim::MachineConfig config;
  config.majorVersion = 4;
  config.minorVersion = 0;
  config.buildNumber = 950;
  config.processorType = PROCESSOR_INTEL_486;
  config.totalMemory = 8388608;
  return config;
}

TEST(SystemInfo, VersionComesFromTheMachine) {
  TestMachine machine;  // the default: Windows 98 SE
  machine.run();
  OSVERSIONINFOA info;
  std::memset(&info, 0x55, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
  EXPECT_EQ(info.dwMajorVersion, 4u);
  EXPECT_EQ(info.dwMinorVersion, 10u);
  // Windows 95/98 keep the version in the high word of the build number.
  EXPECT_EQ(info.dwBuildNumber & 0xFFFF, 2222u);
  EXPECT_EQ(info.dwBuildNumber >> 16, 0x040Au);
  EXPECT_STREQ(info.szCSDVersion, " A ");

  TestMachine old(Windows95On486());
  old.run();
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMinorVersion, 0u);
  EXPECT_EQ(info.dwBuildNumber, 0x040003B6u);
  EXPECT_STREQ(info.szCSDVersion, "");

  winsim::MachineConfig nt;
  nt.platform = VER_PLATFORM_WIN32_NT;
  nt.buildNumber = 1381;
  TestMachine ntMachine(nt);
  ntMachine.run();
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(info.dwBuildNumber, 1381u);
}

TEST(SystemInfo, VersionNeedsTheRecordSizeAndCanBeMadeToFail) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  OSVERSIONINFOA info{};
  for (DWORD size : {0u, 20u, static_cast<DWORD>(sizeof info) + 4}) {
    info.dwOSVersionInfoSize = size;
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(info.dwPlatformId, 0u);  // nothing filled
  }
  run.addFault({"GetVersionExA", "", 0, 0});
  info.dwOSVersionInfoSize = sizeof info;
  EXPECT_FALSE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, 0u);
  ASSERT_FALSE(run.trace().empty());
  EXPECT_EQ(run.trace().back().rfind("GetVersionExA({size 148}) = FALSE", 0), 0u)
      << run.trace().back();
}

TEST(SystemInfo, ProcessorAndMemoryComeFromTheMachine) {
  TestMachine machine(Windows95On486());
  winsim::Run& run = machine.run();
  SYSTEM_INFO system;
  std::memset(&system, 0x55, sizeof system);
  GetSystemInfo(&system);
  EXPECT_EQ(system.dwProcessorType, static_cast<DWORD>(PROCESSOR_INTEL_486));
  EXPECT_EQ(system.dwNumberOfProcessors, 1u);
  EXPECT_EQ(system.dwActiveProcessorMask, 1u);
  EXPECT_EQ(system.dwPageSize, 4096u);
  EXPECT_EQ(system.wProcessorArchitecture, 0u);  // Intel
  EXPECT_LT(system.lpMinimumApplicationAddress, system.lpMaximumApplicationAddress);

  MEMORYSTATUS memory;
  std::memset(&memory, 0x55, sizeof memory);
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  EXPECT_EQ(memory.dwLength, sizeof(MEMORYSTATUS));
  EXPECT_EQ(memory.dwTotalPhys, 8388608u);
  EXPECT_LE(memory.dwAvailPhys, memory.dwTotalPhys);
  EXPECT_LE(memory.dwAvailPageFile, memory.dwTotalPageFile);
  EXPECT_LE(memory.dwAvailVirtual, memory.dwTotalVirtual);
  EXPECT_LE(memory.dwMemoryLoad, 100u);

  // Both are traced; a fault rule cannot make them fail.
  run.addFault({"GlobalMemoryStatus", "", 0, 0});
  memory.dwTotalPhys = 0;
  GlobalMemoryStatus(&memory);
  EXPECT_EQ(memory.dwTotalPhys, 8388608u);
  size_t traced = 0;
  for (const std::string& line : run.trace()) {
    if (line.rfind("GetSystemInfo(", 0) == 0 || line.rfind("GlobalMemoryStatus(", 0) == 0) ++traced;
  }
  EXPECT_EQ(traced, 3u);
}

TEST(SystemInfo, MemoryBeyondWhatTheRecordHoldsIsClamped) {
  winsim::MachineConfig config;
  config.totalMemory = UINT64_MAX;
  TestMachine machine(config);
  machine.run();
  MEMORYSTATUS memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  EXPECT_EQ(memory.dwTotalPhys, std::numeric_limits<SIZE_T>::max());
  EXPECT_LE(memory.dwAvailPhys, memory.dwTotalPhys);
  EXPECT_GT(memory.dwAvailPhys, 0u);
}

}  // namespace
