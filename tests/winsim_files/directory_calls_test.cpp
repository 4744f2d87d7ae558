// The directory calls: the Windows, System and current directories, changing
// the current directory and making folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "test_machine.h"

namespace {

namespace fs = std::filesystem;
using rq47test::TestMachine;

winsim::MachineConfig Config(const std::string& windows, const std::string& system) {
  winsim::MachineConfig config;
  config.windowsDirectory = windows;
  config.systemDirectory = system;
  config.currentDirectory = windows;
  return config;
}

// Calls a directory query with buffers of every size around the directory's
// length: it fits only with its terminator, and a buffer too small is left alone.
template <class Query>
void CheckQuery(Query query, const std::string& directory) {
  const DWORD length = static_cast<DWORD>(directory.size());
  for (DWORD size = 0; size <= length + 2; ++size) {
    char buffer[MAX_PATH + 8];
    std::memset(buffer, '#', sizeof buffer);
    DWORD result = query(size, buffer);
    if (size >= length + 1) {
      EXPECT_EQ(result, length) << "buffer of " << size;
      EXPECT_STREQ(buffer, directory.c_str()) << "buffer of " << size;
    } else {
      EXPECT_EQ(result, length + 1) << "buffer of " << size;
      EXPECT_EQ(buffer[0], '#') << "buffer of " << size << " was written";
    }
  }
  EXPECT_EQ(query(0, nullptr), length + 1);
}

TEST(DirectoryQueries, GiveTheMachinesDirectoriesOnlyWhenTheyFit) {
  TestMachine machine(Config("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"));
  machine.run();
  CheckQuery([](DWORD size, char* buffer) { return GetWindowsDirectoryA(buffer, size); },
             "C:\\WINDOWS");
  CheckQuery([](DWORD size, char* buffer) { return GetSystemDirectoryA(buffer, size); },
             "C:\\WINDOWS\\SYSTEM");
  CheckQuery([](DWORD size, char* buffer) { return GetCurrentDirectoryA(size, buffer); },
             "C:\\WINDOWS");
}

TEST(DirectoryQueries, ATwentyCharacterDirectoryDoesNotFitTwentyBytes) {
  const std::string windows = "C:\\WINDOWS.LONGNAME";  // 19 characters
  TestMachine machine(Config(windows + "X", windows + "X\\SYSTEM"));
  machine.run();
  char buffer[20];
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 21u);
  EXPECT_EQ(buffer[0], '\0');
  machine.config().windowsDirectory = windows;
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 19u);
  EXPECT_EQ(std::string(buffer), windows);
}

TEST(DirectoryQueries, AnInjectedFaultReturnsZero) {
  TestMachine machine;
  machine.run().addFault({"GetSystemDirectoryA", "", 0, 0});
  char buffer[MAX_PATH] = "untouched";
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 10u);
}

TEST(CurrentDirectory, ChangesOnlyToAnExistingFolder) {
  TestMachine machine;
  machine.makeDirectory("C:\\Program Files\\ZelSet95");
  machine.writeFile("C:\\WINDOWS\\system.ini", "");
  winsim::Run& run = machine.run();

  EXPECT_TRUE(SetCurrentDirectoryA("c:\\progra~1\\zelset95"));
  EXPECT_EQ(run.currentDirectory, "C:\\Program Files\\ZelSet95");
  EXPECT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_EQ(run.currentDirectory, "C:\\Program Files");

  for (const char* bad :
       {"C:\\NoSuchFolder", "C:\\NoSuch\\Folder", "C:\\WINDOWS\\system.ini", "E:\\"}) {
    EXPECT_FALSE(SetCurrentDirectoryA(bad)) << bad;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << bad;
    EXPECT_EQ(run.currentDirectory, "C:\\Program Files") << bad;
  }
  EXPECT_TRUE(SetCurrentDirectoryA("\\"));
  char buffer[MAX_PATH];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);
  EXPECT_STREQ(buffer, "C:\\");
}

TEST(CreateDirectory, MakesOneLevel) {
  TestMachine machine;
  machine.writeFile("C:\\WINDOWS\\system.ini", "");
  machine.run();

  EXPECT_TRUE(CreateDirectoryA("C:\\WINDOWS\\Zelvaran", nullptr));
  EXPECT_TRUE(fs::is_directory(machine.hostPath("C:\\WINDOWS\\Zelvaran")));
  EXPECT_TRUE(CreateDirectoryA("c:/windows/zelvaran/zelbak95/", nullptr));
  EXPECT_TRUE(fs::is_directory(machine.hostPath("C:\\WINDOWS\\Zelvaran\\zelbak95")));

  struct Case {
    const char* path;
    DWORD error;
  };
  const Case refused[] = {
      {"C:\\WINDOWS\\ZELVARAN", ERROR_ALREADY_EXISTS},
      {"C:\\WINDOWS\\system.ini", ERROR_ALREADY_EXISTS},
      {"C:\\WINDOWS\\Missing\\Child", ERROR_PATH_NOT_FOUND},
      {"C:\\WINDOWS\\bad|name", ERROR_INVALID_NAME},
  };
  for (const Case& c : refused) {
    EXPECT_FALSE(CreateDirectoryA(c.path, nullptr)) << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }
  EXPECT_FALSE(machine.exists("C:\\WINDOWS\\Missing"));
  // The existing folder kept its spelling and no second one appeared.
  size_t folders = 0;
  for (const auto& entry : fs::directory_iterator(machine.hostPath("C:\\WINDOWS"))) {
    if (winsim::NamesEqual(entry.path().filename().string(), "zelvaran")) ++folders;
  }
  EXPECT_EQ(folders, 1u);
}

}  // namespace
