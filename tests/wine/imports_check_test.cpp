// The shipping executables against Windows 95: what they import, their
// subsystem and their version resource.
#include "imports_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "command.h"

namespace fs = std::filesystem;

namespace rq47wine {
namespace {

const std::set<std::string> kWindows95Dlls = {"KERNEL32", "ADVAPI32", "USER32", "MSVCRT"};

// Part of what `objdump -p` prints for a small program.
constexpr const char* kObjdump =
    "There is an import table in .idata at 0x43b000\n"
    "\n"
    "The Import Tables (interpreted .idata section contents)\n"
    " vma:            Hint    Time      Forward  DLL       First\n"
    "                 Table   Stamp     Chain    Name      Thunk\n"
    " 0003b000\t0003b064 00000000 00000000 0003b824 0003b1cc\n"
    "\n"
    "\tDLL Name: ADVAPI32.dll\n"
    "\tvma:  Hint/Ord Member-Name Bound-To\n"
    "\t3b334\t 1569  RegCloseKey\n"
    "\t3b342\t 1582  RegDeleteKeyA\n"
    "\n"
    " 0003b014\t0003b07c 00000000 00000000 0003b838 0003b1e4\n"
    "\n"
    "\tDLL Name: msvcrt.dll\n"
    "\tvma:  Hint/Ord Member-Name Bound-To\n"
    "\t3b620\t   58  __getmainargs\n"
    "\t3b630\t   17\n"
    "\n"
    " 0003b028\t0003b094 00000000 00000000 0003b850 0003b1fc\n"
    "\n"
    "\tDLL Name: SHELL32.dll\n"
    "\tvma:  Hint/Ord Member-Name Bound-To\n"
    "\t3b7fc\t  650  ShellExecuteA\n"
    "\n"
    " 0003b050\t00000000 00000000 00000000 00000000 00000000\n"
    "\n"
    "\n"
    "PE File Base Relocations (interpreted .reloc section contents)\n"
    "\n"
    "Virtual Address: 00001000 Chunk size 12 (0xc) Number of fixups 2\n";

TEST(ImportTables, ReadsEachDllsFunctionsFromObjdump) {
  ImportTable imports = ParseObjdumpImports(kObjdump);
  EXPECT_EQ((std::set<std::string>{"RegCloseKey", "RegDeleteKeyA"}), imports["ADVAPI32"]);
  EXPECT_EQ((std::set<std::string>{"__getmainargs", "#17"}), imports["MSVCRT"]);
  EXPECT_EQ((std::set<std::string>{"ShellExecuteA"}), imports["SHELL32"]);
  EXPECT_EQ(3u, imports.size());
  EXPECT_THROW(ParseObjdumpImports("rq47set.exe:     file format pei-i386\n"), std::runtime_error);
}

TEST(ImportTables, FindsDllsFunctionsAndOrdinalsWindows95DoesNotVouchFor) {
  std::vector<AllowedImport> list = ParseAllowList(
      "# comment\n"
      "ADVAPI32 RegCloseKey yes [PSDK] RegCloseKey\n"
      "MSVCRT   __getmainargs yes [CRTSRC] startup\n");
  std::vector<std::string> problems =
      FindForbiddenImports(ParseObjdumpImports(kObjdump), kWindows95Dlls, list);
  std::string text;
  for (const std::string& line : problems) text += line + "\n";
  ASSERT_EQ(3u, problems.size()) << text;
  EXPECT_NE(std::string::npos, text.find("ADVAPI32 RegDeleteKeyA is imported but not on"));
  EXPECT_NE(std::string::npos, text.find("MSVCRT ordinal 17 is imported by ordinal"));
  EXPECT_NE(std::string::npos, text.find("SHELL32.DLL is imported"));
}

TEST(ImportTables, ReportsEntriesNoExecutableImports) {
  std::vector<AllowedImport> list = ParseAllowList(
      "ADVAPI32 RegCloseKey yes [PSDK] RegCloseKey\n"
      "KERNEL32 Beep yes [PSDK] Beep\n");
  EXPECT_EQ((std::vector<std::string>{"KERNEL32 Beep"}),
            FindUnusedEntries({ParseObjdumpImports(kObjdump)}, list));
}

TEST(AllowList, ReadsEntriesWithTheirSourceAndStubs) {
  std::vector<AllowedImport> list = ParseAllowList(
      "  # indented comment\r\n"
      "\n"
      "kernel32.dll LoadLibraryW stub [W95LIM] Unicode functions are stubs\r\n");
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ("KERNEL32", list[0].dll);
  EXPECT_EQ("LoadLibraryW", list[0].function);
  EXPECT_TRUE(list[0].stubOnly);
  EXPECT_EQ("[W95LIM] Unicode functions are stubs", list[0].source);
}

TEST(AllowList, RefusesEntriesWithoutStatusOrSourceAndRepeats) {
  EXPECT_THROW(ParseAllowList("KERNEL32 Sleep [PSDK] Sleep\n"), std::runtime_error);
  EXPECT_THROW(ParseAllowList("KERNEL32 Sleep yes\n"), std::runtime_error);
  EXPECT_THROW(ParseAllowList("KERNEL32 Sleep yes a\nkernel32 Sleep yes b\n"), std::runtime_error);
}

TEST(VersionResource, ReadsTheFixedVersionNumbers) {
  std::string bytes = "MZ....";
  bytes += std::string("\xBD\x04\xEF\xFE", 4);
  bytes += std::string("\x00\x00\x01\x00", 4);  // structure version 1.0
  bytes += std::string("\x02\x00\x03\x00", 4);  // file version 3.2
  bytes += std::string("\x00\x00\x45\x00", 4);  // .69.0
  bytes += std::string("\x02\x00\x03\x00", 4);  // product version 3.2
  bytes += std::string("\x01\x00\x45\x00", 4);  // .69.1
  FixedVersion version;
  ASSERT_TRUE(FindFixedVersion(bytes, &version));
  EXPECT_EQ((std::vector<unsigned>{3, 2, 69, 0}),
            std::vector<unsigned>(version.file, version.file + 4));
  EXPECT_EQ((std::vector<unsigned>{3, 2, 69, 1}),
            std::vector<unsigned>(version.product, version.product + 4));
  EXPECT_FALSE(FindFixedVersion(bytes.substr(0, 20), &version));
  EXPECT_TRUE(HoldsWideText(std::string("x\0y\0z\0", 6), "yz"));
  EXPECT_FALSE(HoldsWideText("xyz", "yz"));
}

// The shipping executables of the win32 build.
class ShippingExecutables : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* named = std::getenv("RQ47_WIN32_DIR");
    fs::path build =
        named != nullptr && *named != '\0' ? fs::path(named) : fs::path(RQ47_DEFAULT_WIN32_DIR);
    objdump_ = FindExecutable({"i686-w64-mingw32-objdump"});
    if (!objdump_)
      GTEST_SKIP() << "i686-w64-mingw32-objdump is not installed (binutils-mingw-w64-i686)";
    programs_ = {build / "setup" / "rq47set.exe", build / "uninstall" / "zuninst.exe"};
    for (const fs::path& program : programs_) {
      if (!fs::is_regular_file(program)) {
        GTEST_SKIP() << program.string() << " is not built: build the win32 preset first "
                     << "(cmake --preset win32 && cmake --build --preset win32), or name its "
                     << "build folder in RQ47_WIN32_DIR";
      }
    }
  }

  std::string Objdump(const fs::path& program) {
    Command command;
    command.argv = {objdump_->string(), "-p", program.string()};
    CommandResult result = RunCommand(command);
    if (result.exitCode != 0) ADD_FAILURE() << result.describe(command);
    return result.output;
  }

  static std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::optional<fs::path> objdump_;
  std::vector<fs::path> programs_;
};

TEST_F(ShippingExecutables, ImportOnlyWhatWindows95Provides) {
  std::vector<AllowedImport> list = ParseAllowList(Contents(RQ47_IMPORTS_ALLOW_LIST));
  std::vector<ImportTable> tables;
  for (const fs::path& program : programs_) {
    tables.push_back(ParseObjdumpImports(Objdump(program)));
    for (const std::string& problem : FindForbiddenImports(tables.back(), kWindows95Dlls, list)) {
      ADD_FAILURE() << program.filename().string() << ": " << problem;
    }
    EXPECT_EQ(1u, tables.back().count("USER32")) << program.filename().string();
  }
  for (const std::string& entry : FindUnusedEntries(tables, list)) {
    ADD_FAILURE() << entry << " is on " << RQ47_IMPORTS_ALLOW_LIST
                  << " but neither executable imports it: take it off the list";
  }
}

TEST_F(ShippingExecutables, AreWindows95GuiProgramsWithTheirVersion) {
  for (const fs::path& program : programs_) {
    std::string header = Objdump(program);
    std::string name = program.filename().string();
    EXPECT_NE(std::string::npos, header.find("file format pei-i386")) << name;
    EXPECT_NE(std::string::npos, header.find("(Windows GUI)")) << name;
    EXPECT_NE(std::string::npos, header.find("MajorSubsystemVersion\t4\n")) << name;
    EXPECT_NE(std::string::npos, header.find("MinorSubsystemVersion\t0\n")) << name;
    EXPECT_NE(std::string::npos, header.find("MajorOSystemVersion\t4\n")) << name;

    std::string bytes = Contents(program);
    FixedVersion version;
    ASSERT_TRUE(FindFixedVersion(bytes, &version)) << name << " has no version resource";
    EXPECT_EQ((std::vector<unsigned>{3, 2, 69, 0}),
              std::vector<unsigned>(version.file, version.file + 4))
        << name;
    EXPECT_EQ((std::vector<unsigned>{3, 2, 69, 0}),
              std::vector<unsigned>(version.product, version.product + 4))
        << name;
    EXPECT_TRUE(HoldsWideText(bytes, "3.02 Build 69")) << name;
    EXPECT_TRUE(HoldsWideText(bytes, "Zelvaran RQ47 Modem")) << name;
  }
}

}  // namespace
}  // namespace rq47wine
