// Child processes (the built-in regedit, programs of [Programs], programs
// found as files), waits, exit codes, pipes and security descriptors.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "scarce_memory.h"
#include "test_machine.h"
#include "winsim/regedit4.h"

namespace {

using rq47test::TestMachine;

const char kImport[] =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV]\r\n"
    "\"DisplayName\"=\"Zelvaran RQ47 Modem\"\r\n"
    "\"UninstallString\"=\"C:\\\\WINDOWS\\\\SYSTEM\\\\zuninst.exe\"\r\n";
const char kUninstallKey[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV";

// A started child: its handles are closed when the test is done with it.
struct Child {
  BOOL started = FALSE;
  DWORD error = 0;
  PROCESS_INFORMATION info{};
  ~Child() {
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  }
};

void Start(Child& child, const std::string& commandLine) {
  std::string writable = commandLine;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  child.started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                 nullptr, nullptr, &startup, &child.info);
  child.error = child.started ? 0 : GetLastError();
}

// Exit code of a child that has ended; fails the test when it is still running.
DWORD ExitCodeOf(const Child& child) {
  EXPECT_EQ(WaitForSingleObject(child.info.hProcess, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0xDEADBEEF;
  EXPECT_TRUE(GetExitCodeProcess(child.info.hProcess, &code));
  return code;
}

TEST(Processes, RegeditImportsTheFileAfterItsSwitchesQuotedOrNot) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  machine.writeFile("C:\\Program Files\\Zelvaran\\rq47.reg", kImport);
  {
    Child child;
    Start(child, "regedit /si \"C:\\Program Files\\Zelvaran\\rq47.reg\"");
    ASSERT_TRUE(child.started) << child.error;
    EXPECT_EQ(ExitCodeOf(child), 0u);
  }
  EXPECT_EQ(machine.valueText(kUninstallKey, "DisplayName"), "Zelvaran RQ47 Modem");
  EXPECT_EQ(machine.valueText(kUninstallKey, "UninstallString"),
            "C:\\WINDOWS\\SYSTEM\\zuninst.exe");
  EXPECT_TRUE(machine.registry().modified);

  // A relative path, resolved in the current directory, by a short alias.
  machine.registry().remove(kUninstallKey);
  run.currentDirectory = "C:\\PROGRA~1";
  {
    Child child;
    Start(child, "REGEDIT.EXE -s Zelvaran\\RQ47.REG");
    ASSERT_TRUE(child.started);
    EXPECT_EQ(ExitCodeOf(child), 0u);
  }
  EXPECT_TRUE(machine.keyExists(kUninstallKey));
  EXPECT_EQ(run.openHandleCount(), 0u);
}

// As Windows' regedit: a line it cannot read is passed over, the rest imported.
TEST(Processes, RegeditPassesOverTheLinesItCannotReadAndImportsTheRest) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  machine.writeFile("C:\\WINDOWS\\bad.reg",
                    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Good]\r\n\"a\"=\"b\"\r\n"
                    "\"broken\r\n\"c\"=dword:1\r\n");
  Child child;
  Start(child, "regedit /s C:\\WINDOWS\\bad.reg");
  ASSERT_TRUE(child.started);
  EXPECT_EQ(ExitCodeOf(child), 0u);
  EXPECT_EQ(machine.valueText("HKEY_LOCAL_MACHINE\\Software\\Good", "a"), "b");
  EXPECT_EQ(machine.valueBytes("HKEY_LOCAL_MACHINE\\Software\\Good", "c"),
            std::string("\1\0\0\0", 4));
  bool noted = false;
  for (const std::string& line : run.trace()) {
    noted = noted || (line.rfind("CreateProcessA(", 0) == 0 &&
                      line.find("passed over line 5: ") != std::string::npos);
  }
  EXPECT_TRUE(noted) << "the trace does not name the line passed over";
}

// How many times the run's trace says `text`.
size_t TimesTraced(winsim::Run& run, const std::string& text) {
  size_t count = 0;
  for (const std::string& line : run.trace()) {
    for (size_t at = line.find(text); at != std::string::npos; at = line.find(text, at + 1))
      ++count;
  }
  return count;
}

// A file handed to regedit is read a block at a time, never whole: one larger
// than the memory the process may have imports; a line that cannot be held
// stops the import there, the lines before it imported; of a file of lines
// regedit cannot read, the first thousand are listed and the rest counted.
TEST(Processes, RegeditReadsAFileOfAnySizeABlockAtATime) {
  const char* key = "HKEY_LOCAL_MACHINE\\Software\\Big";
  const std::string head = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Big]\r\n";
  const std::string kilobyte(1024, 'x');
  struct Case {
    const char* name;
    size_t repeats;    // lines of the body, between the value "v" and the value "last"
    std::string body;  // one line, written `repeats` times
    DWORD exitCode;    // 1: stopped, "last" not reached
    const char* noted;
    size_t listed;  // lines passed over that the trace names
    std::string v;
    bool needsLimit;  // only shows where the process's memory can be limited
  } cases[] = {
      {"96 MB of values", 96 * 1024, "\"v\"=\"" + kilobyte + "\"\r\n", 0,
       "regedit imported C:\\WINDOWS\\big.reg", 0, kilobyte, false},
      {"a 64 MB line", 1, "\"v\"=\"" + std::string(size_t{64} << 20, 'x') + "\"\r\n", 1,
       "stopped at line 5: does not fit in the memory", 0, "first", true},
      {"1500 lines passed over", 1500, "\"broken\r\n", 0, "passed over 500 more lines",
       winsim::kListedPassedOver, "first", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestMachine machine;
    winsim::Run& run = machine.run();
    {
      std::ofstream out(machine.hostPath("C:\\WINDOWS\\big.reg"), std::ios::binary);
      out << head << "\"v\"=\"first\"\r\n";
      for (size_t i = 0; i < c.repeats; ++i) out << c.body;
      out << "\"last\"=\"1\"\r\n";
    }
    Child child;
    {
      rq47test::ScarceMemory scarce(rlim_t{32} << 20);
      if (c.needsLimit && !scarce.active()) continue;
      Start(child, "regedit /s C:\\WINDOWS\\BIG.REG");
    }
    ASSERT_TRUE(child.started);
    EXPECT_EQ(ExitCodeOf(child), c.exitCode);
    EXPECT_EQ(TimesTraced(run, c.noted), 1u);
    EXPECT_EQ(TimesTraced(run, "passed over line "), c.listed);
    EXPECT_EQ(machine.valueText(key, "v"), c.v);
    EXPECT_EQ(machine.valueText(key, "last").has_value(), c.exitCode == 0);
  }
}

// regedit sets each value as a program does, so a Windows 95/98 machine keeps
// a string as its text and one NUL; loading the machine's own registry keeps
// what the file holds (a padded string from an offline edit stays padded).
TEST(Processes, RegeditSetsStringsAsThePlatformKeepsThemAndALoadKeepsTheFile) {
  const char* key = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV";
  const std::string padded("COM4\0\0\0\0\0\0", 10);
  const std::string expandable("%A%\0\0", 5);
  for (uint32_t platform : {1u, 2u}) {
    SCOPED_TRACE(platform);
    winsim::MachineConfig config;
    config.platform = platform;
    TestMachine machine(config);
    machine.run();
    machine.writeFile("C:\\WINDOWS\\set.reg",
                      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]\r\n"
                      "\"Padded\"=hex(1):43,4f,4d,34,00,00,00,00,00,00\r\n"
                      "\"Bare\"=hex(1):43,4f,4d\r\n"
                      "\"Text\"=\"COM2\"\r\n"
                      "\"Expandable\"=hex(2):25,41,25,00,00\r\n");
    {
      Child child;
      Start(child, "regedit /s C:\\WINDOWS\\set.reg");
      ASSERT_TRUE(child.started);
      EXPECT_EQ(ExitCodeOf(child), 0u);
    }
    bool windows9x = platform == 1;
    EXPECT_EQ(machine.valueBytes(key, "Padded"), windows9x ? std::string("COM4\0", 5) : padded);
    EXPECT_EQ(machine.valueBytes(key, "Bare"), windows9x ? std::string("COM\0", 4) : "COM");
    EXPECT_EQ(machine.valueBytes(key, "Text"), std::string("COM2\0", 5));
    EXPECT_EQ(machine.valueBytes(key, "Expandable"), expandable);

    machine.setBytes(key, "Padded", REG_SZ, padded);
    machine.reload();
    EXPECT_EQ(machine.valueBytes(key, "Padded"), padded);
  }
}

TEST(Processes, RegeditEndsWithCodeOneAndImportsNothingFromANonRegistryOrMissingFile) {
  TestMachine machine;
  machine.run();
  // Windows 95/98's regedit does not know the format of Windows 2000 and later.
  machine.writeFile("C:\\WINDOWS\\notreg.reg",
                    "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Good]\r\n\"a\"=\"b\"\r\n");
  for (const char* command :
       {"regedit /s C:\\WINDOWS\\notreg.reg", "regedit /si \"C:\\WINDOWS\\missing.reg\"",
        "regedit /s C:\\NOWHERE\\x.reg", "regedit /s C:\\WINDOWS", "regedit /s"}) {
    SCOPED_TRACE(command);
    Child child;
    Start(child, command);
    ASSERT_TRUE(child.started);  // regedit itself starts; it reports the problem by its code
    EXPECT_EQ(ExitCodeOf(child), 1u);
  }
  EXPECT_FALSE(machine.keyExists("HKEY_LOCAL_MACHINE\\Software\\Good"));
  EXPECT_FALSE(machine.registry().modified);
}

TEST(Processes, ListedProgramsEndWithTheirCodeOrRunForever) {
  winsim::MachineConfig config;
  config.programs["UNINST.EXE"] = {winsim::ProgramBehaviour::Kind::Exit, 5};
  config.programs["crash"] = {winsim::ProgramBehaviour::Kind::Exit, 0xC0000005u};
  config.programs["hang.exe"] = {winsim::ProgramBehaviour::Kind::Runs, 0};
  config.programs["regedit"] = {winsim::ProgramBehaviour::Kind::Exit, 7};
  TestMachine machine(config);
  winsim::Run& run = machine.run();

  for (const char* name : {"UNINST.EXE", "uninst", "C:\\WINDOWS\\Uninst.exe /x"}) {
    SCOPED_TRACE(name);
    Child child;
    Start(child, name);
    ASSERT_TRUE(child.started) << child.error;
    EXPECT_EQ(ExitCodeOf(child), 5u);
  }
  {
    Child child;
    Start(child, "CRASH.EXE");
    EXPECT_EQ(ExitCodeOf(child), 0xC0000005u);
  }
  {
    // A listed regedit replaces the built-in one.
    machine.writeFile("C:\\WINDOWS\\x.reg", kImport);
    Child child;
    Start(child, "regedit /s C:\\WINDOWS\\x.reg");
    EXPECT_EQ(ExitCodeOf(child), 7u);
    EXPECT_FALSE(machine.keyExists(kUninstallKey));
  }
  {
    Child child;
    Start(child, "Hang");
    ASSERT_TRUE(child.started);
    EXPECT_EQ(WaitForSingleObject(child.info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(child.info.hThread, 5000), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(child.info.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    try {
      WaitForSingleObject(child.info.hProcess, INFINITE);
      ADD_FAILURE() << "an endless wait returned";
    } catch (const winsim::RunStopped& stop) {
      EXPECT_EQ(stop.reason, winsim::RunStopped::Reason::Deadlock);
      EXPECT_NE(std::string(stop.what()).find("Hang"), std::string::npos) << stop.what();
    }
  }
  EXPECT_EQ(run.openHandleCount(), 0u);
}

TEST(Processes, OtherProgramsAreFoundAsFilesOrNotStarted) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  machine.writeFile("C:\\WINDOWS\\SYSTEM\\tool.exe", "MZ");
  machine.writeFile("C:\\WINDOWS\\notepad.exe", "MZ");
  machine.writeFile("C:\\Program Files\\Zel\\run me.exe", "MZ");
  machine.writeFile("C:\\Program Files\\Zel\\local.com", "MZ");
  machine.makeDirectory("C:\\WINDOWS\\folder.exe");
  run.currentDirectory = "C:\\Program Files\\Zel";

  for (const char* found :
       {"tool", "TOOL.EXE /q", "notepad.exe C:\\x.txt", "local.com",
        "\"C:\\Program Files\\Zel\\run me.exe\" arg", "\"run me\"", "..\\Zel\\local.com"}) {
    SCOPED_TRACE(found);
    Child child;
    Start(child, found);
    ASSERT_TRUE(child.started) << child.error;
    EXPECT_EQ(ExitCodeOf(child), 0u);
  }
  for (const char* missing :
       {"missing", "local", "C:\\WINDOWS\\tool.exe", "folder.exe", "", "   ", "\"run"}) {
    SCOPED_TRACE(missing);
    Child child;
    Start(child, missing);
    EXPECT_FALSE(child.started);
    EXPECT_EQ(child.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(child.info.hProcess, nullptr);
  }
  EXPECT_EQ(run.openHandleCount(), 0u);
}

TEST(Processes, HandlesIdsWaitsAndExitCodesFollowTheRules) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  machine.writeFile("C:\\WINDOWS\\a.exe", "MZ");
  PROCESS_INFORMATION info{};
  STARTUPINFOA startup{};
  char command[] = "a.exe";
  ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &info));
  EXPECT_NE(info.hProcess, nullptr);
  EXPECT_NE(info.hThread, nullptr);
  EXPECT_NE(info.hProcess, info.hThread);
  EXPECT_NE(info.dwProcessId, 0u);
  EXPECT_NE(info.dwThreadId, 0u);
  EXPECT_NE(info.dwProcessId, info.dwThreadId);
  EXPECT_EQ(run.openHandleCount(), 2u);

  DWORD code = 99;
  EXPECT_FALSE(GetExitCodeProcess(info.hThread, &code));  // a thread is not a process
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(code, 99u);
  EXPECT_EQ(WaitForSingleObject(info.hThread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));

  ASSERT_TRUE(CloseHandle(info.hThread));
  ASSERT_TRUE(CloseHandle(info.hProcess));
  EXPECT_EQ(run.openHandleCount(), 0u);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  // Without a record to fill, nothing starts.
  EXPECT_FALSE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(run.openHandleCount(), 0u);
}

TEST(Processes, AnInjectedFaultStopsTheStartBeforeAnythingHappens) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  machine.writeFile("C:\\WINDOWS\\x.reg", kImport);
  run.addFault({"CreateProcessA", "regedit", 0, 0});
  Child child;
  Start(child, "regedit /s C:\\WINDOWS\\x.reg");
  EXPECT_FALSE(child.started);
  EXPECT_EQ(child.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(machine.keyExists(kUninstallKey));
  EXPECT_EQ(run.openHandleCount(), 0u);
}

TEST(Pipes, APipeHasTwoEndsThatCloseApart) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  SECURITY_ATTRIBUTES attributes{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &attributes, 0));
  EXPECT_NE(readEnd, nullptr);
  EXPECT_NE(writeEnd, nullptr);
  EXPECT_NE(readEnd, writeEnd);
  EXPECT_EQ(run.openHandleCount(), 2u);
  EXPECT_EQ(WaitForSingleObject(readEnd, 0), WAIT_FAILED);  // not a process
  EXPECT_TRUE(CloseHandle(readEnd));
  EXPECT_EQ(run.openHandleCount(), 1u);
  EXPECT_TRUE(CloseHandle(writeEnd));
  EXPECT_FALSE(CloseHandle(writeEnd));
  EXPECT_EQ(run.openHandleCount(), 0u);

  EXPECT_FALSE(CreatePipe(&readEnd, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  run.addFault({"CreatePipe", "", 2, 0});
  EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  EXPECT_FALSE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  EXPECT_EQ(run.openHandleCount(), 2u);
  CloseHandle(readEnd);
  CloseHandle(writeEnd);
}

TEST(SecurityDescriptors, OnlyRevisionOneIsInitialised) {
  TestMachine machine;
  machine.run();
  SECURITY_DESCRIPTOR descriptor;
  std::memset(&descriptor, 0x55, sizeof descriptor);
  EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, 2));
  EXPECT_EQ(GetLastError(), 1305u);  // ERROR_UNKNOWN_REVISION
  EXPECT_EQ(descriptor.Revision, 0x55);

  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  EXPECT_EQ(descriptor.Revision, SECURITY_DESCRIPTOR_REVISION);
  EXPECT_EQ(descriptor.Sbz1, 0);
  EXPECT_EQ(descriptor.Control, 0);
  EXPECT_EQ(descriptor.Owner, nullptr);
  EXPECT_EQ(descriptor.Group, nullptr);
  EXPECT_EQ(descriptor.Sacl, nullptr);
  EXPECT_EQ(descriptor.Dacl, nullptr);
}

}  // namespace
