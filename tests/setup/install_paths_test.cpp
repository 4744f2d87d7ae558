#include "install_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "setup_machine.h"

namespace {

using rq47set::GetProgramFolderPath;
using Path = rq47set::ProgramFolderPath;

class InstallPaths : public ::testing::Test {
 protected:
  void SetUp() override { machine.run(); }
  void InitInstallPaths() { rq47set::InitInstallPaths(context); }
  // Takes effect for the platform calls that follow.
  void setWindowsDirectory(const std::string& directory) {
    machine.config().windowsDirectory = directory;
  }

  rq47test::TestMachine machine;
  rq47set::SetupContext context = setuptest::StartedContext();
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
  InitInstallPaths();
  EXPECT_STREQ(context.windowsDirectory, "C:\\WINDOWS");
  EXPECT_STREQ(context.systemDirectory, "C:\\WINDOWS\\SYSTEM");
  EXPECT_STREQ(context.driveRoot, "C:\\");
}

TEST_F(InstallPaths, DirectoriesOfAnyLengthThePlatformReportsAreHeldWhole) {
  // Far beyond 19 and 39 characters, up to the longest path the platform has.
  const std::string windows = DirectoryOfLength(200);
  const std::string system = DirectoryOfLength(259);
  machine.config().windowsDirectory = windows;
  machine.config().systemDirectory = system;
  InitInstallPaths();
  EXPECT_EQ(std::string(context.windowsDirectory), windows);
  EXPECT_EQ(std::string(context.systemDirectory), system);
}

TEST_F(InstallPaths, AFailedDirectoryCallLeavesTheStringEmpty) {
  machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
  machine.run().addFault({"GetSystemDirectoryA", "", 0, 0});
  InitInstallPaths();
  EXPECT_STREQ(context.windowsDirectory, "");
  EXPECT_STREQ(context.systemDirectory, "");
}

TEST_F(InstallPaths, RefillingKeepsTheStringWhenTheCallFails) {
  InitInstallPaths();
  machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
  rq47set::RefreshWindowsDirectory(context);
  EXPECT_STREQ(context.windowsDirectory, "C:\\WINDOWS");
  machine.run().clearFaults();
  setWindowsDirectory("D:\\WIN98");
  rq47set::RefreshWindowsDirectory(context);
  EXPECT_STREQ(context.windowsDirectory, "D:\\WIN98");
}

TEST_F(InstallPaths, DrivesAToPHaveARootAndNoLaterDriveHasOne) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    context = setuptest::StartedContext();
    machine.run().currentDirectory = std::string(1, letter) + ":\\SETUP";
    int number = letter - 'A' + 1;
    SCOPED_TRACE(machine.run().currentDirectory);
    InitInstallPaths();
    if (number <= 16) {
      EXPECT_EQ(std::string(context.driveRoot), std::string(1, letter) + ":\\");
    } else {
      EXPECT_STREQ(context.driveRoot, "");
    }
  }
}

TEST_F(InstallPaths, ALowerCaseDriveLetterGivesTheUpperCaseRoot) {
  machine.run().currentDirectory = "p:\\setup";
  InitInstallPaths();
  EXPECT_STREQ(context.driveRoot, "P:\\");
}

TEST_F(InstallPaths, ACurrentDirectoryWithoutADriveLetterGivesNoRoot) {
  machine.run().currentDirectory = "\\\\SERVER\\SHARE\\SETUP";
  InitInstallPaths();
  EXPECT_STREQ(context.driveRoot, "");

  context = setuptest::StartedContext();
  machine.run().addFault({"GetCurrentDirectoryA", "", 0, 0});
  InitInstallPaths();
  EXPECT_STREQ(context.driveRoot, "");
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
  EXPECT_EQ(GetProgramFolderPath(destination, 260), Path::kFound);
  EXPECT_STREQ(destination, "C:\\WINDOWS\\Zelvaran\\ZelSet95");
}

TEST_F(ProgramFolderPath, ARootWindowsDirectoryGivesOneBackslash) {
  setWindowsDirectory("D:\\");
  EXPECT_EQ(GetProgramFolderPath(destination, 260), Path::kFound);
  EXPECT_STREQ(destination, "D:\\Zelvaran\\ZelSet95");
}

TEST_F(ProgramFolderPath, FitsExactlyAndNotOneByteLess) {
  const std::string expected = "C:\\WINDOWS\\Zelvaran\\ZelSet95";
  const int exact = static_cast<int>(expected.size() + 1);

  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, exact - 1), Path::kDoesNotFit);
  EXPECT_TRUE(untouched());

  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, exact), Path::kFound);
  EXPECT_EQ(std::string(destination), expected);
  EXPECT_EQ(destination[exact], '#');  // nothing written past the capacity

  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, 0), Path::kDoesNotFit);
  EXPECT_EQ(GetProgramFolderPath(destination, -5), Path::kDoesNotFit);
  EXPECT_TRUE(untouched());
}

TEST_F(ProgramFolderPath, NoDestinationIsCodeOne) {
  EXPECT_EQ(GetProgramFolderPath(nullptr, 260), Path::kNoDestination);
}

TEST_F(ProgramFolderPath, AWindowsDirectoryThatDoesNotFitIsCodeTwo) {
  setWindowsDirectory(DirectoryOfLength(260));
  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, sizeof destination), Path::kWindowsDirectoryTooLong);
  EXPECT_TRUE(untouched());
}

TEST_F(ProgramFolderPath, TheLongestWindowsDirectoryIsComposedWhole) {
  const std::string windows = DirectoryOfLength(259);
  setWindowsDirectory(windows);
  EXPECT_EQ(GetProgramFolderPath(destination, sizeof destination), Path::kFound);
  EXPECT_EQ(std::string(destination), windows + "\\Zelvaran\\ZelSet95");
  // The main sequence's 260 bytes do not hold it.
  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, 260), Path::kDoesNotFit);
  EXPECT_TRUE(untouched());
}

TEST_F(ProgramFolderPath, AnEmptyWindowsDirectoryIsCodeThree) {
  machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
  mark();
  EXPECT_EQ(GetProgramFolderPath(destination, 260), Path::kWindowsDirectoryEmpty);
  EXPECT_TRUE(untouched());
}

}  // namespace
