// Writing REGEDIT4 files: the layout regedit uses, and every value read back
// byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

using winsim::ExportRegedit4;
using winsim::ImportRegedit4;
using winsim::Registry;

namespace {

// Export, import into an empty registry, export again: both registries and
// both files must be the same.
void ExpectRoundTrip(const Registry& original) {
  std::string first = ExportRegedit4(original);
  Registry loaded;
  auto error = ImportRegedit4(first, loaded);
  ASSERT_FALSE(error) << error->line << ": " << error->message << "\n" << first;
  EXPECT_TRUE(loaded.sameAs(original)) << first;
  EXPECT_EQ(ExportRegedit4(loaded), first);
}

TEST(Regedit4Write, WritesRegeditsLayout) {
  Registry registry;
  winsim::RegKey& modem = *registry.create("HKLM\\Software\\Zelvaran\\RQ31DFV");
  modem.setValue("", 1, std::string("Modem\0", 6));
  modem.setValue("Path \"x\"", 1, std::string("C:\\WIN\0", 7));
  modem.setValue("PortName", 1, std::string("COM2\0\0\0\0", 8));
  modem.setValue("Count", 4, std::string("\x1a\0\0\0", 4));
  modem.setValue("Flag", 3, "\x01");
  modem.setValue("List", 7, std::string("A\0\0", 3));
  registry.create("HKLM\\Software\\Empty");
  registry.create("HKEY_USERS\\.Default");
  EXPECT_EQ(ExportRegedit4(registry),
            "REGEDIT4\r\n"
            "\r\n[HKEY_LOCAL_MACHINE]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software\\Empty]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software\\Zelvaran]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]\r\n"
            "@=\"Modem\"\r\n"
            "\"Path \\\"x\\\"\"=\"C:\\\\WIN\"\r\n"
            "\"PortName\"=hex(1):43,4f,4d,32,00,00,00,00\r\n"
            "\"Count\"=dword:0000001a\r\n"
            "\"Flag\"=hex:01\r\n"
            "\"List\"=hex(7):41,00,00\r\n"
            "\r\n[HKEY_USERS]\r\n"
            "\r\n[HKEY_USERS\\.Default]\r\n"
            "\r\n");
  // One key: that key and what lies below it, under its full path.
  std::string part = ExportRegedit4(*registry.find("HKLM\\Software\\Zelvaran"));
  EXPECT_EQ(part.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Zelvaran]\r\n", 0), 0u);
  Registry loaded;
  ASSERT_FALSE(ImportRegedit4(part, loaded));
  EXPECT_TRUE(
      loaded.find("HKLM\\Software\\Zelvaran")->sameAs(*registry.find("HKLM\\Software\\Zelvaran")));
  EXPECT_EQ(loaded.find("HKLM\\Software\\Empty"), nullptr);
  EXPECT_EQ(loaded.root(winsim::Root::Users).subkeyCount(), 0u);
}

TEST(Regedit4Write, WrapsLongHexListsBeforeTheEightiethColumn) {
  Registry registry;
  std::string blob;
  for (int i = 0; i < 300; ++i) blob += static_cast<char>(i);
  registry.create("HKLM\\A")->setValue("A rather long value name", 3, blob);
  std::string file = ExportRegedit4(registry);
  std::istringstream lines(file);
  std::string line;
  int continued = 0;
  while (std::getline(lines, line)) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r');
    line.pop_back();
    EXPECT_LE(line.size(), 80u) << line;
    if (!line.empty() && line.back() == '\\') {
      ++continued;
      EXPECT_EQ(line[line.size() - 2], ',');
    }
  }
  EXPECT_GE(continued, 10);
  ExpectRoundTrip(registry);
}

// regedit ends a hex list's line after the first byte (not the last) that
// reaches column 77, wherever the list starts: the line is then 77 to 79
// characters before its backslash, and one byte shorter it would be below 77.
TEST(Regedit4Write, WrapsAHexListAtTheFirstByteThatReachesColumn77) {
  for (size_t nameLength = 0; nameLength <= 14; ++nameLength) {
    for (uint32_t type : {3u, 7u, 0x12346u}) {
      for (size_t size = 1; size <= 70; ++size) {
        Registry registry;
        registry.create("HKLM\\A")->setValue(std::string(nameLength, 'n'), type,
                                             std::string(size, '\x5a'));
        std::string file = ExportRegedit4(registry);
        size_t start = file.find("\\A]\r\n") + 5;
        std::string text = file.substr(start, file.find("\r\n\r\n", start) - start);
        SCOPED_TRACE("name " + std::to_string(nameLength) + ", type " + std::to_string(type) +
                     ", " + std::to_string(size) + " bytes:\n" + text);
        size_t bytes = 0;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
          if (!line.empty() && line.back() == '\r') line.pop_back();
          bytes += static_cast<size_t>(std::count(line.begin(), line.end(), '5'));
          if (line.back() == '\\') {
            line.pop_back();
            EXPECT_GE(line.size(), 77u);
            EXPECT_LT(line.size() - 3, 77u);
          } else {
            EXPECT_LT(line.size() - 2, 77u);
          }
        }
        EXPECT_EQ(bytes, size);
      }
    }
  }
}

TEST(Regedit4Write, KeepsOddValuesAndNamesByteForByte) {
  Registry registry;
  winsim::RegKey& key = *registry.create("HKLM\\Odd]Key\\ lead and trail \\\xe9t\xe9");
  key.setValue("", 1, "");  // empty REG_SZ
  key.setValue("term only", 1, std::string("\0", 1));
  key.setValue("no terminator", 1, "COM2");
  key.setValue("after nul", 1, std::string("ENG\0junk\0", 9));
  key.setValue("line\tbreak", 1, std::string("a\r\nb\0", 5));  // must not split a line
  key.setValue("quote\"back\\slash", 1, std::string("\"\\\"\\\0", 5));
  key.setValue("ansi", 1, std::string("caf\xe9\x7f\0", 6));
  key.setValue("expand", 2, std::string("%windir%\0", 9));
  key.setValue("short dword", 4, "\x01\x02");
  key.setValue("empty binary", 3, "");
  key.setValue("big endian", 5, "\x00\x00\x00\x01");
  key.setValue("huge type", 0xfedcba98u, "x");
  key.setValue("none", 0, "");
  key.setValue("[section]", 1, std::string("[HKLM\\Fake]\0", 12));
  registry.create("HKCU\\;not a comment\\-dash");
  ExpectRoundTrip(registry);
}

TEST(Regedit4Write, RandomRegistriesRoundTrip) {
  std::mt19937 random(5);
  const char kChars[] = "aZ09 _\\\"[]@=;-,\xe9\x01\t";
  auto name = [&](size_t longest) {
    std::string text;
    for (size_t n = random() % longest; n > 0; --n) text += kChars[random() % (sizeof kChars - 1)];
    return text;
  };
  for (int round = 0; round < 20; ++round) {
    Registry registry;
    for (int k = 0; k < 40; ++k) {
      std::string path = "HKEY_LOCAL_MACHINE";
      for (int depth = 1 + random() % 4; depth > 0; --depth) path += "\\" + name(8) + "k";
      winsim::RegKey* key = registry.create(path);
      ASSERT_NE(key, nullptr);
      for (int v = random() % 6; v > 0; --v) {
        std::string data = name(120);
        if (random() % 2) data += '\0';
        key->setValue(name(10), random() % 8, data);
      }
    }
    ExpectRoundTrip(registry);
  }
}

}  // namespace
