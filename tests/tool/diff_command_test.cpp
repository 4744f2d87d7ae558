// winsim diff, as a person runs it: known changes made to a copy of a
// machine come out as they were made, typed and readable, with diff's exit
// codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_machine.h"
#include "tool_runner.h"
#include "winsim/machine.h"

namespace rq47test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class DiffCommand : public testing::Test {
 protected:
  void SetUp() override {
    CopyShippedMachine("win98se", before_);
    CopyShippedMachine("win98se", after_);
  }

  // Known changes: every kind of registry change and of file change.
  void ChangeTheCopy() {
    winsim::Machine machine = winsim::Machine::load(after_);
    winsim::Registry& registry = machine.registry;
    winsim::RegKey* added = registry.create(Hklm("Software\\Zelvaran\\RQ31DFV"));
    // Padded, as an offline edit or a registry from NT holds it.
    added->setValue("PortName", 1, std::string("COM2\0", 5) + std::string(15, '\0'));
    added->setValue("Country", 3, "\x01");
    added->setValue("Count", 4, std::string("\x1a\0\0\0", 4));
    winsim::RegKey* instance = registry.find(Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem\\0000"));
    ASSERT_NE(instance, nullptr);
    instance->setValue("Driver", 1, std::string("MEDIA\\0010\0", 11));
    ASSERT_TRUE(instance->deleteValue("Mfg"));
    ASSERT_TRUE(registry.remove(Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Fax_Modem")));
    machine.save(true);

    fs::path windows = after_ / "drive_c" / "WINDOWS";
    WriteWhole(windows / "SYSTEM" / "zelvcd.vxd", "driver");
    fs::remove(windows / "HELP" / "windows.hlp");
    std::string ini = ReadWhole(windows / "system.ini");
    size_t section = ini.find("[386Enh]\r\n");
    ASSERT_NE(section, std::string::npos);
    ini.insert(section + 10, "device = zelvcd.vxd\r\n");
    WriteWhole(windows / "system.ini", ini);
  }

  TempDir dir_;
  fs::path before_ = dir_.path() / "before";
  fs::path after_ = dir_.path() / "after";
};

TEST_F(DiffCommand, EqualMachinesExitZero) {
  ToolResult result = RunTool({"diff", before_.string(), after_.string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "No differences")) << result.out;
}

TEST_F(DiffCommand, KnownChangesComeOutTypedAndReadable) {
  ChangeTheCopy();
  ToolResult result = RunTool({"diff", before_.string(), after_.string()});
  ASSERT_EQ(result.exitCode, 1) << result.err;
  const std::string& out = result.out;
  const char* expected[] = {
      "Registry: 2 keys added, 2 removed, 1 changed; 3 values added, 7 removed, 1 changed\n",
      "  ~ [HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem\\0000]\n",
      "      ~ \"Driver\" = REG_SZ \"MEDIA\\0008\" (11 bytes)\n"
      "                -> REG_SZ \"MEDIA\\0010\" (11 bytes)\n",
      "      - \"Mfg\" = REG_SZ \"Zelvaran\" (9 bytes)\n",
      "  - [HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_PCI_Fax_Modem]  (1 subkey, "
      "6 values)\n",
      "  + [HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]\n"
      "      + \"PortName\" = REG_SZ \"COM2\" (20 bytes)\n"
      "      + \"Country\" = REG_BINARY 01 (1 byte)\n"
      "      + \"Count\" = REG_DWORD 0x0000001a (26)\n",
      "Files and folders: 1 added, 1 removed, 1 changed\n",
      "  - C:\\WINDOWS\\HELP\\windows.hlp  (",
      "  + C:\\WINDOWS\\SYSTEM\\zelvcd.vxd  (6 bytes)\n",
      "  ~ C:\\WINDOWS\\system.ini  (",
      "Lines of C:\\WINDOWS\\system.ini:\n",
      "      [386Enh]\n    + device = zelvcd.vxd\n",
  };
  for (const char* part : expected) EXPECT_TRUE(Contains(out, part)) << part << "\n---\n" << out;

  // --full lists what the removed key held.
  ToolResult full = RunTool({"diff", "--full", before_.string(), after_.string()});
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_TRUE(Contains(full.out,
                       "  - [HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\"
                       "Zelvaran_RQ47_PCI_Fax_Modem\\0000]\n"
                       "      - \"DeviceDesc\" = REG_SZ \"Zelvaran RQ47 PCI Fax Modem "
                       "Wave Device\" (40 bytes)\n"))
      << full.out;

  // The other way round, every addition is a removal and the line goes away.
  ToolResult back = RunTool({"diff", after_.string(), before_.string()});
  EXPECT_EQ(back.exitCode, 1);
  EXPECT_TRUE(Contains(back.out,
                       "  - [HKEY_LOCAL_MACHINE\\Software\\Zelvaran]  (1 subkey, 3 "
                       "values)\n"))
      << back.out;
  EXPECT_TRUE(Contains(back.out,
                       "  + [HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\"
                       "Zelvaran_RQ47_PCI_Fax_Modem]\n"))
      << back.out;
  EXPECT_TRUE(Contains(back.out, "    - device = zelvcd.vxd\n")) << back.out;
}

TEST_F(DiffCommand, WhatAnInstallationDoesShowsInTheDiff) {
  ToolResult run = RunTool({"run", after_.string(), "rq47set"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ToolResult result = RunTool({"diff", before_.string(), after_.string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(Contains(result.out, "      + \"Version\" = REG_SZ \"3.02 Build 69\" (14 bytes)\n"))
      << result.out;
  EXPECT_TRUE(Contains(result.out, "  + C:\\WINDOWS\\SYSTEM\\zelvcd.vxd  (")) << result.out;
}

TEST_F(DiffCommand, MachinesThatCannotBeComparedExitTwo) {
  auto before = FolderContents(before_);
  ToolResult missing = RunTool({"diff", before_.string(), (dir_.path() / "gone").string()});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_TRUE(Contains(missing.err, (dir_.path() / "gone").string() + ": no such machine folder"))
      << missing.err;
  EXPECT_TRUE(missing.out.empty()) << missing.out;

  WriteWhole(after_ / "machine.ini", "[Windows]\nVersion=four\n");
  ToolResult malformed = RunTool({"diff", before_.string(), after_.string()});
  EXPECT_EQ(malformed.exitCode, 2);
  EXPECT_TRUE(Contains(malformed.err, after_.string() + "/machine.ini:2")) << malformed.err;

  ToolResult one = RunTool({"diff", before_.string()});
  EXPECT_EQ(one.exitCode, 2);
  EXPECT_TRUE(Contains(one.err, "give two machine folders")) << one.err;
  EXPECT_EQ(FolderContents(before_), before);
}

}  // namespace
}  // namespace rq47test
