// Copying, deleting, opening, reading and writing files on the machine's drives.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_machine.h"

namespace {

namespace fs = std::filesystem;
using rq47test::TestMachine;

class FileCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.writeFile("C:\\WINDOWS\\Zelvaran\\ZelSet95\\zca.cpl", "applet");
    machine_.writeFile("C:\\WINDOWS\\SYSTEM\\zca.cpl", "old applet");
    machine_.writeFile("C:\\WINDOWS\\system.ini", "[386Enh]\r\n");
    machine_.run();
  }

  void MakeReadOnly(const std::string& path) {
    fs::permissions(machine_.hostPath(path),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }

  std::string Read(const std::string& path) { return machine_.readFile(path).value_or("<none>"); }

  HANDLE Open(const char* path, DWORD access, DWORD disposition) {
    return CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  std::string ReadAll(HANDLE file, DWORD block = 3) {
    std::string content;
    for (;;) {
      char buffer[16];
      DWORD got = 99;
      if (!ReadFile(file, buffer, block, &got, nullptr)) {
        ADD_FAILURE() << "ReadFile failed with " << GetLastError();
        break;
      }
      if (got == 0) break;
      content.append(buffer, got);
    }
    return content;
  }

  TestMachine machine_;
};

TEST_F(FileCalls, CopyOverwritesUnlessToldNotTo) {
  const char* source = "C:\\WINDOWS\\Zelvaran\\ZelSet95\\zca.cpl";
  EXPECT_FALSE(CopyFileA(source, "C:\\WINDOWS\\SYSTEM\\ZCA.CPL", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM\\zca.cpl"), "old applet");

  EXPECT_TRUE(CopyFileA(source, "C:\\WINDOWS\\SYSTEM\\ZCA.CPL", FALSE));
  EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM\\zca.cpl"), "applet");
  EXPECT_EQ(Read(source), "applet");
  // The existing file was replaced under its own name, not beside it.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(machine_.hostPath("C:\\WINDOWS\\SYSTEM"))) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"zca.cpl"});

  EXPECT_TRUE(CopyFileA("zelvaran\\zelset95\\zca.cpl", "new.cpl", TRUE));  // relative to C:\WINDOWS
  EXPECT_EQ(Read("C:\\WINDOWS\\new.cpl"), "applet");
}

TEST_F(FileCalls, CopyFailuresLeaveTheDestinationAsItWas) {
  MakeReadOnly("C:\\WINDOWS\\SYSTEM\\zca.cpl");
  struct Case {
    const char* source;
    const char* destination;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\WINDOWS\\missing.cpl", "C:\\WINDOWS\\SYSTEM\\x.cpl", ERROR_FILE_NOT_FOUND},
      {"C:\\Missing\\zca.cpl", "C:\\WINDOWS\\SYSTEM\\x.cpl", ERROR_PATH_NOT_FOUND},
      {"C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\HELP\\system.ini", ERROR_PATH_NOT_FOUND},
      {"C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\SYSTEM\\zca.cpl", ERROR_ACCESS_DENIED},
      {"C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\SYSTEM", ERROR_ACCESS_DENIED},
      {"C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\copy", ERROR_ACCESS_DENIED},
      // Onto itself, in another spelling: emptying the file first would lose it.
      {"C:\\WINDOWS\\system.ini", "c:\\windows\\..\\WINDOWS\\SYSTEM.INI", ERROR_SHARING_VIOLATION},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(CopyFileA(c.source, c.destination, FALSE)) << c.source << " -> " << c.destination;
    EXPECT_EQ(GetLastError(), c.error) << c.source << " -> " << c.destination;
  }
  EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM\\zca.cpl"), "old applet");
  EXPECT_EQ(Read("C:\\WINDOWS\\system.ini"), "[386Enh]\r\n");
  EXPECT_FALSE(machine_.exists("C:\\WINDOWS\\SYSTEM\\x.cpl"));
  EXPECT_FALSE(machine_.exists("C:\\WINDOWS\\copy"));
}

TEST_F(FileCalls, CopyKeepsTheSourcesReadOnlyState) {
  MakeReadOnly("C:\\WINDOWS\\Zelvaran\\ZelSet95\\zca.cpl");
  fs::remove(machine_.hostPath("C:\\WINDOWS\\SYSTEM\\zca.cpl"));
  ASSERT_TRUE(
      CopyFileA("C:\\WINDOWS\\Zelvaran\\ZelSet95\\zca.cpl", "C:\\WINDOWS\\SYSTEM\\zca.cpl", FALSE));
  // A second copy meets a read-only destination, as on Windows.
  EXPECT_FALSE(CopyFileA("C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\SYSTEM\\zca.cpl", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM\\zca.cpl"), "applet");
}

TEST_F(FileCalls, DeleteRemovesOnlyWritableClosedFiles) {
  MakeReadOnly("C:\\WINDOWS\\SYSTEM\\zca.cpl");
  struct Case {
    const char* path;
    DWORD error;
  };
  const Case refused[] = {
      {"C:\\WINDOWS\\missing.vxd", ERROR_FILE_NOT_FOUND},
      {"C:\\NoFolder\\missing.vxd", ERROR_PATH_NOT_FOUND},
      {"C:\\WINDOWS\\SYSTEM\\zca.cpl", ERROR_ACCESS_DENIED},
      {"C:\\WINDOWS\\SYSTEM", ERROR_ACCESS_DENIED},
  };
  for (const Case& c : refused) {
    EXPECT_FALSE(DeleteFileA(c.path)) << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }
  EXPECT_TRUE(machine_.exists("C:\\WINDOWS\\SYSTEM\\zca.cpl"));
  EXPECT_TRUE(machine_.exists("C:\\WINDOWS\\SYSTEM"));

  HANDLE open = Open("C:\\WINDOWS\\system.ini", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\SYSTEM.INI"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CloseHandle(open));
  EXPECT_TRUE(DeleteFileA("C:\\WINDOWS\\SYSTEM.INI"));
  EXPECT_FALSE(machine_.exists("C:\\WINDOWS\\system.ini"));
}

TEST_F(FileCalls, CreationDispositionsOnExistingAndMissingFiles) {
  struct Case {
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;          // the last error afterwards
    const char* content;  // of the file afterwards; nullptr: there is none
  };
  const Case cases[] = {
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_NEW, false, true, 0, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {CREATE_ALWAYS, false, true, 0, ""},
      {OPEN_EXISTING, true, true, 0, "old"},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {OPEN_ALWAYS, false, true, 0, ""},
      {TRUNCATE_EXISTING, true, true, 0, ""},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
  };
  for (const Case& c : cases) {
    const char* path = "C:\\WINDOWS\\system.new";
    if (c.exists) {
      machine_.writeFile(path, "old");
    } else {
      machine_.removeFile(path);
    }
    HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, c.disposition);
    DWORD error = GetLastError();
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens) << c.disposition << " exists " << c.exists;
    EXPECT_EQ(error, c.error) << c.disposition << " exists " << c.exists;
    if (file != INVALID_HANDLE_VALUE) EXPECT_TRUE(CloseHandle(file));
    std::optional<std::string> content = machine_.readFile(path);
    EXPECT_EQ(content.has_value(), c.content != nullptr) << c.disposition;
    if (content && c.content) EXPECT_EQ(*content, c.content) << c.disposition;
  }
  EXPECT_EQ(Open("C:\\WINDOWS\\x", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(machine_.run().openHandleCount(), 0u);
}

TEST_F(FileCalls, ReadOnlyFilesAndFoldersRefuseWhatTheyCannotGive) {
  MakeReadOnly("C:\\WINDOWS\\system.ini");
  for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    EXPECT_EQ(Open("C:\\WINDOWS\\system.ini", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(Read("C:\\WINDOWS\\system.ini"), "[386Enh]\r\n");
  HANDLE reader = Open("C:\\WINDOWS\\system.ini", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(reader), "[386Enh]\r\n");
  DWORD wrote = 7;
  EXPECT_FALSE(WriteFile(reader, "x", 1, &wrote, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(wrote, 0u);
  EXPECT_TRUE(CloseHandle(reader));

  EXPECT_EQ(Open("C:\\WINDOWS", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open("C:\\WINDOWS\\Missing\\new.txt", GENERIC_WRITE, CREATE_ALWAYS),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileCalls, WrittenBytesReadBackAndTheEndReadsAsZeroBytes) {
  HANDLE writer = Open("C:\\WINDOWS\\system.new", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  std::string text("line one\r\n\0binary\x1a", 19);
  DWORD wrote = 0;
  EXPECT_TRUE(WriteFile(writer, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr));
  EXPECT_EQ(wrote, text.size());
  EXPECT_TRUE(WriteFile(writer, "", 0, &wrote, nullptr));
  EXPECT_EQ(wrote, 0u);
  char byte;
  DWORD got = 5;
  EXPECT_FALSE(ReadFile(writer, &byte, 1, &got, nullptr));  // opened for writing only
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(CloseHandle(writer));
  EXPECT_EQ(Read("C:\\WINDOWS\\system.new"), text);

  HANDLE reader = Open("C:\\WINDOWS\\system.new", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(reader, 4), text);
  got = 5;
  EXPECT_TRUE(ReadFile(reader, &byte, 1, &got, nullptr));  // at the end: success, nothing
  EXPECT_EQ(got, 0u);
  OVERLAPPED overlapped{};  // Windows 95/98 do no overlapped reads of files
  EXPECT_FALSE(ReadFile(reader, &byte, 1, &got, &overlapped));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(CloseHandle(reader));

  // A closed handle is gone for good.
  EXPECT_FALSE(ReadFile(reader, &byte, 1, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(reader));
  EXPECT_EQ(machine_.run().openHandleCount(), 0u);
}

TEST_F(FileCalls, InjectedFaultsUseTheErrorsWindowsWouldGive) {
  winsim::Run& run = machine_.run();
  run.addFault({"CreateFileA", "system.new", 0, 0});
  EXPECT_EQ(Open("C:\\WINDOWS\\system.new", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(machine_.exists("C:\\WINDOWS\\system.new"));

  HANDLE file = Open("C:\\WINDOWS\\system.ini", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  run.addFault({"WriteFile", "", 1, 0});
  run.addFault({"ReadFile", "", 1, 0});
  DWORD count = 9;
  EXPECT_FALSE(WriteFile(file, "abc", 3, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(count, 0u);
  char buffer[8];
  EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_READ_FAULT));
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));  // only the first failed
  EXPECT_EQ(count, 8u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(Read("C:\\WINDOWS\\system.ini"), "[386Enh]\r\n");
}

TEST_F(FileCalls, WritesNeverFollowALinkOutOfTheMachine) {
  rq47test::TempDir outside;
  const fs::path secret = outside.path() / "secret.txt";
  std::ofstream(secret) << "host data";
  fs::create_symlink(secret, machine_.hostPath("C:\\WINDOWS\\link.txt"));
  fs::create_directory_symlink(outside.path(), machine_.hostPath("C:\\WINDOWS\\linkdir"));

  for (DWORD disposition : {CREATE_ALWAYS, OPEN_ALWAYS, CREATE_NEW, TRUNCATE_EXISTING}) {
    EXPECT_EQ(Open("C:\\WINDOWS\\link.txt", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE);
  }
  EXPECT_FALSE(CopyFileA("C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\link.txt", FALSE));
  EXPECT_FALSE(CopyFileA("C:\\WINDOWS\\link.txt", "C:\\WINDOWS\\stolen.txt", FALSE));
  EXPECT_FALSE(CopyFileA("C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\linkdir\\x.txt", FALSE));
  EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\link.txt"));
  EXPECT_FALSE(CreateDirectoryA("C:\\WINDOWS\\linkdir\\sub", nullptr));

  std::ifstream in(secret);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "host data");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_symlink(machine_.hostPath("C:\\WINDOWS\\link.txt")));
  EXPECT_FALSE(machine_.exists("C:\\WINDOWS\\stolen.txt"));
  EXPECT_EQ(machine_.run().openHandleCount(), 0u);
}

}  // namespace
