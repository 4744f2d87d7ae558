// The shipping executables against Windows 95: what they import, their
// header, their size and their version resource.
#include "imports_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "command.h"

namespace fs = std::filesystem;

namespace rq47wine {
namespace {

const std::set<std::string> kWindows95Dlls = {"KERNEL32", "ADVAPI32", "USER32"};

// Part of what `objdump -p` prints for a small program.
constexpr const char* kObjdump =
    "rq47set.exe:     file format pei-i386\n"
    "\n"
    "Magic\t\t\t010b\t(PE32)\n"
    "ImageBase\t\t00400000\n"
    "MajorSubsystemVersion\t4\n"
    "Subsystem\t\t00000002\t(Windows GUI)\n"
    "DllCharacteristics\t00000140\n"
    "\t\t\t\t\tDYNAMIC_BASE\n"
    "\n"
    "The Data Directory\n"
    "Entry 1 0003b000 0000099c Import Directory [parts of .idata]\n"
    "Entry 9 0002a35c 00000018 Thread Storage Directory [.tls]\n"
    "Entry d 00000000 00000000 Delay Import Directory\n"
    "\n"
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
    "\tDLL Name: KERNEL32.dll\n"
    "\tvma:  Hint/Ord Member-Name Bound-To\n"
    "\t3b620\t  871  LoadLibraryW\n"
    "\t3b630\t   17\n"
    "\n"
    " 0003b028\t0003b094 00000000 00000000 0003b850 0003b1fc\n"
    "\n"
    "\tDLL Name: msvcrt.dll\n"
    "\tvma:  Hint/Ord Member-Name Bound-To\n"
    "\t3b7fc\t   58  __getmainargs\n"
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
  EXPECT_EQ((std::set<std::string>{"LoadLibraryW", "#17"}), imports["KERNEL32"]);
  EXPECT_EQ((std::set<std::string>{"__getmainargs"}), imports["MSVCRT"]);
  EXPECT_EQ(3u, imports.size());
  EXPECT_THROW(ParseObjdumpImports("rq47set.exe:     file format pei-i386\n"), std::runtime_error);
}

TEST(ImportTables, FindsDllsFunctionsOrdinalsAndUnicodeCallsWindows95DoesNotVouchFor) {
  std::vector<AllowedImport> list = ParseAllowList(
      "# comment\n"
      "ADVAPI32 RegCloseKey yes [PSDK] RegCloseKey\n");
  std::vector<std::string> problems =
      FindForbiddenImports(ParseObjdumpImports(kObjdump), kWindows95Dlls, list);
  std::string text;
  for (const std::string& line : problems) text += line + "\n";
  ASSERT_EQ(4u, problems.size()) << text;
  EXPECT_NE(std::string::npos, text.find("ADVAPI32 RegDeleteKeyA is imported but not on"));
  EXPECT_NE(std::string::npos, text.find("KERNEL32 ordinal 17 is imported by ordinal"));
  EXPECT_NE(std::string::npos, text.find("KERNEL32 LoadLibraryW is a Unicode function"));
  EXPECT_NE(std::string::npos, text.find("MSVCRT.DLL is imported"));
}

TEST(ImportTables, ReportsEntriesNoExecutableImports) {
  std::vector<AllowedImport> list = ParseAllowList(
      "ADVAPI32 RegCloseKey yes [PSDK] RegCloseKey\n"
      "KERNEL32 Beep yes [PSDK] Beep\n");
  EXPECT_EQ((std::vector<std::string>{"KERNEL32 Beep"}),
            FindUnusedEntries({ParseObjdumpImports(kObjdump)}, list));
}

TEST(ImportTables, TellsUnicodeNamesFromOthers) {
  for (const char* name : {"LoadLibraryW", "CreateSemaphoreW", "lstrlenW", "Win32W"}) {
    EXPECT_TRUE(IsUnicodeName(name)) << name;
  }
  for (const char* name : {"LoadLibraryA", "ShowWindow", "W", "CreateWindowEx", "GetDCW"}) {
    EXPECT_FALSE(IsUnicodeName(name)) << name;
  }
}

TEST(AllowList, ReadsEntriesWithTheirSourceAndStubs) {
  std::vector<AllowedImport> list = ParseAllowList(
      "  # indented comment\r\n"
      "\n"
      "advapi32.dll InitializeSecurityDescriptor stub [W95LIM] security functions\r\n");
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ("ADVAPI32", list[0].dll);
  EXPECT_EQ("InitializeSecurityDescriptor", list[0].function);
  EXPECT_TRUE(list[0].stubOnly);
  EXPECT_EQ("[W95LIM] security functions", list[0].source);
}

TEST(AllowList, RefusesEntriesWithoutStatusOrSourceRepeatsAndUnicodeFunctions) {
  EXPECT_THROW(ParseAllowList("KERNEL32 Sleep [PSDK] Sleep\n"), std::runtime_error);
  EXPECT_THROW(ParseAllowList("KERNEL32 Sleep yes\n"), std::runtime_error);
  EXPECT_THROW(ParseAllowList("KERNEL32 Sleep yes a\nkernel32 Sleep yes b\n"), std::runtime_error);
  EXPECT_THROW(ParseAllowList("KERNEL32 LoadLibraryW stub [W95LIM] Unicode\n"), std::runtime_error);
}

TEST(PeHeader, ReadsHeaderFieldsAndDataDirectories) {
  std::map<std::string, std::string> fields = ParseHeaderFields(kObjdump);
  EXPECT_EQ("00400000", fields["ImageBase"]);
  EXPECT_EQ("4", fields["MajorSubsystemVersion"]);
  EXPECT_EQ("00000002\t(Windows GUI)", fields["Subsystem"]);
  EXPECT_EQ("010b\t(PE32)", fields["Magic"]);
  EXPECT_EQ(0u, fields.count("Entry 1 0003b000 0000099c Import Directory [parts of .idata]"));
  EXPECT_EQ(5u, fields.size());

  std::map<int, DataDirectory> directories = ParseDataDirectories(kObjdump);
  ASSERT_EQ(3u, directories.size());
  EXPECT_EQ(0x0002a35cu, directories[kTlsDirectory].address);
  EXPECT_EQ(0x18u, directories[kTlsDirectory].size);
  EXPECT_EQ(0u, directories[kDelayImportDirectory].size);
  EXPECT_EQ(0x99cu, directories[1].size);
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
    for (const char* dll : {"KERNEL32", "ADVAPI32", "USER32"}) {
      EXPECT_EQ(1u, tables.back().count(dll)) << program.filename().string() << " " << dll;
    }
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
    // What Windows 95 expects of a program: GUI subsystem and OS version 4.0,
    // the usual image base and file alignment.
    std::map<std::string, std::string> fields = ParseHeaderFields(header);
    EXPECT_EQ("00000002\t(Windows GUI)", fields["Subsystem"]) << name;
    EXPECT_EQ("4", fields["MajorSubsystemVersion"]) << name;
    EXPECT_EQ("0", fields["MinorSubsystemVersion"]) << name;
    EXPECT_EQ("4", fields["MajorOSystemVersion"]) << name;
    EXPECT_EQ("0", fields["MinorOSystemVersion"]) << name;
    EXPECT_EQ("00400000", fields["ImageBase"]) << name;
    EXPECT_EQ("00000200", fields["FileAlignment"]) << name;
    // Windows 9x does not run TLS callbacks at load in every case, and knows
    // no delay-loaded imports.
    std::map<int, DataDirectory> directories = ParseDataDirectories(header);
    EXPECT_EQ(16u, directories.size()) << name;
    EXPECT_EQ(0u, directories[kTlsDirectory].size) << name << " has a TLS directory";
    EXPECT_EQ(0u, directories[kDelayImportDirectory].size) << name << " delay-loads a DLL";

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

// The programs' own code and runtime take a few tens of kilobytes; a C runtime
// linked back in, or the C++ library's exceptions, take them far past this.
TEST_F(ShippingExecutables, AreAtMost64Kilobytes) {
  constexpr uintmax_t kLimit = 64 * 1024;
  for (const fs::path& program : programs_) {
    uintmax_t size = fs::file_size(program);
    RecordProperty(program.filename().string(), static_cast<int>(size));
    EXPECT_LE(size, kLimit) << program.filename().string() << " is " << size << " bytes";
  }
}

}  // namespace
}  // namespace rq47wine
