#include "install_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "setup_machine.h"
#include "setup_state.h"

namespace {

using rq47set::g_setup;
using rq47set::GetProgramFolderPath;
using rq47set::InitInstallPaths;

class InstallPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    rq47set::ResetSetupState();
    machine.run();
  }
  // Takes effect for the platform calls that follow.
  void setWindowsDirectory(const std::string& directory) {
    machine.config().windowsDirectory = directory;
  }

  rq47test::TestMachine machine;
};

// "C:\" followed by folders of 50 letters up to exactly `length` characters.
std::string DirectoryOfLength(size_t length) {
  std::string directory = "C:";
  while (directory.size() < length) {
    directory += '\\';
    directory += std::string(std::min<size_t>(50, length - directory.size()), 'D');
  }
  return directory.substr(0, length);
}

TEST_F(InstallPaths, FillsTheDirectoriesAndTheRootOfTheCurrentDrive) {
  machine.run().currentDirectory = "C:\\WINDOWS\\Zelvaran\\ZelSet95";
  EXPECT_EQ(InitInstallPaths(), 3);
  EXPECT_STREQ(g_setup.windowsDirectory, "C:\\WINDOWS");
  EXPECT_STREQ(g_setup.systemDirectory, "C:\\WINDOWS\\SYSTEM");
  EXPECT_STREQ(g_setup.driveRoot, "C:\\");
}

TEST_F(InstallPaths, DirectoriesOfAnyLengthThePlatformReportsAreHeldWhole) {
  // Far beyond 19 and 39 characters, up to the longest path the platform has.
  const std::string windows = DirectoryOfLength(200);
  const std::string system = DirectoryOfLength(259);
  machine.config().windowsDirectory = windows;
  machine.config().systemDirectory = system;
  InitInstallPaths();
  EXPECT_EQ(std::string(g_setup.windowsDirectory), windows);
  EXPECT_EQ(std::string(g_setup.systemDirectory), system);
}

TEST_F(InstallPaths, AFailedDirectoryCallLeavesTheStringEmpty) {
  machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
  machine.run().addFault({"GetSystemDirectoryA", "", 0, 0});
  InitInstallPaths();
  EXPECT_STREQ(g_setup.windowsDirectory, "");
  EXPECT_STREQ(g_setup.systemDirectory, "");
}

TEST_F(InstallPaths, RefillingKeepsTheStringWhenTheCallFails) {
  InitInstallPaths();
  machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
  EXPECT_FALSE(rq47set::RefreshWindowsDirectory());
  EXPECT_STREQ(g_setup.windowsDirectory, "C:\\WINDOWS");
  machine.run().clearFaults();
  setWindowsDirectory("D:\\WIN98");
  EXPECT_TRUE(rq47set::RefreshWindowsDirectory());
  EXPECT_STREQ(g_setup.windowsDirectory, "D:\\WIN98");
}

TEST_F(InstallPaths, DrivesAToPHaveARootAndNoLaterDriveHasOne) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    rq47set::ResetSetupState();
    machine.run().currentDirectory = std::string(1, letter) + ":\\SETUP";
    int number = letter - 'A' + 1;
    SCOPED_TRACE(machine.run().currentDirectory);
    EXPECT_EQ(InitInstallPaths(), number);
    if (number <= 16) {
      EXPECT_EQ(std::string(g_setup.driveRoot), std::string(1, letter) + ":\\");
    } else {
      EXPECT_STREQ(g_setup.driveRoot, "");
    }
  }
}

TEST_F(InstallPaths, ALowerCaseDriveLetterGivesTheUpperCaseRoot) {
  machine.run().currentDirectory = "p:\\setup";
  EXPECT_EQ(InitInstallPaths(), 16);
  EXPECT_STREQ(g_setup.driveRoot, "P:\\");
}

TEST_F(InstallPaths, ACurrentDirectoryWithoutADriveLetterGivesNoRoot) {
  machine.run().currentDirectory = "\\\\SERVER\\SHARE\\SETUP";
  EXPECT_EQ(InitInstallPaths(), 0);
  EXPECT_STREQ(g_setup.driveRoot, "");

  rq47set::ResetSetupState();
  machine.run().addFault({"GetCurrentDirectoryA", "", 0, 0});
  EXPECT_EQ(InitInstallPaths(), 0);
  EXPECT_STREQ(g_setup.driveRoot, "");
}

class ProgramFolderPath : public InstallPaths {
 protected:
  // Fills the destination with a mark, to see whether it was touched.
  void mark() { std::memset(destination, '#', sizeof destination); }
  bool untouched() const {
    for (char c : destination) {
      if (c != '#') return false;
    }
    return true;
  }
  char destination[400];
};

TEST_F(ProgramFolderPath, FollowsTheWindowsDirectory) {
  EXPECT_EQ(GetProgramFolderPath(destination, 260), 0);
  EXPECT_STREQ(destination, "C:\\WINDOWS\\Zelvaran\\ZelSet95");
}

TEST_F(ProgramFolderPath, ARootWindowsDirectoryGivesOneBackslash) {
  setWindowsDirectory("D:\\");
  EXPECT_EQ(GetProgramFolderPath(destination, 260), 0);
  EXPECT_STREQ(destination, "D:\\Zelvaran\\ZelSet95");
}

TEST_F(ProgramFolderPath, FitsExactlyAndNotOneByteLess) {
  const std::string expected = "C:\\WINDOWS\\Zelvaran\\ZelSet95";
  const int exact = static_cast<int>(expected.size() + 1);

  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, exact - 1), 4);
  EXPECT_TRUE(untouched());

  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, exact), 0);
  EXPECT_EQ(std::string(destination), expected);
  EXPECT_EQ(destination[exact], '#');  // nothing written past the capacity

  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, 0), 4);
  EXPECT_EQ(GetProgramFolderPath(destination, -5), 4);
  EXPECT_TRUE(untouched());
}

TEST_F(ProgramFolderPath, NoDestinationIsCodeOne) {
  EXPECT_EQ(GetProgramFolderPath(nullptr, 260), 1);
}

TEST_F(ProgramFolderPath, AWindowsDirectoryThatDoesNotFitIsCodeTwo) {
  setWindowsDirectory(DirectoryOfLength(260));
  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, sizeof destination), 2);
  EXPECT_TRUE(untouched());
}

TEST_F(ProgramFolderPath, TheLongestWindowsDirectoryIsComposedWhole) {
  const std::string windows = DirectoryOfLength(259);
  setWindowsDirectory(windows);
  EXPECT_EQ(GetProgramFolderPath(destination, sizeof destination), 0);
  EXPECT_EQ(std::string(destination), windows + "\\Zelvaran\\ZelSet95");
  // The main sequence's 260 bytes do not hold it.
  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, 260), 4);
  EXPECT_TRUE(untouched());
}

TEST_F(ProgramFolderPath, AnEmptyWindowsDirectoryIsCodeThree) {
  machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, 260), 3);
  EXPECT_TRUE(untouched());
}

}  // namespace
