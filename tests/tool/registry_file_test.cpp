// Registry files for reg import: REGEDIT4 untouched, the UTF-16 version 5.00
// format turned into the same REGEDIT4 file with its lines where they were.
#include "registry_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace winsim_tool {
namespace {

// UTF-16LE with a byte order mark, as regedit writes version 5.00 files.
std::string Utf16File(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// The file imported into an empty registry; fails the test when it does not import.
void Import(const RegistryFileText& file, winsim::Registry& registry) {
  ASSERT_EQ(file.errorLine, 0u) << file.error;
  std::optional<winsim::Regedit4Error> error = winsim::ImportRegedit4(file.regedit4, registry);
  ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
}

TEST(RegistryFile, Regedit4PassesAsItIs) {
  std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\A]\r\n\"x\"=\"caf\xe9\"\r\n";
  RegistryFileText file = ReadRegistryFileText(text);
  EXPECT_EQ(file.regedit4, text);
  EXPECT_FALSE(file.version5);
  EXPECT_EQ(file.errorLine, 0u);
}

TEST(RegistryFile, Version5BecomesTheSameValuesInTheCodePage) {
  // hex(2) holds "%windir%\é" as UTF-16 over a continuation line; the string
  // holds a euro sign, which code page 1252 has at 0x80.
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Wine Test]\r\n"
      u"\"Price\"=\"10 \u20ac\"\r\n"
      u"\"Path\"=hex(2):25,00,77,00,69,00,6e,00,64,00,69,00,72,00,25,00,5c,00,\\\r\n"
      u"  e9,00,00,00\r\n"
      u"\"Count\"=dword:0000001a\r\n"
      u"\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      u"@=hex(1):6f,00,6b,00,00,00\r\n";
  RegistryFileText file = ReadRegistryFileText(Utf16File(text));
  EXPECT_TRUE(file.version5);
  winsim::Registry registry;
  Import(file, registry);
  const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Wine Test";
  ASSERT_NE(registry.value(key, "Price"), nullptr);
  EXPECT_EQ(registry.value(key, "Price")->data, std::string("10 \x80\0", 5));
  ASSERT_NE(registry.value(key, "Path"), nullptr);
  EXPECT_EQ(registry.value(key, "Path")->type, 2u);
  EXPECT_EQ(registry.value(key, "Path")->data, std::string("%windir%\\\xe9\0", 11));
  EXPECT_EQ(registry.value(key, "Count")->data, std::string("\x1a\0\0\0", 4));
  EXPECT_EQ(registry.value(key, "List")->data, std::string("a\0b\0\0", 5));
  EXPECT_EQ(registry.value(key, "")->data, std::string("ok\0", 3));
}

TEST(RegistryFile, LinesKeepTheirNumbersForErrors) {
  // The continued value takes lines 4 and 5; the wrong line is line 6.
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
      u"\"Path\"=hex(2):41,00,\\\r\n"
      u"  42,00,00,00\r\n"
      u"this is not a registry line\r\n";
  RegistryFileText file = ReadRegistryFileText(Utf16File(text));
  ASSERT_EQ(file.errorLine, 0u);
  winsim::Registry registry;
  std::optional<winsim::Regedit4Error> error = winsim::ImportRegedit4(file.regedit4, registry);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->line, 6u);
}

TEST(RegistryFile, WhatTheCodePageCannotHoldIsRefusedWithItsLine) {
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
      u"\"Name\"=\"\u4e2d\"\r\n";
  RegistryFileText file = ReadRegistryFileText(Utf16File(text));
  EXPECT_EQ(file.errorLine, 4u);
  EXPECT_NE(file.error.find("U+4E2D"), std::string::npos) << file.error;
  EXPECT_TRUE(file.regedit4.empty());

  // The same character inside a hex(2) value's UTF-16 data.
  std::u16string inData =
      u"Windows Registry Editor Version 5.00\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
      u"\"Path\"=hex(2):2d,4e,00,00\r\n";
  RegistryFileText dataFile = ReadRegistryFileText(Utf16File(inData));
  EXPECT_EQ(dataFile.errorLine, 3u);
  EXPECT_NE(dataFile.error.find("U+4E2D"), std::string::npos) << dataFile.error;
}

TEST(RegistryFile, BrokenEncodingsAreRefused) {
  RegistryFileText odd =
      ReadRegistryFileText(std::string("\xFF\xFE"
                                       "R\0E\0G",
                                       7));
  EXPECT_NE(odd.errorLine, 0u);
  EXPECT_NE(odd.error.find("odd number"), std::string::npos) << odd.error;

  RegistryFileText bigEndian = ReadRegistryFileText(std::string("\xFE\xFF\0R", 4));
  EXPECT_NE(bigEndian.error.find("big-endian"), std::string::npos) << bigEndian.error;

  std::string badUtf8 =
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n"
      "\"x\"=\"\xe9\"\r\n";
  RegistryFileText utf8 = ReadRegistryFileText(badUtf8);
  EXPECT_EQ(utf8.errorLine, 3u);

  // An odd number of bytes in a UTF-16 value cannot be text.
  std::u16string oddData =
      u"Windows Registry Editor Version 5.00\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
      u"\"Path\"=hex(2):41,00,42\r\n";
  RegistryFileText data = ReadRegistryFileText(Utf16File(oddData));
  EXPECT_EQ(data.errorLine, 3u);
}

TEST(RegistryFile, Utf8Version5IsReadToo) {
  std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\A]\n\"Name\"=\"caf\xc3\xa9\"\n";
  RegistryFileText file = ReadRegistryFileText(text);
  winsim::Registry registry;
  Import(file, registry);
  ASSERT_NE(registry.value("HKEY_LOCAL_MACHINE\\Software\\A", "Name"), nullptr);
  EXPECT_EQ(registry.value("HKEY_LOCAL_MACHINE\\Software\\A", "Name")->data,
            std::string("caf\xe9\0", 5));
}

// An export of one key by a newer regedit (Wine's), read with the export's
// rules and imported: each row's lines below the key, and what its value holds.
struct ExportRow {
  std::u16string lines;
  std::string name;
  std::optional<std::string> data;  // nothing: the value is not there
  uint32_t type = 1;
};

TEST(RegistryFile, ExportsReadBackAsTheyWereKept) {
  const ExportRow rows[] = {
      {u"\"Quoted\"=\"say \\\"TRUE\\\"\"", "Quoted", std::string("say \"TRUE\"\0", 11)},
      // A string that ends in a backslash does not swallow the next line.
      {u"\"Path\"=\"C:\\\\\"\r\n\"After\"=\"x\"", "After", std::string("x\0", 2)},
      {u"\"DCB\"=hex:1c,00,\\\r\n  80,25", "DCB", std::string("\x1c\0\x80\x25", 4), 3},
      {u"\"None\"=hex(0):01,02", "None", std::string("\x01\x02"), 0},
      {u"\"Odd\"=hex(1):41,00,42,00,00,00,00,00", "Odd", std::string("AB\0\0", 4)},
      {u"\"Caf\u00e9\"=\"1\"", "Caf\xe9", std::string("1\0", 2)},
      // A line break or a NUL in a string: every byte, as hex(1).
      {u"\"Text\"=\"one\\r\\ntwo\\0three\"", "Text", std::string("one\r\ntwo\0three\0", 15)},
      {u"@=\"a\\\\n\"", "", std::string("a\\n\0", 4)},  // an escaped backslash, then n
      {u"\"Old\"=\"x\"\r\n\"Old\"=-", "Old", std::nullopt},
  };
  for (const ExportRow& row : rows) {
    SCOPED_TRACE(row.name);
    RegistryFileText file = ReadRegistryFileText(
        Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n" +
                  row.lines + u"\r\n"),
        kRegeditExport);
    winsim::Registry registry;
    Import(file, registry);
    const winsim::RegValue* value = registry.value("HKEY_LOCAL_MACHINE\\A", row.name);
    ASSERT_EQ(value != nullptr, row.data.has_value());
    if (value == nullptr) continue;
    EXPECT_EQ(value->type, row.type);
    EXPECT_EQ(value->data, *row.data);
  }
}

TEST(RegistryFile, AnExportIsRefusedWhenItIsNone) {
  const struct {
    std::string bytes;
    size_t line;
    const char* says;
  } rows[] = {
      {"REGEDIT4\r\n", 1, "Version 5.00"},
      {Utf16File(u"REGEDIT4\r\n"), 1, "Version 5.00"},
      {Utf16File(u"Windows Registry Editor Version 5.00\r\n\"A\"=\"\U0001F600\"\r\n"), 2,
       "U+1F600"},
  };
  for (const auto& row : rows) {
    RegistryFileText file = ReadRegistryFileText(row.bytes, kRegeditExport);
    EXPECT_EQ(file.errorLine, row.line) << row.says;
    EXPECT_NE(file.error.find(row.says), std::string::npos) << file.error;
  }
}

}  // namespace
}  // namespace winsim_tool
