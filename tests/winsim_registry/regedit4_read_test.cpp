// Reading REGEDIT4 files: what regedit writes and reads, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

using winsim::ImportRegedit4;
using winsim::Registry;

namespace {

const char kPci[] = "HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1A3C";

std::string Bytes(const Registry& registry, const std::string& key, const std::string& name) {
  const winsim::RegValue* value = registry.value(key, name);
  return value != nullptr ? std::to_string(value->type) + ":" + value->data : "missing";
}

TEST(Regedit4Read, TakesEveryValueFormRegeditWrites) {
  std::string file =
      "REGEDIT4\r\n"
      "\r\n"
      "; the modem\r\n"
      "[hkey_local_machine\\Enum\\\\PCI\\VEN_1A3C\\]\r\n"
      "@=\"Default\"\r\n"
      "\"Path\"=\"C:\\\\WINDOWS\\\\\\\"zel\\\"\"\r\n"
      "\"Raw\"=\"C:\\WINDOWS\"\r\n"
      "  \"Spaced\" = \"\"  \r\n"
      "\"Count\"=dword:0000001A\r\n"
      "\"Short\"=DWORD:7\r\n"
      "\"Blob\"=hex:01,ff,\\\r\n"
      "  0A , 3\r\n"
      "\"Multi\"=hex(7):41,00,00\r\n"
      "\"Odd\"=hex(1234abcd):\r\n"
      "\"Gone\"=\"x\"\r\n"
      "\"gone\"=-\r\n"
      "[HKLM\\Empty]\r\n";
  Registry registry;
  auto error = ImportRegedit4(file, registry);
  ASSERT_FALSE(error) << error->line << ": " << error->message;
  EXPECT_TRUE(registry.modified);
  EXPECT_EQ(Bytes(registry, kPci, ""), std::string("1:Default\0", 10));
  EXPECT_EQ(Bytes(registry, kPci, "path"), std::string("1:C:\\WINDOWS\\\"zel\"\0", 19));
  EXPECT_EQ(Bytes(registry, kPci, "Raw"), std::string("1:C:\\WINDOWS\0", 13));
  EXPECT_EQ(Bytes(registry, kPci, "Spaced"), std::string("1:\0", 3));
  EXPECT_EQ(Bytes(registry, kPci, "Count"), std::string("4:\x1a\0\0\0", 6));
  EXPECT_EQ(Bytes(registry, kPci, "Short"), std::string("4:\x07\0\0\0", 6));
  EXPECT_EQ(Bytes(registry, kPci, "Blob"), "3:\x01\xff\x0a\x03");
  EXPECT_EQ(Bytes(registry, kPci, "Multi"), std::string("7:A\0\0", 5));
  EXPECT_EQ(Bytes(registry, kPci, "Odd"), "305441741:");
  EXPECT_EQ(Bytes(registry, kPci, "Gone"), "missing");
  EXPECT_NE(registry.find("HKEY_LOCAL_MACHINE\\Empty"), nullptr);
}

TEST(Regedit4Read, LineEndsAndDeletionsWork) {
  for (const char* end : {"\r\n", "\n", "\r"}) {
    std::string file = std::string("REGEDIT4") + end + "[HKLM\\A\\B\\C]" + end + "\"v\"=\"1\"" +
                       end + "[HKLM\\A\\D]" + end + "[-HKLM\\A\\B]" + end + "[-HKLM\\Missing\\X]" +
                       end + "[HKLM\\A\\D]" + end + "\"none\"=-" + end + "\"w\"=hex:01,\\" + end +
                       "  02";
    Registry registry;
    auto error = ImportRegedit4(file, registry);
    ASSERT_FALSE(error) << error->line << ": " << error->message;
    EXPECT_EQ(registry.find("HKLM\\A\\B"), nullptr);
    EXPECT_EQ(Bytes(registry, "HKLM\\A\\D", "w"), "3:\x01\x02");
  }
}

struct BadFile {
  const char* text;
  size_t line;
  const char* says;
};

TEST(Regedit4Read, RefusesMalformedFilesNamingTheLineAndChangingNothing) {
  const BadFile cases[] = {
      {"", 1, "empty"},
      {"regedit4\r\n", 1, "REGEDIT4"},
      {"Windows Registry Editor Version 5.00\r\n", 1, "5.00"},
      {"\xFF\xFER\0E\0", 1, "UTF-16"},
      {"REGEDIT4\r\n\"v\"=\"x\"\r\n", 2, "[key]"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n[-HKLM\\A]\r\n\"v\"=\"x\"\r\n", 4, "deletes"},
      {"REGEDIT4\r\n[HKLM\\A\r\n", 2, "closing ]"},
      {"REGEDIT4\r\n[HKLM\\A] x\r\n", 2, "after"},
      {"REGEDIT4\r\n[HKEY_NOWHERE\\A]\r\n", 2, "not a registry root"},
      {"REGEDIT4\r\n[-HKEY_USERS]\r\n", 2, "root key cannot be deleted"},
      {"REGEDIT4\r\n[]\r\n", 2, "names no key"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=\"C:\\\"\r\n", 3, "closing quote"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v=\"x\"\r\n", 3, "expected ="},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=\"x\" y\r\n", 3, "after the string"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=dword:123456789\r\n", 3, "1 to 8 hex digits"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=dword:\r\n", 3, "1 to 8 hex digits"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=hex(7:00\r\n", 3, "hex("},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=hex:01,\\\r\n  02,zz\r\n", 4, "not a hex byte"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=hex:01,,02\r\n", 3, "comma"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=hex:012\r\n", 3, "one or two digits"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=hex:01 02\r\n", 3, "comma"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=hex:01,\\ 02\r\n", 3, "only a ; comment"},
      {"REGEDIT4\r\n[HKLM\\A]\r\n\"v\"=text\r\n", 3, "not \"text\""},
      {"REGEDIT4\r\n[HKLM\\A]\r\nv=1\r\n", 3, "not a [key] line"},
  };
  // A registry that holds keys has the file checked before anything is
  // applied; an empty one is emptied again. Either way nothing is left.
  for (bool startEmpty : {false, true}) {
    for (const BadFile& bad : cases) {
      SCOPED_TRACE(bad.text);
      Registry registry;
      if (!startEmpty) registry.create("HKLM\\Kept")->setValue("v", 1, "x");
      registry.modified = false;
      std::string text(bad.text,
                       bad.text[0] == '\xFF' ? 6 : std::char_traits<char>::length(bad.text));
      auto error = ImportRegedit4(text, registry);
      ASSERT_TRUE(error);
      EXPECT_EQ(error->line, bad.line);
      EXPECT_NE(error->message.find(bad.says), std::string::npos) << error->message;
      EXPECT_FALSE(registry.modified);
      if (startEmpty) {
        EXPECT_EQ(winsim::ExportRegedit4(registry), "REGEDIT4\r\n\r\n");
      } else {
        EXPECT_EQ(registry.root(winsim::Root::LocalMachine).subkeyCount(), 1u);
        EXPECT_EQ(registry.text("HKLM\\Kept", "v"), "x");
      }
    }
  }
}

TEST(Regedit4Read, RefusesKeysDeeperThanTheRegistryHolds) {
  std::string path = "HKLM";
  for (size_t i = 0; i <= winsim::kMaxKeyDepth; ++i) path += "\\k";
  Registry registry;
  auto error = ImportRegedit4("REGEDIT4\n;\n[" + path + "]\n", registry);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->line, 3u);
  EXPECT_EQ(registry.root(winsim::Root::LocalMachine).subkeyCount(), 0u);
}

// Whatever the bytes, the reader answers: a registry or an error on a line
// of the file.
TEST(Regedit4Read, NeverFailsBadlyOnDamagedFiles) {
  const std::string good =
      "REGEDIT4\r\n[HKLM\\A\\B]\r\n@=\"x\\\\y\\\"\"\r\n\"d\"=dword:00000001\r\n"
      "\"h\"=hex(2):41,42,\\\r\n  43,00\r\n[-HKLM\\A\\B]\r\n[HKCU\\C]\r\n\"e\"=-\r\n";
  const char kAlphabet[] = "[]\\\"@=-:,;()\r\n xX0fhHEKYd\xff";
  std::mt19937 random(3);
  for (int round = 0; round < 3000; ++round) {
    std::string text = good;
    for (int edits = 1 + random() % 4; edits > 0; --edits) {
      size_t at = random() % text.size();
      char c = kAlphabet[random() % (sizeof kAlphabet - 1)];
      switch (random() % 3) {
        case 0: text[at] = c; break;
        case 1: text.insert(at, 1, c); break;
        default: text.erase(at, 1); break;
      }
    }
    Registry registry;
    auto error = ImportRegedit4(text, registry);
    if (error) {
      EXPECT_GE(error->line, 1u);
      EXPECT_LE(error->line, 1u + static_cast<size_t>(std::count(text.begin(), text.end(), '\n') +
                                                      std::count(text.begin(), text.end(), '\r')));
      EXPECT_FALSE(error->message.empty());
    }
  }
}

}  // namespace
