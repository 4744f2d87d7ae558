// Importing as regedit imports, line by line: the rules, one table a family,
// with the results recorded on Windows (regedit's public conformance results)
// and, where Windows 98's regedit differs from later Windows, Windows 98's.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace {

const char kKey[] = "HKEY_CURRENT_USER\\T";
constexpr size_t kBodyStart = 3;  // the body's first line in the file
const std::string kMissing = "missing";

std::string Sz(const std::string& text) { return "1:" + text + std::string(1, '\0'); }
std::string Dword(uint32_t value) {
  std::string bytes = "4:";
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xff);
  return bytes;
}
std::string Data(uint32_t type, const std::string& bytes) {
  return std::to_string(type) + ":" + bytes;
}

// The value's type and bytes; "Sub/v" is the value v of the subkey Sub.
std::string ValueOf(const winsim::Registry& registry, const std::string& where) {
  size_t cut = where.rfind('/');
  std::string key =
      cut == std::string::npos ? kKey : std::string(kKey) + "\\" + where.substr(0, cut);
  std::string name = cut == std::string::npos ? where : where.substr(cut + 1);
  const winsim::RegValue* value = registry.value(key, name);
  return value != nullptr ? std::to_string(value->type) + ":" + value->data : kMissing;
}

struct ImportCase {
  std::string body;  // the lines after "REGEDIT4" and the key line [HKEY_CURRENT_USER\T]
  std::vector<std::pair<std::string, std::string>> values;  // where -> ValueOf
  std::vector<size_t> passedOver;  // the body lines where statements passed over start
};

void ExpectImports(const std::vector<ImportCase>& cases) {
  for (const ImportCase& c : cases) {
    SCOPED_TRACE(c.body);
    winsim::Registry registry;
    winsim::Regedit4LineByLine result = winsim::ImportRegedit4LineByLine(
        "REGEDIT4\n[" + std::string(kKey) + "]\n" + c.body, registry);
    ASSERT_FALSE(result.refused) << result.refused->message;
    for (const auto& [where, expected] : c.values) {
      EXPECT_EQ(ValueOf(registry, where), expected) << where;
    }
    std::vector<size_t> passed;
    for (const winsim::PassedOverLine& line : result.passedOver) {
      passed.push_back(line.line - kBodyStart + 1);
      EXPECT_FALSE(line.message.empty());
    }
    EXPECT_EQ(passed, c.passedOver);
  }
}

TEST(RegeditImportRules, TheFirstLineMustBeExactlyRegedit4OrNothingIsImported) {
  const struct {
    std::string header;
    bool imported;
  } cases[] = {
      {"REGEDIT4", true},
      {" \t REGEDIT4", true},
      {"REGEDIT4  ", true},
      {"regedit4", false},
      {"Regedit4", false},
      {"REGEDIT 4", false},
      {"REGEDIT4FOO", false},
      {"REGEDIT4 FOO", false},
      {"REGEDIT3", false},
      {"REGEDIT5", false},
      {"Windows Registry Editor Version 4.00", false},
      // Later Windows take this header; Windows 95/98's regedit does not know it.
      {"Windows Registry Editor Version 5.00", false},
      {"\xEF\xBB\xBFREGEDIT4", false},
      {std::string("\xFF\xFER\0E\0G\0", 8), false},
      {"", false},
      // Longer than the reader looks at before it reads the whole line.
      {std::string(5000, ' ') + "REGEDIT4", true},
      {"REGEDIT4" + std::string(5000, '\t'), true},
      {std::string(5000, ' ') + "REGEDIT4 FOO", false},
      {"Windows Registry Editor Version 5.00" + std::string(5000, ' ') + "x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header.substr(0, 40));
    winsim::Registry registry;
    winsim::Regedit4LineByLine result = winsim::ImportRegedit4LineByLine(
        c.header + "\n[HKEY_CURRENT_USER\\T]\n\"v\"=\"x\"\n", registry);
    EXPECT_EQ(!result.refused, c.imported);
    EXPECT_EQ(ValueOf(registry, "v"), c.imported ? Sz("x") : kMissing);
    if (result.refused) EXPECT_EQ(result.refused->line, 1u);
  }
}

TEST(RegeditImportRules, LinesEndWithCrLfLfOrACrAndTheLastNeedsNoEnd) {
  for (const char* end : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(end));
    std::string e = end;
    ExpectImports({
        {"\"a\"=\"1\"" + e + e + " \t" + e + "\"b\"=dword:2" + e + "\"c\"=hex:03,\\" + e + "  04" +
             e + "\"d\"=\"last\"",
         {{"a", Sz("1")}, {"b", Dword(2)}, {"c", Data(3, "\x03\x04")}, {"d", Sz("last")}},
         {}},
    });
  }
}

// A key path a level deeper than the registry holds, below `root`.
std::string TooDeep(const std::string& root) {
  std::string path = root;
  for (size_t i = 0; i <= winsim::kMaxKeyDepth; ++i) path += "\\k";
  return path;
}

TEST(RegeditImportRules, KeyLines) {
  ExpectImports({
      {"[HKEY_CURRENT_USER\\T\\A]\n\"v\"=\"1\"", {{"A/v", Sz("1")}}, {}},
      {"  [hkey_current_user\\T\\A]\n\"v\"=\"1\"", {{"A/v", Sz("1")}}, {}},
      {"[HKEY_CURRENT_USER\\T\\A\\]\n\"v\"=\"1\"", {{"A/v", Sz("1")}}, {}},
      {"[HKEY_CURRENT_USER\\T\\A ]\n\"v\"=\"1\"", {{"A /v", Sz("1")}, {"A/v", kMissing}}, {}},
      // Doubled backslashes name no empty key, in parts short and long.
      {"[HKEY_CURRENT_USER\\\\T\\\\A]\n\"v\"=\"1\"", {{"A/v", Sz("1")}}, {}},
      {"[HKEY_CURRENT_USER\\T\\Part Of Twenty Bytes\\\\\\B]\n\"v\"=\"1\"",
       {{"Part Of Twenty Bytes\\B/v", Sz("1")}},
       {}},
      // Not a key line at all: the key above stays open.
      {"HKEY_CURRENT_USER\\T\\A]\n\"v\"=\"1\"", {{"v", Sz("1")}}, {1}},
      // A key line that cannot be read opens no key: the values after it go nowhere.
      {"[HKEY_CURRENT_USER\\T\\A\n\"v\"=\"1\"", {{"v", kMissing}, {"A/v", kMissing}}, {1, 2}},
      {"[ HKEY_CURRENT_USER\\T\\A]\n\"v\"=\"1\"", {{"v", kMissing}, {"A/v", kMissing}}, {1, 2}},
      {"[\tHKEY_CURRENT_USER\\T\\A]\n\"v\"=\"1\"", {{"v", kMissing}, {"A/v", kMissing}}, {1, 2}},
      {"[HKEY_CURRENT_USERS\\T\\A]\n\"v\"=\"1\"", {{"v", kMissing}}, {1, 2}},
      {"[HKEY_CURRENT_USER\\T\\A] x\n\"v\"=\"1\"", {{"v", kMissing}, {"A/v", kMissing}}, {1, 2}},
      {"[]\n[HKEY_CURRENT_USER\\T\\B]\n\"v\"=\"1\"", {{"B/v", Sz("1")}}, {1}},
      // A key line refused after its root was read (another root) changes
      // nothing for the lines below the key open before it.
      {"[" + TooDeep("HKEY_LOCAL_MACHINE") + "]\n[HKEY_CURRENT_USER\\T\\A]\n\"v\"=\"1\"",
       {{"A/v", Sz("1")}},
       {1}},
  });
}

TEST(RegeditImportRules, ValueNamesAndStrings) {
  ExpectImports({
      {"\"a\"=\"text\"", {{"a", Sz("text")}}, {}},
      {"\t\"a\"  =  \"  spaced  \"  ", {{"a", Sz("  spaced  ")}}, {}},
      {"\"a\"=\"say \\\"hi\\\"\"", {{"a", Sz("say \"hi\"")}}, {}},
      {"\"a\"=\"C:\\\\WINDOWS\"\n\"b\"=\"C:\\WINDOWS\"",
       {{"a", Sz("C:\\WINDOWS")}, {"b", Sz("C:\\WINDOWS")}},
       {}},
      {"\"double\\\"quote\"=\"1\"\n\"back\\\\slash\"=\"2\"",
       {{"double\"quote", Sz("1")}, {"back\\slash", Sz("2")}},
       {}},
      // Escapes among long runs, a backslash that stays, one before the end.
      {"\"a\"=\"C:\\\\Program Files\\\\Zelvaran Modem Tools\\\\bin\\\\x.exe \\q\\\\\"",
       {{"a", Sz("C:\\Program Files\\Zelvaran Modem Tools\\bin\\x.exe \\q\\")}},
       {}},
      {"\"b\"=\"\\\"quoted\\\" and \\\\\"", {{"b", Sz("\"quoted\" and \\")}}, {}},
      {"\"c\"=\"ends\\\\\\\"\n\"d\"=\"1\"", {{"c", kMissing}, {"d", Sz("1")}}, {1}},
      {"@=\"one\"", {{"", Sz("one")}}, {}},
      {"\"\"=\"two\"", {{"", Sz("two")}}, {}},
      {"\"a\"=\"\"", {{"a", Sz("")}}, {}},
      {"\"a\"=\"x;y#z\"", {{"a", Sz("x;y#z")}}, {}},
      {"\"a\"=\"no end\n\"b\"=\"1\"", {{"a", kMissing}, {"b", Sz("1")}}, {1}},
      {"\"a\"=\"foo\"bar\"\n\"b\"=\"foo\"\"bar\"", {{"a", kMissing}, {"b", kMissing}}, {1, 2}},
      {"\"a\"=\n\"b\"=text\n\"c\"=\\\"x\\\"",
       {{"a", kMissing}, {"b", kMissing}, {"c", kMissing}},
       {1, 2, 3}},
      {"\"a=\"x\"\na=\"x\"\n\"a\"\"x\"", {{"a", kMissing}}, {1, 2, 3}},
      {"\"a\\\n1\"=\"x\"\n\"b\"=\"x \\\ny\"",
       {{"a\\\n1", kMissing}, {"b", kMissing}},
       {1, 2, 3, 4}},
  });
}

TEST(RegeditImportRules, Dwords) {
  ExpectImports({
      {"\"a\"=dword:0000001a\n\"b\"=dword:1\n\"c\"=DWORD:4444",
       {{"a", Dword(0x1a)}, {"b", Dword(1)}, {"c", Dword(0x4444)}},
       {}},
      {"\"a\"=dword:  8\n\"b\"=dword:\t\tFFFFFFFF\t",
       {{"a", Dword(8)}, {"b", Dword(0xFFFFFFFF)}},
       {}},
      {"\"a\"=dword:1234;5678\n\"b\"=dword:1234  ;5678",
       {{"a", Dword(0x1234)}, {"b", Dword(0x1234)}},
       {}},
      {"\"a\"=dword:\n\"b\"=dword:hello\n\"c\"=dword:123456789\n\"d\"=dword:000000001",
       {{"a", kMissing}, {"b", kMissing}, {"c", kMissing}, {"d", kMissing}},
       {1, 2, 3, 4}},
      {"\"a\"=dword:12345678abc\n\"b\"=dword:0x12\n\"c\"=dword:12 "
       "34\n\"d\"=dword:12#34\n\"e\"=dword:12 #c",
       {{"a", kMissing}, {"b", kMissing}, {"c", kMissing}, {"d", kMissing}, {"e", kMissing}},
       {1, 2, 3, 4, 5}},
  });
}

TEST(RegeditImportRules, HexAndHexNValues) {
  ExpectImports({
      {"\"a\"=hex:aa,BB,1\n\"b\"=hex:\n\"c\"=hex:11,22,",
       {{"a", Data(3, "\xaa\xbb\x01")}, {"b", Data(3, "")}, {"c", Data(3, "\x11\x22")}},
       {}},
      {"\"a\"=hex(0):56\n\"b\"=hex(10):56\n\"c\"=hex(ffffffff):56",
       {{"a", Data(0, "V")}, {"b", Data(16, "V")}, {"c", Data(0xffffffff, "V")}},
       {}},
      // Windows 98 keeps hex(2) and hex(7) as written; XP and later add a terminator.
      {"\"a\"=hex(2):25,50,41,54,48,25\n\"b\"=hex(7):4c,69,6e,65",
       {{"a", Data(2, "%PATH%")}, {"b", Data(7, "Line")}},
       {}},
      {"\"a\"=hex:11,22  ;c\n\"b\"=hex:11,22;c\n\"c\"=hex:11, 22 ,33",
       {{"a", Data(3, "\x11\x22")}, {"b", Data(3, "\x11\x22")}, {"c", Data(3, "\x11\x22\x33")}},
       {}},
      {"\"a\"=hex(100000000):56\n\"b\"=hex(0x2):56\n\"c\"=hex(x2):56\n\"d\"=hex(2:56",
       {{"a", kMissing}, {"b", kMissing}, {"c", kMissing}, {"d", kMissing}},
       {1, 2, 3, 4}},
      {"\"a\"=hex:11,,22\n\"b\"=hex:,11\n\"c\"=hex:100\n\"d\"=hex:11 22\n\"e\"=hex:11,22 #c",
       {{"a", kMissing}, {"b", kMissing}, {"c", kMissing}, {"d", kMissing}, {"e", kMissing}},
       {1, 2, 3, 4, 5}},
      {"\"a\"=hex:11\\,22\n\"b\"=hex:11,\\22\n\"c\"=hex:11,\\ 22\n\"d\"=hex:11,/\n  22",
       {{"a", kMissing}, {"b", kMissing}, {"c", kMissing}, {"d", kMissing}},
       {1, 2, 3, 4, 5}},
  });
}

// Every pair of characters on either side of the digits' ranges, and bytes
// above ASCII, makes a byte exactly when both are hex digits.
TEST(RegeditImportRules, AHexByteIsTwoHexDigitsOfEitherCase) {
  const std::string around = "/09:@AFG`afg\x80\xff";
  auto digit = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  };
  ImportCase all;
  size_t line = 0;
  for (char high : around) {
    for (char low : around) {
      std::string name = "v" + std::to_string(++line);
      all.body += "\"" + name + "\"=hex:" + high + low + ",01\n";
      if (digit(high) && digit(low)) {
        char byte = static_cast<char>(std::stoi(std::string{high, low}, nullptr, 16));
        all.values.push_back({name, Data(3, std::string{byte, '\x01'})});
      } else {
        all.values.push_back({name, kMissing});
        all.passedOver.push_back(line);
      }
    }
  }
  ExpectImports({all});
}

TEST(RegeditImportRules, HexListsGoOnOverLines) {
  ExpectImports({
      {"\"a\"=hex:11,22,\\\n  33,44\n\"b\"=hex(2):\\\n  25,48",
       {{"a", Data(3, "\x11\x22\x33\x44")}, {"b", Data(2, "%H")}},
       {}},
      {"\"a\"=hex:11,  \\  ;c\n  22,\\;#c\n\t33", {{"a", Data(3, "\x11\x22\x33")}}, {}},
      // Blank lines and ; comments between the lines of a list are passed by.
      {"\"a\"=hex:11,\\\n\n \t\n  ;c\n;c\n  22", {{"a", Data(3, "\x11\x22")}}, {}},
      // A line without its \ ends the list; what follows is a line of its own.
      {"\"a\"=hex:11,\\;c\n  22,;c\n  33", {{"a", Data(3, "\x11\x22")}}, {3}},
      // A line that cannot go on with the list takes the value with it.
      {"\"a\"=hex:11,\\\n#c\n\"b\"=\"1\"", {{"a", kMissing}, {"b", Sz("1")}}, {1}},
      {"\"a\"=hex:11,\\\n  #c\n  22\n\"b\"=\"1\"", {{"a", kMissing}, {"b", Sz("1")}}, {1, 3}},
      {"\"a\"=hex:11,\\\n\"b\"=\"1\"\n\"c\"=\"2\"",
       {{"a", kMissing}, {"b", kMissing}, {"c", Sz("2")}},
       {1}},
      {"\"a\"=hex:11,\\\n@=\"1\"", {{"a", kMissing}, {"", kMissing}}, {1}},
      {"\"a\"=hex:11,\\\n[HKEY_CURRENT_USER\\T\\A]\n\"b\"=\"1\"",
       {{"a", kMissing}, {"A/b", kMissing}},
       {1}},
      {"\"a\"=hex:11,\\\n  ,22\n\"b\"=hex:11,\\\n  22,,33",
       {{"a", kMissing}, {"b", kMissing}},
       {1, 3}},
      {"\"a\"=hex:11,\\\n\\\n  22\n\"b\"=hex:11,\\\n  \\#c\n  22",
       {{"a", kMissing}, {"b", kMissing}},
       {1, 3, 4, 6}},
      {"\"a\"=hex:11,22,\\#c\n  33", {{"a", kMissing}}, {1, 2}},
      // A \ after a byte (not after a comma) goes on to nothing: the next line is its own.
      {"\"a\"=hex:11\\\n\"b\"=\"1\"\n\"c\"=hex:11,2\\\n  2",
       {{"a", kMissing}, {"b", Sz("1")}, {"c", kMissing}},
       {1, 3, 4}},
      // The end of the file ends a list that was to go on.
      {"\"a\"=hex(7):4c,69,\\", {{"a", Data(7, "Li")}}, {}},
      {"\"a\"=hex(7):4c,69\\", {{"a", kMissing}}, {1}},
  });
}

TEST(RegeditImportRules, Deletions) {
  ExpectImports({
      {"\"a\"=\"x\"\n\"a\"=-\n\"b\"=\"x\"\n\"b\"=  \t-\t \n\"c\"=\"x\"\n\"c\"=- ;c",
       {{"a", kMissing}, {"b", kMissing}, {"c", kMissing}},
       {}},
      {"\"a\"=\"x\"\n\"a\"=-\"y\"\n\"b\"=\"x\"\n\"b\"=- #c",
       {{"a", Sz("x")}, {"b", Sz("x")}},
       {2, 4}},
      {"[HKEY_CURRENT_USER\\T\\A]\n\"v\"=\"1\"\n[-hkey_current_user\\T\\a]",
       {{"A/v", kMissing}},
       {}},
      {"[HKEY_CURRENT_USER\\T\\A]\n\"v\"=\"1\"\n[ -HKEY_CURRENT_USER\\T\\A]\n[- "
       "HKEY_CURRENT_USER\\T\\A]\n[-\tHKEY_CURRENT_USER\\T\\A]",
       {{"A/v", Sz("1")}},
       {3, 4, 5}},
      // After a key deletion a value line has no key to go into.
      {"[-HKEY_CURRENT_USER\\T\\A]\n\"v\"=\"1\"\n[-HKEY_USERS]\n[-HKEY_CURRENT_USER\\Missing]",
       {{"v", kMissing}},
       {2, 3}},
  });
}

TEST(RegeditImportRules, Comments) {
  ExpectImports({
      {";c\n#c\n  ;c\n\t#c\n#\"a\"=\"1\"\n;\"b\"=\"1\"", {{"a", kMissing}, {"b", kMissing}}, {}},
      // A comment line that ends in \ goes on to nothing.
      {";c\\\n\"a\"=\"1\"\n#c\\\n\"b\"=\"2\"", {{"a", Sz("1")}, {"b", Sz("2")}}, {}},
      // After the data only a ; comment.
      {"\"a\"=\"1\";\"c\"=\"2\"\n\"b\"=\"1\"#\"c\"=\"2\"\n\"d\"=\"1\"  #c",
       {{"a", Sz("1")}, {"b", kMissing}, {"c", kMissing}, {"d", kMissing}},
       {2, 3}},
      {"\"a\"=#\"1\"\n\"b\"=;\"1\"\n\"c\"=#dword:1\n\"d\"=;dword:1",
       {{"a", kMissing}, {"b", kMissing}, {"c", kMissing}, {"d", kMissing}},
       {1, 2, 3, 4}},
  });
}

// The strict reading (a machine's registry.reg, winsim reg import --strict)
// refuses a file where the line-by-line one passes a line over, at that line.
TEST(RegeditImportRules, TheStrictReadingRefusesWhatIsPassedOver) {
  const std::string file =
      "REGEDIT4\n[HKEY_CURRENT_USER\\T]\n\"a\"=\"1\"\n\"b\"=hex:11,\\\n#c\n\"c\"=\"2\"\n";
  winsim::Registry lineByLine;
  winsim::Regedit4LineByLine result = winsim::ImportRegedit4LineByLine(file, lineByLine);
  ASSERT_EQ(result.passedOver.size(), 1u);
  EXPECT_EQ(result.passedOver[0].line, 4u);
  EXPECT_EQ(result.passedOver[0].lastLine, 5u);
  EXPECT_EQ(ValueOf(lineByLine, "c"), Sz("2"));

  winsim::Registry strict;
  std::optional<winsim::Regedit4Error> error = winsim::ImportRegedit4(file, strict);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->line, 5u);
  EXPECT_EQ(ValueOf(strict, "a"), kMissing);
}

}  // namespace
