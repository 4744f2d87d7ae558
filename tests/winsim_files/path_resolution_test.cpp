// Windows paths resolved on the machine's drives: case, aliases, the current
// directory, and that no path leads out of the machine folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "test_machine.h"
#include "winsim/filesystem.h"

namespace {

namespace fs = std::filesystem;
using rq47test::TempDir;
using rq47test::TestMachine;

class PathResolution : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.writeFile("C:\\WINDOWS\\system.ini", "[386Enh]\r\n");
    machine_.makeDirectory("C:\\Program Files\\ZelSet95");
    machine_.writeFile("C:\\WINDOWS\\INF\\OTHER\\Zelvaran IncZQRTMODM.inf", "modem");
    machine_.writeFile("C:\\WINDOWS\\INF\\OTHER\\ZelvaranSERWAVE.inf", "wave");
  }

  winsim::PathResult Resolve(const std::string& path, const std::string& current = "C:\\WINDOWS") {
    return winsim::ResolvePath(machine_.machine(), current, path);
  }

  fs::path Drive() { return machine_.machine().driveFolder('C'); }

  TestMachine machine_;
};

TEST_F(PathResolution, NamesMatchWithoutRegardToCase) {
  winsim::PathResult result = Resolve("c:/windows/SYSTEM.INI");
  ASSERT_TRUE(result.path) << result.error;
  EXPECT_TRUE(result.path->exists);
  EXPECT_FALSE(result.path->isDirectory);
  EXPECT_EQ(result.path->host, Drive() / "WINDOWS" / "system.ini");
  EXPECT_EQ(result.path->windowsPath, "C:\\WINDOWS\\system.ini");

  // A name that is not there keeps the spelling it was given, for creation.
  result = Resolve("C:\\windows\\New File.TXT");
  ASSERT_TRUE(result.path);
  EXPECT_FALSE(result.path->exists);
  EXPECT_EQ(result.path->host, Drive() / "WINDOWS" / "New File.TXT");
}

TEST_F(PathResolution, ShortAliasesReachLongNames) {
  winsim::PathResult kit = Resolve("C:\\Progra~1\\Zelset95");
  ASSERT_TRUE(kit.path) << kit.error;
  EXPECT_TRUE(kit.path->isDirectory);
  EXPECT_EQ(kit.path->windowsPath, "C:\\Program Files\\ZelSet95");

  winsim::PathResult first = Resolve("C:\\WINDOWS\\INF\\Other\\Zelvar~1.INF");
  winsim::PathResult second = Resolve("C:\\WINDOWS\\INF\\Other\\zelvar~2.INF");
  ASSERT_TRUE(first.path && second.path);
  EXPECT_EQ(first.path->host.filename(), "Zelvaran IncZQRTMODM.inf");
  EXPECT_EQ(second.path->host.filename(), "ZelvaranSERWAVE.inf");
  EXPECT_FALSE(Resolve("C:\\WINDOWS\\INF\\Other\\Zelvar~3.INF").path->exists);
}

TEST_F(PathResolution, RelativePathsStartAtTheCurrentDirectory) {
  struct Case {
    const char* path;
    const char* current;
    const char* expected;
  };
  const Case cases[] = {
      {"system.ini", "C:\\WINDOWS", "C:\\WINDOWS\\system.ini"},
      {".\\INF\\..\\system.ini", "C:\\windows", "C:\\WINDOWS\\system.ini"},
      {"..\\system.ini", "C:\\WINDOWS\\INF", "C:\\WINDOWS\\system.ini"},
      {"\\WINDOWS", "C:\\Program Files\\ZelSet95", "C:\\WINDOWS"},
      {"C:system.ini", "C:\\WINDOWS", "C:\\WINDOWS\\system.ini"},
      {"C:", "C:\\WINDOWS\\INF", "C:\\WINDOWS\\INF"},
      {"C:WINDOWS", "D:\\", "C:\\WINDOWS"},  // another drive's relative path starts at its root
      {"C:\\WINDOWS\\system.ini.", "C:\\", "C:\\WINDOWS\\system.ini"},
  };
  for (const Case& c : cases) {
    winsim::PathResult result = Resolve(c.path, c.current);
    ASSERT_TRUE(result.path) << c.path << " from " << c.current << ": " << result.error;
    EXPECT_TRUE(result.path->exists) << c.path;
    EXPECT_EQ(result.path->windowsPath, c.expected) << c.path << " from " << c.current;
  }
}

TEST_F(PathResolution, DotDotStopsAtTheDriveRoot) {
  for (const char* path : {"C:\\..\\..\\WINDOWS\\system.ini", "..\\..\\..\\..\\WINDOWS\\system.ini",
                           "/../../../WINDOWS/system.ini"}) {
    winsim::PathResult result = Resolve(path, "C:\\WINDOWS\\INF");
    ASSERT_TRUE(result.path) << path;
    EXPECT_EQ(result.path->host, Drive() / "WINDOWS" / "system.ini") << path;
  }
  winsim::PathResult root = Resolve("..\\..\\..", "C:\\WINDOWS");
  ASSERT_TRUE(root.path);
  EXPECT_EQ(root.path->windowsPath, "C:\\");
  EXPECT_EQ(root.path->host, Drive());
  EXPECT_TRUE(root.path->isDirectory);
}

TEST_F(PathResolution, LinksAndHostPathsCannotLeadOutOfTheMachine) {
  TempDir outside;
  {
    std::ofstream secret(outside.path() / "secret.txt");
    secret << "host data";
  }
  fs::create_directory_symlink(outside.path(), Drive() / "escape");
  fs::create_symlink(outside.path() / "secret.txt", Drive() / "WINDOWS" / "secret.txt");

  EXPECT_EQ(Resolve("C:\\escape\\secret.txt").error, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
  winsim::PathResult link = Resolve("C:\\WINDOWS\\secret.txt");
  ASSERT_TRUE(link.path);
  EXPECT_FALSE(link.path->exists);

  // A host path is read as a Windows path on the current drive.
  std::string hostPath = (outside.path() / "secret.txt").string();
  EXPECT_EQ(Resolve(hostPath).error, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Resolve(Drive().string() + "/WINDOWS/system.ini").error,
            static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Resolve("\\\\server\\share\\file").error, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
}

// A folder too large to be read in one go: every entry is found whatever
// its place in the listing, with its kind, and what is no file or folder is not.
TEST_F(PathResolution, LargeFoldersAreReadWhole) {
  const fs::path big = Drive() / "WINDOWS" / "SYSTEM";
  fs::create_directories(big);
  const std::string padding(90, 'p');
  for (int i = 0; i < 600; ++i) {
    std::string name = "Entry " + std::to_string(i) + " " + padding;
    if (i % 3 == 0) {
      fs::create_directory(big / name);
    } else {
      std::ofstream(big / (name + ".dll")) << i;
    }
  }
  ASSERT_EQ(::mkfifo((big / "pipe").c_str(), 0644), 0);
  fs::create_directory_symlink(big / ("Entry 0 " + padding), big / "linked");
  TempDir outside;
  fs::create_directory_symlink(outside.path(), machine_.machine().driveFolder('D'));

  const std::string system = "C:\\windows\\system\\";
  for (int i = 0; i < 600; ++i) {
    // Looked for in another case than the one on disk.
    std::string name = system + "ENTRY " + std::to_string(i) + " " + padding;
    winsim::PathResult result = Resolve(i % 3 == 0 ? name : name + ".DLL");
    ASSERT_TRUE(result.path) << name;
    EXPECT_TRUE(result.path->exists) << name;
    EXPECT_EQ(result.path->isDirectory, i % 3 == 0) << name;
  }
  for (const std::string& absent :
       {system + "Entry 599 " + padding, system + "pipe", system + "linked"}) {
    winsim::PathResult result = Resolve(absent);
    ASSERT_TRUE(result.path) << absent;
    EXPECT_FALSE(result.path->exists) << absent;
  }
  EXPECT_EQ(Resolve(system + "linked\\Entry 1 " + padding + ".dll").error,
            static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
  // A drive folder that is a link is no drive, at its root or below.
  EXPECT_EQ(Resolve("D:\\").error, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Resolve("D:\\file.txt").error, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PathResolution, BadPathsAreRefusedWithTheirErrors) {
  struct Case {
    const char* path;
    uint32_t error;
  };
  const Case cases[] = {
      {"D:\\WINDOWS", ERROR_PATH_NOT_FOUND},  // no folder for drive D:
      {"C:\\NoSuchFolder\\file.txt", ERROR_PATH_NOT_FOUND},
      {"C:\\WINDOWS\\system.ini\\file.txt", ERROR_PATH_NOT_FOUND},  // a file is no folder
      {"C:\\WINDOWS\\system.ini\\", ERROR_INVALID_NAME},
      {"", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Resolve(c.path).error, c.error) << c.path;
    EXPECT_FALSE(Resolve(c.path).path) << c.path;
  }
  for (const char* name : {"a?b", "a*b", "a<b", "a>b", "a|b", "a\"b", "a:b", "tab\tname"}) {
    EXPECT_EQ(Resolve(std::string("C:\\WINDOWS\\") + name).error,
              static_cast<uint32_t>(ERROR_INVALID_NAME))
        << name;
  }
  // "C:\WINDOWS\" and a name: 259 characters resolve, 260 do not.
  std::string longest = "C:\\WINDOWS\\" + std::string(MAX_PATH - 1 - 11, 'x');
  EXPECT_TRUE(Resolve(longest).path.has_value());
  EXPECT_EQ(Resolve(longest + "x").error, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PathResolution, HostPathOfAWindowsPath) {
  EXPECT_EQ(winsim::HostPath(machine_.machine(), "C:\\WINDOWS\\SYSTEM.INI"),
            Drive() / "WINDOWS" / "system.ini");
  EXPECT_EQ(winsim::HostPath(machine_.machine(), "Q:\\file"), fs::path());
}

}  // namespace
