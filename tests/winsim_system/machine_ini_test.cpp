// machine.ini: defaults, every key, and each kind of mistake reported with its line.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "winsim/machine.h"
#include "winsim/machine_ini.h"

namespace {

using winsim::MachineConfig;
using winsim::MachineError;
using winsim::ParseMachineIni;
using winsim::PortState;
using winsim::ProgramBehaviour;

TEST(MachineIni, EmptyFileGivesTheDefaultMachine) {
  for (const char* text : {"", "\r\n", "; nothing but a comment\n\n"}) {
    MachineConfig config = ParseMachineIni(text);
    EXPECT_EQ(config.platform, 1u);
    EXPECT_EQ(config.majorVersion, 4u);
    EXPECT_EQ(config.minorVersion, 10u);
    EXPECT_EQ(config.buildNumber, 2222u);
    EXPECT_EQ(config.windowsDirectory, "C:\\WINDOWS");
    EXPECT_EQ(config.systemDirectory, "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(config.currentDirectory, "C:\\WINDOWS");
    EXPECT_EQ(config.processorType, 586u);
    EXPECT_EQ(config.totalMemory, 33554432u);
    EXPECT_TRUE(config.ports.empty());
    EXPECT_TRUE(config.programs.empty());
  }
}

TEST(MachineIni, ReadsEveryKeyWithCommentsAnyCaseAndAnyLineEnd) {
  const std::string text =
      "; a Windows 95 machine\r\n"
      "[windows]\r\n"
      "Platform = 1\r\n"
      "version=4.0.950   ; the first release\r\n"
      "WindowsDirectory=D:\\WIN95\\\r\n"
      "SystemDirectory=D:\\WIN95\\SYSTEM\n"
      "CurrentDirectory=c:\\Program Files\\Zelvaran\r"
      "[HARDWARE]\n"
      "Processor=486\n"
      "Memory=8388608\n"
      "[Ports]\n"
      "com1=free\n"
      "COM2=Busy\n"
      "[Programs]\n"
      "UNINST.EXE=exit 0\n"
      "hang.exe=runs\n"
      "fail=exit -1\n";
  MachineConfig config = ParseMachineIni(text);
  EXPECT_EQ(config.platform, 1u);
  EXPECT_EQ(config.majorVersion, 4u);
  EXPECT_EQ(config.minorVersion, 0u);
  EXPECT_EQ(config.buildNumber, 950u);
  EXPECT_EQ(config.windowsDirectory, "D:\\WIN95");  // the trailing backslash is dropped
  EXPECT_EQ(config.systemDirectory, "D:\\WIN95\\SYSTEM");
  EXPECT_EQ(config.currentDirectory, "C:\\Program Files\\Zelvaran");
  EXPECT_EQ(config.processorType, 486u);
  EXPECT_EQ(config.totalMemory, 8388608u);
  ASSERT_EQ(config.ports.size(), 2u);
  EXPECT_EQ(config.ports.at("COM1"), PortState::Free);
  EXPECT_EQ(config.ports.at("com2"), PortState::Busy);
  ASSERT_EQ(config.programs.size(), 3u);
  EXPECT_EQ(config.programs.at("uninst.exe").kind, ProgramBehaviour::Kind::Exit);
  EXPECT_EQ(config.programs.at("uninst.exe").exitCode, 0u);
  EXPECT_EQ(config.programs.at("HANG.EXE").kind, ProgramBehaviour::Kind::Runs);
  EXPECT_EQ(config.programs.at("fail").exitCode, 0xFFFFFFFFu);
}

TEST(MachineIni, CurrentDirectoryFollowsTheWindowsDirectoryUnlessGiven) {
  EXPECT_EQ(ParseMachineIni("[Windows]\nWindowsDirectory=D:\\WIN\n").currentDirectory, "D:\\WIN");
  EXPECT_EQ(ParseMachineIni("[Windows]\nCurrentDirectory=C:\\TEMP\nWindowsDirectory=D:\\WIN\n")
                .currentDirectory,
            "C:\\TEMP");
  EXPECT_EQ(ParseMachineIni("[Windows]\nVersion=4.0\n").buildNumber, 0u);
}

// Any 32-bit platform id is a machine to run on: the programs decide what
// they make of ids that no Windows of the time reported.
TEST(MachineIni, AnyThirtyTwoBitPlatformIdIsKept) {
  for (uint32_t platform : {0u, 2u, 3u, 4294967295u}) {
    MachineConfig config =
        ParseMachineIni("[Windows]\nPlatform=" + std::to_string(platform) + "\n");
    EXPECT_EQ(config.platform, platform);
    EXPECT_EQ(ParseMachineIni(winsim::WriteMachineIni(config)).platform, platform);
  }
}

struct BadIni {
  const char* text;
  size_t line;
  const char* mentions;
};

// A directory keeps no trailing blank or separator in either order, so the
// machine is the same after it is written and read again.
TEST(MachineIni, TrailingBlanksAndSeparatorsOfADirectoryAreDroppedTogether) {
  for (const char* written : {"C:\\WIN \\", "C:\\WIN\\ ", "C:\\WIN\t\\ ; comment"}) {
    MachineConfig config = ParseMachineIni(std::string("[Windows]\nWindowsDirectory=") + written);
    EXPECT_EQ(config.windowsDirectory, "C:\\WIN") << written;
    EXPECT_EQ(ParseMachineIni(winsim::WriteMachineIni(config)).windowsDirectory, "C:\\WIN");
  }
}

TEST(MachineIni, EveryMistakeNamesItsLineAndWhatIsWrong) {
  const BadIni cases[] = {
      {"[Windows]\n[Display]\n", 2, "[Display]"},
      {"[Windows\n", 1, "]"},
      {"Platform=1\n", 1, "before any [section]"},
      {"[Windows]\nPlatform\n", 2, "name=value"},
      {"[Windows]\n=1\n", 2, "name is missing"},
      {"[Windows]\nColour=blue\n", 2, "Colour"},
      {"[Windows]\nPlatform=4294967296\n", 2, "Platform"},
      {"[Windows]\nPlatform=-1\n", 2, "Platform"},
      {"[Windows]\nPlatform=one\n", 2, "'one'"},
      {"[Windows]\n\nVersion=4\n", 3, "Version"},
      {"[Windows]\nVersion=4.10.2222.1\n", 2, "4.10.2222.1"},
      {"[Windows]\nVersion=4.x.2222\n", 2, "Version"},
      {"[Windows]\nVersion=4..2222\n", 2, "Version"},
      {"[Windows]\nVersion=4.10.99999\n", 2, "Version"},
      {"[Windows]\nWindowsDirectory=WINDOWS\n", 2, "full path"},
      {"[Windows]\nSystemDirectory=C:SYSTEM\n", 2, "full path"},
      {"[Hardware]\nProcessor=Pentium\n", 2, "Pentium"},
      {"[Hardware]\nMemory=-1\n", 2, "Memory"},
      {"[Hardware]\nMemory=99999999999999999999999\n", 2, "Memory"},
      {"[Hardware]\nMemory=64 MB\n", 2, "Memory"},
      {"[Hardware]\nDisk=100\n", 2, "Disk"},
      {"[Ports]\nCOM1=open\n", 2, "free or busy"},
      {"[Ports]\nLPT1=free\n", 2, "LPT1"},
      {"[Ports]\nCOM0=free\n", 2, "COM0"},
      {"[Programs]\nUNINST.EXE=exit\n", 2, "exit N"},
      {"[Programs]\nUNINST.EXE=exit zero\n", 2, "exit N"},
      {"[Programs]\nUNINST.EXE=exits 0\n", 2, "exit N"},
      {"[Programs]\nUNINST.EXE=exit 4294967296\n", 2, "exit N"},
      {"[Programs]\nUNINST.EXE=running\n", 2, "runs"},
      {"[Hardware]\nMemory=1\r\nmemory=2\r\n", 3, "twice"},
  };
  for (const BadIni& bad : cases) {
    SCOPED_TRACE(bad.text);
    try {
      ParseMachineIni(bad.text);
      ADD_FAILURE() << "accepted";
    } catch (const MachineError& error) {
      EXPECT_EQ(error.file(), "machine.ini");
      EXPECT_EQ(error.line(), bad.line);
      EXPECT_NE(error.problem().find(bad.mentions), std::string::npos) << error.problem();
      EXPECT_NE(std::string(error.what()).find("machine.ini:" + std::to_string(bad.line) + ": "),
                std::string::npos)
          << error.what();
    }
  }
}

TEST(MachineIni, WrittenConfigReadsBackTheSame) {
  MachineConfig config;
  config.platform = 2;
  config.majorVersion = 4;
  config.minorVersion = 0;
  config.buildNumber = 1381;
  config.windowsDirectory = "D:\\WINNT";
  config.systemDirectory = "D:\\WINNT\\SYSTEM32";
  config.currentDirectory = "C:\\Program Files\\Zelvaran";
  config.processorType = 8664;
  config.totalMemory = 17179869184ull;  // more than 32 bits hold
  config.ports["COM1"] = PortState::Busy;
  config.ports["COM3"] = PortState::Free;
  config.programs["UNINST.EXE"] = {ProgramBehaviour::Kind::Exit, 0xFFFFFFFEu};
  config.programs["server"] = {ProgramBehaviour::Kind::Runs, 0};

  std::string text = winsim::WriteMachineIni(config);
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  MachineConfig back = ParseMachineIni(text);
  EXPECT_EQ(std::tie(back.platform, back.majorVersion, back.minorVersion, back.buildNumber,
                     back.windowsDirectory, back.systemDirectory, back.currentDirectory,
                     back.processorType, back.totalMemory, back.ports),
            std::tie(config.platform, config.majorVersion, config.minorVersion, config.buildNumber,
                     config.windowsDirectory, config.systemDirectory, config.currentDirectory,
                     config.processorType, config.totalMemory, config.ports));
  ASSERT_EQ(back.programs.size(), 2u);
  EXPECT_EQ(back.programs.at("UNINST.EXE").exitCode, 0xFFFFFFFEu);
  EXPECT_EQ(back.programs.at("server").kind, ProgramBehaviour::Kind::Runs);
  EXPECT_EQ(winsim::WriteMachineIni(back), text);
}

}  // namespace
