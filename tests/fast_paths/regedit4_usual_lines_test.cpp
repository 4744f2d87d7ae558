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

// Names and data of every size a name's two words can hold and of the sizes
// around the bytes the registry copies whole when it takes them from the
// reader's block, each name set again with other data, shorter and longer.
std::string EverySize() {
  std::string text;
  std::vector<size_t> sizes;
  for (size_t size = 0; size <= 17; ++size) sizes.push_back(size);
  for (size_t size : {size_t{31}, size_t{32}, size_t{33}}) sizes.push_back(size);
  for (size_t size = winsim::kPaddingBytes - 1; size <= winsim::kPaddingBytes + 1; ++size) {
    sizes.push_back(size);
  }
  for (size_t size : sizes) {
    std::string name = "\"" + std::string(size, static_cast<char>('a' + size % 26)) + "\"";
    std::string hex;
    for (size_t i = 0; i < size; ++i) hex += (i == 0 ? "" : ",") + std::string("5a");
    text += name + "=\"" + std::string(size, 'T') + "\"|" + name + "=hex:" + hex + "|" + name +
            "=\"" + std::string(size * 2, 'U') + "\"|\"d" + std::to_string(size) +
            "\"=dword:0000001a|";
  }
  return text + "@=\"\"|@=hex:";
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
    EverySize(),
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

void ExpectSameTextReadings(const std::string& whole, const std::string& where) {
  // Held in exactly its bytes, so that a sanitizer sees a byte read past them.
  std::vector<char> bytes(whole.begin(), whole.end());
  std::string_view text(bytes.data(), bytes.size());
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

// Hex lists as regedit writes them, around the shortcut's groups of 32
// bytes (96 characters), which it reads only where the bytes at hand hold a
// whole group: the line after the list is long enough for that.

// `count` bytes, their digits in both cases.
std::string HexBytes(size_t count, std::string* bytes = nullptr) {
  static const char kDigits[] = "0123456789abcdef0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    unsigned byte = (i * 37 + 5) & 0xff;
    if (bytes != nullptr) bytes->push_back(static_cast<char>(byte));
    const char* digits = kDigits + (i % 2) * 16;
    text += std::string(i > 0 ? "," : "") + digits[byte >> 4] + digits[byte & 15];
  }
  return text;
}

// A file that sets "a" to the hex list `list` ('|' parts it into lines),
// with a long line and one that cannot be read after it (its number shows
// where the reading went on) unless it is the last; the file's first list,
// or one after another (the reader has made room for bytes then).
std::string HexListFile(const std::string& list, const char* end, bool last, bool first = false) {
  std::string text = "REGEDIT4" + std::string(end) + "[HKEY_LOCAL_MACHINE\\Soft\\A]" + end +
                     (first ? "" : "\"b\"=hex:" + HexBytes(40) + end) + "\"a\"=hex:" + list;
  for (size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at)) {
    text.replace(at, 1, end);
  }
  if (last) return text;
  return text + end + "\"after\"=\"" + std::string(100, 'x') + "\"" + end + "junk" + end;
}

std::string ReadValue(const std::string& text) {
  Registry registry;
  if (winsim::ImportRegedit4LineByLine(text, registry).refused) return "refused";
  const winsim::RegValue* value = registry.value("HKEY_LOCAL_MACHINE\\Soft\\A", "a");
  return value != nullptr ? std::string(value->data.view()) : "missing";
}

// Read with the shortcut's groups of 32 bytes (where the processor has
// them) and with its plain path.
class Regedit4HexLists : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { before_ = winsim::detail::SetRegedit4HexGroups(GetParam()); }
  void TearDown() override { winsim::detail::SetRegedit4HexGroups(before_); }

 private:
  bool before_ = false;
};

INSTANTIATE_TEST_SUITE_P(GroupsAndPlain, Regedit4HexLists, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Groups" : "Plain";
                         });

TEST_P(Regedit4HexLists, OfEveryLengthReadTheirBytes) {
  for (size_t count = 1; count <= 100; ++count) {
    std::string bytes;
    std::string list = HexBytes(count, &bytes);
    // The same list over lines of 25 bytes, as regedit breaks it.
    std::string broken;
    for (size_t i = 0; i < count; ++i) {
      broken += list.substr(3 * i, 2) + (i + 1 == count ? "" : i % 25 == 24 ? ",\\|  " : ",");
    }
    for (const char* end : {"\r\n", "\n"}) {
      for (bool last : {false, true}) {
        for (bool first : {false, true}) {
          // A comma may end a list.
          for (const std::string& lines : {list, list + ",", broken}) {
            std::string text = HexListFile(lines, end, last, first);
            std::string where = std::to_string(count) + " bytes, line end " +
                                ::testing::PrintToString(end) + (last ? ", last" : "") +
                                (first ? ", first: " : ": ") + lines;
            EXPECT_EQ(ReadValue(text), bytes) << where;
            ExpectSameTextReadings(text, where);
          }
        }
      }
    }
  }
}

// Every character of a 40-byte list (a group and more) in turn made one
// that is no part of a byte, or another digit, left out or doubled.
TEST_P(Regedit4HexLists, WithAFaultAnywhereReadAsTheGeneralRulesReadThem) {
  const std::string list = HexBytes(40);
  const std::string others = std::string("gG \t:@`/,;\\\r\nAf09x") + '\0' + "\x80\xff\xb0";
  for (size_t at = 0; at < list.size(); ++at) {
    std::vector<std::string> faulty = {list.substr(0, at) + list.substr(at + 1),
                                       list.substr(0, at) + list[at] + list.substr(at)};
    for (char other : others) faulty.push_back(list.substr(0, at) + other + list.substr(at + 1));
    for (const std::string& lines : faulty) {
      for (const char* end : {"\r\n", "\n"}) {
        for (bool first : {false, true}) {
          ExpectSameTextReadings(HexListFile(lines, end, false, first),
                                 "list " + ::testing::PrintToString(lines) + ", line end " +
                                     ::testing::PrintToString(end) + (first ? ", first" : ""));
        }
      }
    }
  }
}

// In blocks of every size, a list and its group end anywhere in a block.
TEST_P(Regedit4HexLists, ReadInBlocksReadAsTheGeneralRulesReadThem) {
  TempDir dir;
  std::filesystem::path path = dir.path() / "registry.reg";
  const std::string list = HexBytes(70);
  for (const std::string& lines :
       {HexBytes(1), HexBytes(32), HexBytes(33), list, list.substr(0, 96) + "g" + list.substr(97),
        list.substr(0, 96) + "\\|  " + list.substr(96), HexBytes(31) + ",\\|  " + HexBytes(40)}) {
    std::string text = HexListFile(lines, "\r\n", false);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    for (size_t blockSize = 16; blockSize <= text.size(); ++blockSize) {
      Registry usual;
      Registry general;
      std::string where =
          "list " + ::testing::PrintToString(lines) + ", block " + std::to_string(blockSize);
      std::string usualError = Describe(winsim::ImportRegedit4File(path, usual, blockSize));
      std::string generalError =
          Describe(winsim::detail::ImportRegedit4FileGeneral(path, general, blockSize));
      ASSERT_EQ(usualError, generalError) << where;
      ExpectSameRegistry(usual, general, where);
    }
  }
}

// Key lines in a row that share parts of their paths, which the reader
// keeps from one line to the next: what each sequence opens, and whether a
// strict reading takes it (a line passed over stops a strict reading).
struct KeySequence {
  const char* lines;
  bool strict;
  std::vector<std::string> keys;  // every key, as the registry lists them
};

const KeySequence kKeySequences[] = {
    // A subkey, a name the last one starts, back up, and names that go on.
    {"[HKLM\\S\\A]|[HKLM\\S\\A\\B]|[HKLM\\S\\Ab]|[HKLM\\S\\A]|[HKLM\\S\\A\\B\\C]|[HKLM\\S\\A\\Bc]",
     true,
     {"S", "S\\A", "S\\A\\B", "S\\A\\B\\C", "S\\A\\Bc", "S\\Ab"}},
    // Parts that differ from the last line's in case alone name the same keys.
    {"[HKLM\\S\\Abc]|[HKLM\\S\\ABC\\d]|[HKLM\\S\\abc\\D\\e]|[HKLM\\s\\aBC\\d\\E\\f]",
     true,
     {"S", "S\\Abc", "S\\Abc\\d", "S\\Abc\\d\\e", "S\\Abc\\d\\e\\f"}},
    // The same root spelled other ways, and another root.
    {"[HKEY_LOCAL_MACHINE\\S\\A]|[HKLM\\S\\A\\B]|[hkey_local_machine\\S\\A\\C]|[HKEY_CURRENT_"
     "USER\\S\\A]",
     true,
     {"S", "S\\A", "S\\A\\B", "S\\A\\C", "HKEY_CURRENT_USER\\S", "HKEY_CURRENT_USER\\S\\A"}},
    // Doubled backslashes, in one line and not the next.
    {"[HKLM\\S\\\\A]|[HKLM\\S\\\\A\\B]|[HKLM\\S\\A\\\\B\\C]|[HKLM\\\\S\\A\\B\\D]",
     true,
     {"S", "S\\A", "S\\A\\B", "S\\A\\B\\C", "S\\A\\B\\D"}},
    // A ] within a name (a path ends at the last ] of its line).
    {"[HKLM\\S\\A]b]|[HKLM\\S\\A]b]\\c]|[HKLM\\S\\A]b\\c]|[HKLM\\S\\A]]",
     true,
     {"S", "S\\A]", "S\\A]b", "S\\A]b\\c", "S\\A]b]", "S\\A]b]\\c"}},
    // A key deleted and named again below, keys out of order and named twice.
    {"[HKLM\\S\\A\\B]|[-HKLM\\S\\A]|[HKLM\\S\\A\\B\\C]|[HKLM\\S\\0]|[HKLM\\S\\A\\B]|["
     "HKLM\\S\\0\\x]",
     true,
     {"S", "S\\0", "S\\0\\x", "S\\A", "S\\A\\B", "S\\A\\B\\C"}},
    // Lines that open no key between lines that share parts: a root that is
    // not one, a key too deep, a key line with text after it.
    {"[HKLM\\S\\A]|[HKX\\S\\A\\x]|[HKLM\\S\\A\\B]|[HKLM\\S\\A\\B\\C] x|[HKLM\\S\\A\\B\\D]",
     false,
     {"S", "S\\A", "S\\A\\B", "S\\A\\B\\D"}},
};

void ListKeys(const winsim::RegKey& key, std::vector<std::string>& paths) {
  for (size_t i = 0; i < key.subkeyCount(); ++i) {
    std::string path = key.subkey(i)->path();
    const std::string kLocalMachine = "HKEY_LOCAL_MACHINE\\";
    if (path.compare(0, kLocalMachine.size(), kLocalMachine) == 0) {
      path.erase(0, kLocalMachine.size());
    }
    paths.push_back(path);
    ListKeys(*key.subkey(i), paths);
  }
}

// Every key below the roots, as the registry lists them; those of
// HKEY_LOCAL_MACHINE without the root's name.
std::vector<std::string> KeysOf(const Registry& registry) {
  std::vector<std::string> paths;
  for (winsim::Root root : Registry::kRoots) ListKeys(registry.root(root), paths);
  return paths;
}

std::string KeySequenceFile(const KeySequence& sequence, const std::string& end) {
  std::string text = "REGEDIT4" + end + end + sequence.lines + end;
  for (size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at)) {
    text.replace(at, 1, end);
  }
  return text;
}

TEST(Regedit4UsualLines, KeyLinesThatSharePartsOpenTheKeysTheyName) {
  TempDir dir;
  std::filesystem::path path = dir.path() / "registry.reg";
  for (const KeySequence& sequence : kKeySequences) {
    for (const char* end : {"\r\n", "\n"}) {
      std::string text = KeySequenceFile(sequence, end);
      std::string where = "lines " + ::testing::PrintToString(sequence.lines) + ", line end " +
                          ::testing::PrintToString(end);
      for (bool shortcut : {true, false}) {
        Registry registry;
        if (shortcut) {
          winsim::ImportRegedit4LineByLine(text, registry);
        } else {
          winsim::detail::ImportRegedit4LineByLineGeneral(text, registry);
        }
        EXPECT_EQ(KeysOf(registry), sequence.keys) << where << (shortcut ? "" : " (general)");
      }
      if (!sequence.strict) continue;
      std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
      // Every block size from 16 bytes up puts a block's edge in each line.
      for (size_t blockSize = 16; blockSize <= text.size(); ++blockSize) {
        Registry registry;
        EXPECT_EQ(Describe(winsim::ImportRegedit4File(path, registry, blockSize)), "read")
            << where << ", block " << blockSize;
        EXPECT_EQ(KeysOf(registry), sequence.keys) << where << ", block " << blockSize;
      }
    }
  }
}

}  // namespace
