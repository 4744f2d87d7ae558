// The reader takes the usual lines of a file by a shortcut and leaves every
// other line to its general rules. Whatever the lines, read whole or in
// blocks, strictly or line by line, the two must give the same registry,
// the same error and the same lines passed over.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_machine.h"
#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace {

using rq47test::TempDir;
using winsim::Registry;

// A key line a level deeper than the registry holds.
std::string DeepKeyLine() {
  std::string text = "[HKEY_LOCAL_MACHINE";
  for (size_t i = 0; i <= winsim::kMaxKeyDepth; ++i) text += "\\K";
  return text + "]|\"b\"=\"1\"";
}

// A hex list longer than the reader's runs of bytes, going on over a line.
std::string LongHexList() {
  std::string text = "\"a\"=hex:";
  for (int i = 0; i < 40; ++i) text += "7e,";
  text += "\\|  ";
  for (int i = 0; i < 40; ++i) text += "e7,";
  return text + "01";
}

// Lines around which the shortcut must decide exactly ('|' parts a case into
// lines): usual lines and near misses of each.
const std::vector<std::string> kCases = {
    // Strings.
    "\"a\"=\"text\"",
    "\"a\" = \"text\"",
    "\"a\"= \"text\"",
    "\"a\" =\"text\"",
    "\"a\\\\b\"=\"name with a backslash\"",
    "\"a\\\"b\"=\"name with a quote\"",
    "\"a\"=\"C:\\\\WINDOWS\\\\SYSTEM\\\\UNIMODEM.VXD\"",
    "\"a\"=\"say \\\"hi\\\"\"",
    "\"a\"=\"a backslash\\stays\"",
    "\"a\"=\"x\\\\\"",
    "\"a\"=\"x\\\"",
    "\"a\"=\"x\\",
    "\"a\"=\"x\\ \"",
    "@=\"default\"",
    "@ = \"default\"",
    "@=",
    "\"\"=\"empty name\"",
    "\"a\"=\"\"",
    "\"a\"=\"x\" ; a comment",
    "\"a\"=\"x\";comment",
    "\"a\"=\"x\"   ",
    "\"a\"=\"x\" junk",
    "\"a\"=\"x\"\"y\"",
    "\"a\"=\"x",
    "\"a",
    "\"a\"",
    "\"a\"=",
    "\"a\"=\"tab\tin it\"",
    std::string("\"a\"=\"NUL\0in it\"", 15),
    "\"a\"=\"x\"|\"a\"=\"set again\"",
    "\"a\"=\"x\"|\"A\"=-",
    "\"a\"=\"" + std::string(70, 'L') + "\\\\" + std::string(40, 'M') + "\"",
    // Dwords.
    "\"a\"=dword:0000001a",
    "@=dword:ffffffff",
    "\"a\"=dword:0000001A",
    "\"a\"=DWORD:0000001a",
    "\"a\"=dword:1a",
    "\"a\"=dword:123456789",
    "\"a\"=dword: 0000001a",
    "\"a\"=dword:0000001g",
    "\"a\"=dword:0000001a ;c",
    "\"a\"=dword:0000001a ",
    "\"a\"=dword:",
    "\"a\"=dword0000001a",
    // Hex lists.
    "\"a\"=hex:01,02,ff",
    "\"a\"=hex:01,02,FF",
    "\"a\"=hex:1,2,f",
    "\"a\"=hex:01,2,ff",
    "\"a\"=HEX:01,02",
    "\"a\"=hex:",
    "\"a\"=hex:01,",
    "\"a\"=hex:01,,02",
    "\"a\"=hex:,01",
    "\"a\"=hex:01,02 ",
    "\"a\"=hex:01,02;c",
    "\"a\"=hex:01 ,02",
    "\"a\"=hex:010,02",
    "\"a\"=hex:01,0g",
    "\"a\"=hex:01,02,\\|  03,04",
    "\"a\"=hex:01,02,\\||;c|  03",
    "\"a\"=hex:01,02,\\|#03",
    "\"a\"=hex:01,02,\\|  03,\\|  04",
    "\"a\"=hex:01,02\\|  03",
    "\"a\"=hex:\\|  03",
    "\"a\"=hex:01,\\|\\",
    "\"a\"=hex:01,\\ ;c|  03",
    "\"a\"=hex:01,\\x|  03",
    "\"a\"=hex:01,\\",
    "\"a\\\\b\"=hex:01,\\|  02",
    "\"a\"=hex:01,\\|  02,|  03",
    "\"a\"=hex:01,\\|  \\|  02",
    "\"a\"=hex:01,\\|\t02,\\|02",
    "\"a\"=hex:01,\\|  02 ,\\|  03",
    "\"a\"=hex:01,\\|  02\\|  03",
    "\"a\"=hex:01,\\|  0203",
    "\"a\"=hex:01,\\|[HKEY_LOCAL_MACHINE\\Soft\\E]",
    LongHexList(),
    "\"a\"=hex(2):41,00",
    "\"a\"=hex(0):",
    "\"a\"=hex(12345678):01",
    "\"a\"=hex(123456789):01",
    "\"a\"=hex():01",
    "\"a\"=hex(7:01",
    "\"a\"=hex(7)01",
    "\"a\"=hex(g):01",
    "\"a\"=hEx(7):01",
    "\"a\"=hex(7):41,00,\\|  00",
    "\"a\"=-",
    "\"a\"=- ;c",
    "\"a\"=text",
    // Key lines and the rest.
    "[HKEY_LOCAL_MACHINE\\Soft\\B]|\"b\"=\"1\"",
    "[HKEY_LOCAL_MACHINE\\Soft\\B] |\"b\"=\"1\"",
    "[HKEY_LOCAL_MACHINE\\Soft\\B]x|\"b\"=\"1\"",
    "[ HKEY_LOCAL_MACHINE\\Soft\\B]|\"b\"=\"1\"",
    "[-HKEY_LOCAL_MACHINE\\Soft\\A]|\"b\"=\"1\"",
    "[-HKEY_LOCAL_MACHINE]",
    "[HKEY_NOWHERE\\X]|\"b\"=\"1\"",
    "[HKEY_LOCAL_MACHINE\\Soft\\B|\"b\"=\"1\"",
    "[]",
    "[",
    "[HKEY_LOCAL_MACHINE\\Soft\\]]",
    "[HKLM\\Soft\\\\A\\]|\"b\"=\"1\"",
    "[HK]EY_LOCAL_MACHINE\\Soft]|\"b\"=\"1\"",
    "[HKEY_LOCAL_MACHINE\\Soft]]|\"b\"=\"1\"",
    "[HKEY_LOCAL_MACHINE\\\\Software\\\\Zelvaran\\Sixteen bytes\\\\A\\B\\]|\"b\"=\"1\"",
    "[HKEY_LOCAL_MACHINE\\Soft\rX]|\"b\"=\"1\"",
    "[-]",
    "[HKLM\\S]|\"a\\\\b\"=\"1\"",
    "[]]",
    DeepKeyLine(),
    "\t[HKEY_LOCAL_MACHINE\\Soft\\C]|\"c\"=\"1\"",
    "  \"a\"=\"x\"",
    "; a comment",
    "# a comment",
    "",
    "   ",
    "junk",
    "\"a\"=\"x\rb\"=\"y\"",
    "\"a\"=\"x\"\r\"b\"=dword:00000002\r",
};

const char* const kLineEnds[] = {"\r\n", "\n", "\r"};

// A file with the case between usual lines, so that what a case leaves
// (a key open or not, a line passed over) shows in the lines after it.
std::string FileWith(const std::string& lines, const std::string& end, bool last) {
  std::string text =
      "REGEDIT4" + end + end + "[HKEY_LOCAL_MACHINE\\Soft\\A]" + end + "\"before\"=\"x\"" + end;
  std::string caseText = lines;
  for (size_t at = caseText.find('|'); at != std::string::npos; at = caseText.find('|', at)) {
    caseText.replace(at, 1, end);
  }
  text += caseText;
  if (last) return text;  // the case ends the file, with no line end
  return text + end + "\"after\"=dword:00000001" + end + "[HKEY_LOCAL_MACHINE\\Soft\\D]" + end +
         "\"d\"=hex:01" + end;
}

std::string Describe(const std::optional<winsim::Regedit4Error>& error) {
  if (!error) return "read";
  return "line " + std::to_string(error->line) + ": " + error->message;
}

std::string Describe(const winsim::Regedit4LineByLine& result) {
  std::ostringstream out;
  out << Describe(result.refused);
  for (const winsim::PassedOverLine& passed : result.passedOver) {
    out << "\npassed over " << passed.line << "-" << passed.lastLine << ": " << passed.message;
  }
  return out.str();
}

void ExpectSameRegistry(const Registry& usual, const Registry& general, const std::string& where) {
  EXPECT_TRUE(usual.sameAs(general)) << where << "\nshortcut:\n"
                                     << winsim::ExportRegedit4(usual) << "general:\n"
                                     << winsim::ExportRegedit4(general);
  EXPECT_EQ(usual.modified, general.modified) << where;
}

// A registry that holds something, so that a strict reading checks the file first.
Registry Prepared() {
  Registry registry;
  registry.create("HKEY_LOCAL_MACHINE\\Soft\\A")->setValue("kept", 4, std::string(4, '\1'));
  registry.modified = false;
  return registry;
}

void ExpectSameTextReadings(const std::string& text, const std::string& where) {
  for (bool empty : {true, false}) {
    Registry usual = empty ? Registry() : Prepared();
    Registry general = empty ? Registry() : Prepared();
    std::string usualError = Describe(winsim::ImportRegedit4(text, usual));
    std::string generalError = Describe(winsim::detail::ImportRegedit4General(text, general));
    EXPECT_EQ(usualError, generalError) << where;
    ExpectSameRegistry(usual, general, where);
  }
  Registry usual;
  Registry general;
  std::string usualResult = Describe(winsim::ImportRegedit4LineByLine(text, usual));
  std::string generalResult =
      Describe(winsim::detail::ImportRegedit4LineByLineGeneral(text, general));
  EXPECT_EQ(usualResult, generalResult) << where << " (line by line)";
  ExpectSameRegistry(usual, general, where + " (line by line)");
}

TEST(Regedit4UsualLines, EachLineReadsAsTheGeneralRulesReadIt) {
  for (const std::string& lines : kCases) {
    for (const char* end : kLineEnds) {
      for (bool last : {false, true}) {
        std::string text = FileWith(lines, end, last);
        ExpectSameTextReadings(text, "case " + ::testing::PrintToString(lines) + ", line end " +
                                         ::testing::PrintToString(end) + (last ? ", last" : ""));
      }
    }
  }
}

TEST(Regedit4UsualLines, AllTheCasesInOneFileReadAsTheGeneralRulesReadThem) {
  for (const char* end : kLineEnds) {
    std::string lines;
    for (const std::string& one : kCases) lines += one + "|";
    ExpectSameTextReadings(FileWith(lines, end, false),
                           "all cases, line end " + ::testing::PrintToString(end));
  }
}

// Read from a file in blocks of every size from 16 bytes up, each line and
// line end falls across a block's edge somewhere.
TEST(Regedit4UsualLines, AFileReadInBlocksReadsAsTheGeneralRulesReadIt) {
  TempDir dir;
  std::filesystem::path path = dir.path() / "registry.reg";
  for (const std::string& lines : kCases) {
    for (const char* end : {"\r\n", "\n"}) {
      std::string text = FileWith(lines, end, false);
      std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
      std::vector<size_t> sizes = {winsim::kRegedit4BlockSize};
      for (size_t size = 16; size <= text.size() - 25; ++size) sizes.push_back(size);
      for (size_t blockSize : sizes) {
        Registry usual;
        Registry general;
        std::string where = "case " + ::testing::PrintToString(lines) + ", line end " +
                            ::testing::PrintToString(end) + ", block " + std::to_string(blockSize);
        std::string usualError = Describe(winsim::ImportRegedit4File(path, usual, blockSize));
        std::string generalError =
            Describe(winsim::detail::ImportRegedit4FileGeneral(path, general, blockSize));
        ASSERT_EQ(usualError, generalError) << where;
        ExpectSameRegistry(usual, general, where);
      }
    }
  }
}

}  // namespace
