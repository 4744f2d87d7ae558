// winsim reg, as a person runs it: query, export and import on a machine's
// registry, with refusals that change nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "child_process.h"
#include "test_machine.h"
#include "tool_runner.h"
#include "winsim/machine.h"
#include "winsim/regedit4.h"

namespace rq47test {
namespace {

namespace fs = std::filesystem;

const std::string kWaveInstance = "HKLM\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem\\0000";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RegCommand : public testing::Test {
 protected:
  void SetUp() override { CopyShippedMachine("win98se", machine_); }
  std::string machine() const { return machine_.string(); }
  std::string registryFile() const { return ReadWhole(machine_ / "registry.reg"); }

  TempDir dir_;
  fs::path machine_ = dir_.path() / "pc";
};

TEST_F(RegCommand, QueryShowsValuesTypedAndSubkeys) {
  ToolResult one = RunTool({"reg", machine(), "query", kWaveInstance, "/v", "driver"});
  ASSERT_EQ(one.exitCode, 0) << one.err;
  EXPECT_EQ(one.out,
            "HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem\\0000\n"
            "    Driver    REG_SZ        \"MEDIA\\0008\" (11 bytes)\n");

  ToolResult key = RunTool({"reg", machine(), "query", kWaveInstance});
  ASSERT_EQ(key.exitCode, 0) << key.err;
  EXPECT_TRUE(Contains(key.out, "    ConfigFlags    REG_BINARY    00 00 00 00 (4 bytes)\n"))
      << key.out;
  EXPECT_TRUE(Contains(key.out, "    Mfg            REG_SZ        \"Zelvaran\" (9 bytes)\n"))
      << key.out;

  ToolResult parent = RunTool({"reg", machine(), "query", "hklm\\enum\\modemwave"});
  ASSERT_EQ(parent.exitCode, 0) << parent.err;
  EXPECT_TRUE(Contains(parent.out, "\nHKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem\n"))
      << parent.out;
  EXPECT_FALSE(Contains(parent.out, "DeviceDesc")) << parent.out;

  ToolResult deep = RunTool({"reg", machine(), "query", "HKLM\\Enum\\MODEMWAVE", "/s"});
  ASSERT_EQ(deep.exitCode, 0) << deep.err;
  EXPECT_TRUE(Contains(deep.out, "Zelvaran_RQ47_Voice_Modem\\0000\n    DeviceDesc")) << deep.out;
}

TEST_F(RegCommand, WhatIsNotThereIsSaidWithWhatIs) {
  ToolResult key = RunTool({"reg", machine(), "query", "HKLM\\Enum\\MODEMWAVE\\Nothing\\0000"});
  EXPECT_EQ(key.exitCode, 1);
  EXPECT_TRUE(Contains(key.err,
                       "the key HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE has no subkey "
                       "'Nothing'"))
      << key.err;
  EXPECT_TRUE(key.out.empty());

  ToolResult value = RunTool({"reg", machine(), "query", kWaveInstance, "/v", "Port"});
  EXPECT_EQ(value.exitCode, 1);
  EXPECT_TRUE(Contains(value.err, "its values are DeviceDesc, Mfg, HardwareID")) << value.err;

  ToolResult root = RunTool({"reg", machine(), "query", "HKEY_LOCAL\\Software"});
  EXPECT_EQ(root.exitCode, 1);
  EXPECT_TRUE(Contains(root.err, "HKEY_LOCAL_MACHINE (HKLM)")) << root.err;

  ToolResult operation = RunTool({"reg", machine(), "delete", "HKLM\\Software"});
  EXPECT_EQ(operation.exitCode, 2);
  EXPECT_TRUE(Contains(operation.err, "'delete' is not something reg does")) << operation.err;
}

TEST_F(RegCommand, ExportWritesWhatImportsBackToTheSameRegistry) {
  fs::path whole = dir_.path() / "whole.reg";
  ToolResult result = RunTool({"reg", machine(), "export", whole.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  winsim::Registry copy;
  ASSERT_FALSE(winsim::ImportRegedit4(ReadWhole(whole), copy).has_value());
  EXPECT_TRUE(copy.sameAs(winsim::Machine::load(machine_).registry));

  // One key, to standard output.
  ToolResult key = RunTool({"reg", machine(), "export", "-", kWaveInstance});
  ASSERT_EQ(key.exitCode, 0) << key.err;
  EXPECT_EQ(key.out.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\"
                          "Zelvaran_RQ47_Modem\\0000]\r\n",
                          0),
            0u)
      << key.out;
  EXPECT_TRUE(Contains(key.out, "\"Driver\"=\"MEDIA\\\\0008\"\r\n")) << key.out;

  ToolResult folder = RunTool({"reg", machine(), "export", dir_.path().string(), "/y"});
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_TRUE(Contains(folder.err, "is a folder")) << folder.err;

  // An existing file is replaced only when asked.
  WriteWhole(whole, "keep me");
  ToolResult refused = RunTool({"reg", machine(), "export", whole.string(), kWaveInstance});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(Contains(refused.err, "add /y")) << refused.err;
  EXPECT_EQ(ReadWhole(whole), "keep me");
  ToolResult replaced = RunTool({"reg", machine(), "export", whole.string(), kWaveInstance, "/y"});
  EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
  EXPECT_EQ(ReadWhole(whole), key.out);
}

TEST_F(RegCommand, ImportAppliesAFileExactlyAndShowsTheChanges) {
  fs::path file = dir_.path() / "change.reg";
  WriteWhole(file,
             "REGEDIT4\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]\r\n"
             "\"Language\"=hex(1):44,6f,6d,00,00,00\r\n"
             "\"Count\"=dword:00000002\r\n\r\n"
             "[-HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Voice_Modem]\r\n");
  ToolResult result = RunTool({"reg", machine(), "import", file.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "2 keys added, 2 removed; 2 values added, 6 removed"))
      << result.out;
  EXPECT_TRUE(Contains(result.out, "      + \"Language\" = REG_SZ \"Dom\" (6 bytes)\n"))
      << result.out;

  winsim::Machine after = winsim::Machine::load(machine_);
  EXPECT_EQ(after.registry.value(Hklm("Software\\Zelvaran\\RQ31DFV"), "Language")->data,
            std::string("Dom\0\0\0", 6));
  EXPECT_EQ(after.registry.find(Hklm("Enum\\MODEMWAVE\\Zelvaran_RQ47_Voice_Modem")), nullptr);
}

// As regedit: a line it cannot read is passed over and listed with its
// number; --strict checks the whole file first and imports nothing then.
TEST_F(RegCommand, ImportPassesOverWhatRegeditCannotReadAndStrictImportsNothing) {
  std::string before = registryFile();
  fs::path file = dir_.path() / "broken.reg";
  WriteWhole(file,
             "REGEDIT4\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]\r\n"
             "\"Good\"=\"applied\"\r\n"
             "\"Bad\"=dword:123456789\r\n"
             "\"Blob\"=hex:01,\\\r\n"
             "#02\r\n"
             "\"After\"=\"applied too\"\r\n");
  ToolResult strict = RunTool({"reg", machine(), "import", file.string(), "--strict"});
  EXPECT_EQ(strict.exitCode, 1);
  EXPECT_TRUE(Contains(strict.err, file.string() + ":5: ")) << strict.err;
  EXPECT_TRUE(Contains(strict.err, "nothing was imported")) << strict.err;
  EXPECT_EQ(registryFile(), before);

  ToolResult result = RunTool({"reg", machine(), "import", file.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "\n  line 5: dword: needs 1 to 8 hex digits")) << result.out;
  EXPECT_TRUE(Contains(result.out, "\n  lines 6-7: ")) << result.out;
  winsim::Machine after = winsim::Machine::load(machine_);
  const std::string key = Hklm("Software\\Zelvaran\\RQ31DFV");
  EXPECT_EQ(after.registry.text(key, "Good"), "applied");
  EXPECT_EQ(after.registry.text(key, "After"), "applied too");
  EXPECT_EQ(after.registry.value(key, "Bad"), nullptr);
  EXPECT_EQ(after.registry.value(key, "Blob"), nullptr);

  ToolResult header = RunTool({"reg", machine(), "import", (machine_ / "machine.ini").string()});
  EXPECT_EQ(header.exitCode, 1);
  EXPECT_TRUE(Contains(header.err, ":1: the first line must be REGEDIT4")) << header.err;

  ToolResult missing = RunTool({"reg", machine(), "import", (dir_.path() / "none.reg").string()});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(Contains(missing.err, "there is no such file")) << missing.err;
}

// At the limit of memory: an import holds its file once (not several copies
// of it), a file it cannot hold is refused with what to do, and one larger
// than the computer's memory is refused before it is read.
TEST_F(RegCommand, ImportNearTheMemoryLimitImportsOrSaysWhatToDo) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot run under a limit of memory";
#endif
  // 40,000 keys of five values: about 17 MB.
  std::string large = "REGEDIT4\r\n";
  const std::string text(64, 'x');
  for (int key = 0; key < 40000; ++key) {
    large += "\r\n[HKEY_LOCAL_MACHINE\\Software\\Big\\K" + std::to_string(key) + "]\r\n";
    for (int value = 0; value < 5; ++value) {
      large += "\"Value" + std::to_string(value) + "\"=\"" + text + "\"\r\n";
    }
  }
  WriteWhole(dir_.path() / "large.reg", large);
  { std::ofstream sparse(dir_.path() / "sparse.reg", std::ios::binary); }
  fs::resize_file(dir_.path() / "sparse.reg", winsim::ComputerMemory() + (uint64_t{1} << 30));

  struct Row {
    const char* file;
    uint64_t memoryMb;
    int exitCode;
    const char* said;  // on standard error, or on standard output when it imported
  };
  const Row rows[] = {
      {"large.reg", 96, 0, "Imported "},
      {"large.reg", 24, 1, "does not fit in the memory this process may have"},
      {"sparse.reg", 96, 1, "more than this computer's memory"},
  };
  const std::string before = registryFile();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.file) + " in " + std::to_string(row.memoryMb) + " MB");
    ChildOptions options;
    options.argv = {ToolPath().string(), "reg", machine(), "import",
                    (dir_.path() / row.file).string()};
    options.memoryLimit = row.memoryMb << 20;
    ChildEnd end = RunChild(options);
    EXPECT_EQ(end.exitCode, row.exitCode) << end.err;
    EXPECT_TRUE(Contains(row.exitCode == 0 ? end.out.substr(0, 200) : end.err, row.said))
        << end.err;
    if (row.exitCode == 0) {
      EXPECT_EQ(
          winsim::Machine::load(machine_).registry.text(Hklm("Software\\Big\\K39999"), "Value4"),
          text);
      WriteWhole(machine_ / "registry.reg", before);
    } else {
      EXPECT_TRUE(Contains(end.err, "split")) << end.err;
      EXPECT_EQ(registryFile(), before);
    }
  }
}

TEST_F(RegCommand, ImportReadsTheUtf16FormatThatWineExports) {
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]\r\n"
      u"\"Language\"=\"Fran\u00e7ais\"\r\n"
      u"\"Help\"=hex(2):25,00,77,00,69,00,6e,00,64,00,69,00,72,00,25,00,00,00\r\n"
      u"\"Country\"=hex:21\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  fs::path file = dir_.path() / "wine.reg";
  WriteWhole(file, bytes);
  ToolResult result = RunTool({"reg", machine(), "import", file.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  winsim::Machine after = winsim::Machine::load(machine_);
  const std::string key = Hklm("Software\\Zelvaran\\RQ31DFV");
  EXPECT_EQ(after.registry.value(key, "Language")->data, std::string("Fran\xe7"
                                                                     "ais\0",
                                                                     9));
  EXPECT_EQ(after.registry.value(key, "Help")->data, std::string("%windir%\0", 9));
  EXPECT_EQ(after.registry.value(key, "Help")->type, 2u);
  EXPECT_EQ(after.registry.value(key, "Country")->data, "\x21");
  // Shown to the person in UTF-8.
  EXPECT_TRUE(Contains(result.out,
                       "\"Fran\xc3\xa7"
                       "ais\" (9 bytes)"))
      << result.out;
}

}  // namespace
}  // namespace rq47test
