#include "registry_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "modem_names.h"
#include "test_machine.h"
#include "unique_hkey.h"

namespace {

using rq47test::Hklm;

// NT keeps every byte a program passes, so on its registry these tests see the
// bytes of each write; a Windows 95/98 registry keeps a string's text and one
// NUL (RegistryValuesOnWindows9x below).
winsim::MachineConfig OnPlatform(uint32_t platform) {
  winsim::MachineConfig config;
  config.platform = platform;
  return config;
}

class RegistryValues : public ::testing::Test {
 protected:
  explicit RegistryValues(uint32_t platform = 2) : machine(OnPlatform(platform)) {}
  void SetUp() override {
    machine.run();
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    key.reset();
    EXPECT_EQ(machine.run().openHandleCount(), 0u);
  }

  const winsim::RegValue* stored(const char* name) {
    return machine.registry().value(Hklm(kVendorKey), name);
  }
  std::string bytes(const char* name) { return machine.valueBytes(Hklm(kVendorKey), name).value(); }

  rq47test::TestMachine machine;
  UniqueHkey key;
};

class RegistryValuesOnWindows9x : public RegistryValues {
 protected:
  RegistryValuesOnWindows9x() : RegistryValues(1) {}
};

TEST_F(RegistryValues, TextIsPaddedWithZeroBytesToTheExactCount) {
  EXPECT_EQ(WriteFixedString(key.get(), "Language", "Domestic English", 22), ERROR_SUCCESS);
  const winsim::RegValue* language = stored("Language");
  ASSERT_NE(language, nullptr);
  EXPECT_EQ(language->type, static_cast<uint32_t>(REG_SZ));
  EXPECT_EQ(language->data, std::string("Domestic English") + std::string(6, '\0'));
  EXPECT_EQ(language->data.size(), 22u);
}

TEST_F(RegistryValues, BytesAfterTheFieldsTerminatorAreNotWritten) {
  char portName[20];
  std::fill(std::begin(portName), std::end(portName), 'X');
  std::copy_n("COM2", 5, portName);
  EXPECT_EQ(WriteFixedString(key.get(), "PortName", portName, 20), ERROR_SUCCESS);
  EXPECT_EQ(bytes("PortName"), std::string("COM2") + std::string(16, '\0'));
}

TEST_F(RegistryValues, ACountBeyondTheFieldIsPaddedNotReadPastTheField) {
  char shortField[4] = {'A', 'B', 'C', 'D'};  // filled, no terminator
  EXPECT_EQ(WriteFixedString(key.get(), "Short", shortField, 8), ERROR_SUCCESS);
  EXPECT_EQ(bytes("Short"), std::string("ABCD") + std::string(4, '\0'));
}

TEST_F(RegistryValues, TextLongerThanTheCountIsNeverCut) {
  ASSERT_EQ(WriteFixedString(key.get(), "PNP ID", "kept", 10), ERROR_SUCCESS);
  EXPECT_EQ(WriteFixedString(key.get(), "PNP ID", "twelve chars", 10), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(bytes("PNP ID"), std::string("kept") + std::string(6, '\0'));

  char field[16] = "eleven char";
  EXPECT_EQ(WriteFixedString(key.get(), "Field", field, 8), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(stored("Field"), nullptr);
}

TEST_F(RegistryValues, TextThatFillsTheCountExactlyIsWrittenWhole) {
  EXPECT_EQ(WriteFixedString(key.get(), "Exact", "12345678", 8), ERROR_SUCCESS);
  EXPECT_EQ(bytes("Exact"), "12345678");
  char field[9] = "abcdefgh";
  EXPECT_EQ(WriteFixedString(key.get(), "ExactField", field, 8), ERROR_SUCCESS);
  EXPECT_EQ(bytes("ExactField"), "abcdefgh");
}

TEST_F(RegistryValues, CountsOutsideTheSupportedRangeWriteNothing) {
  EXPECT_EQ(WriteFixedString(key.get(), "Zero", "", 0), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WriteFixedString(key.get(), "Huge", "x", 100000), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(stored("Zero"), nullptr);
  EXPECT_EQ(stored("Huge"), nullptr);
}

TEST_F(RegistryValues, ByteValuesAreOneBinaryByte) {
  EXPECT_EQ(WriteByteValue(key.get(), "MicGain", 80), ERROR_SUCCESS);
  const winsim::RegValue* gain = stored("MicGain");
  ASSERT_NE(gain, nullptr);
  EXPECT_EQ(gain->type, static_cast<uint32_t>(REG_BINARY));
  EXPECT_EQ(gain->data, std::string(1, '\x50'));
}

TEST_F(RegistryValues, ReadFillsTheFieldWithTheValueAndZerosToItsEnd) {
  machine.setBytes(Hklm(kVendorKey), "Language", REG_SZ, std::string("abc\0\0", 5));
  char field[21];
  std::fill(std::begin(field), std::end(field), '#');
  EXPECT_EQ(ReadFixedString(key.get(), "Language", field, 20), ERROR_SUCCESS);
  EXPECT_EQ(std::string(field, sizeof field), std::string("abc") + std::string(18, '\0'));
}

TEST_F(RegistryValues, ReadIgnoresTheTypeAndTerminatesAValueOfExactlyTheCapacity) {
  machine.setBytes(Hklm(kVendorKey), "Raw", REG_BINARY, "12345678");
  char field[9];
  std::fill(std::begin(field), std::end(field), '#');
  EXPECT_EQ(ReadFixedString(key.get(), "Raw", field, 8), ERROR_SUCCESS);
  EXPECT_STREQ(field, "12345678");
}

TEST_F(RegistryValues, AValueLargerThanTheCapacityLeavesTheFieldUnchanged) {
  machine.setBytes(Hklm(kVendorKey), "Long", REG_SZ, std::string("123456789", 9));
  char field[9] = "previous";
  EXPECT_EQ(ReadFixedString(key.get(), "Long", field, 8), ERROR_MORE_DATA);
  EXPECT_EQ(std::string(field, sizeof field), std::string("previous", 9));
}

TEST_F(RegistryValues, AMissingValueLeavesTheFieldUnchanged) {
  char field[8] = "before";
  EXPECT_EQ(ReadFixedString(key.get(), "Absent", field, 7), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(std::string(field, sizeof field), std::string("before\0", 8));
}

TEST_F(RegistryValues, AFieldWithoutRoomForATerminatorIsRefusedUntouched) {
  machine.setBytes(Hklm(kVendorKey), "Four", REG_SZ, "abcd");
  char field[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(ReadFixedText(key.get(), "Four", field, sizeof field, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(std::string(field, sizeof field), "wxyz");
}

TEST_F(RegistryValues, ByteReadsTakeOnlyOneByteValues) {
  machine.setBytes(Hklm(kVendorKey), "One", REG_BINARY, std::string(1, '\x2a'));
  machine.setBytes(Hklm(kVendorKey), "Two", REG_BINARY, std::string("\x01\x02", 2));
  machine.setBytes(Hklm(kVendorKey), "Empty", REG_BINARY, std::string());
  BYTE value = 7;
  EXPECT_EQ(ReadByteValue(key.get(), "One", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0x2a);
  value = 7;
  EXPECT_EQ(ReadByteValue(key.get(), "Two", &value), ERROR_MORE_DATA);
  EXPECT_NE(ReadByteValue(key.get(), "Empty", &value), ERROR_SUCCESS);
  EXPECT_EQ(ReadByteValue(key.get(), "Absent", &value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, 7);
}

TEST_F(RegistryValues, WrittenValuesReadBackToTheSameText) {
  char written[20] = "COM3";
  ASSERT_EQ(WriteFixedString(key.get(), "PortName", written, 20), ERROR_SUCCESS);
  char readBack[21] = "stale text";
  ASSERT_EQ(ReadFixedString(key.get(), "PortName", readBack, 20), ERROR_SUCCESS);
  EXPECT_STREQ(readBack, "COM3");
}

// Windows 95/98 keep the text of each write and one NUL, so a value reads
// back shorter than the count written, and the field is whole all the same.
TEST_F(RegistryValuesOnWindows9x, AWriteKeepsTheTextAndReadsBackShorterThanItsCount) {
  struct Case {
    const char* name;
    const char* text;
    DWORD count;
  };
  for (const Case& c : {Case{"PortName", "COM3", 20}, Case{"Language", "Domestic English", 22},
                        Case{"Exact", "12345678", 8}}) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(WriteFixedString(key.get(), c.name, c.text, c.count), ERROR_SUCCESS);
    EXPECT_EQ(bytes(c.name), std::string(c.text) + '\0');
    char readBack[24];
    std::fill(std::begin(readBack), std::end(readBack), '#');
    // A text that filled its count is kept with a NUL after it: one byte more.
    DWORD capacity = std::max<DWORD>(c.count, static_cast<DWORD>(std::strlen(c.text) + 1));
    ASSERT_EQ(ReadFixedText(key.get(), c.name, readBack, sizeof readBack, capacity), ERROR_SUCCESS);
    EXPECT_EQ(std::string(readBack, sizeof readBack),
              std::string(c.text) + std::string(sizeof readBack - std::strlen(c.text), '\0'));
  }
}

// The largest count a write takes, filled by its text: Windows 95/98 read the
// text on to its NUL, which must lie in the program's buffer.
TEST_F(RegistryValuesOnWindows9x, ATextFillingTheLargestCountIsReadNoFurtherThanItsBuffer) {
  std::string text(256, 'x');
  ASSERT_EQ(WriteFixedText(key.get(), "Large", REG_SZ, text.c_str(), text.size(), 256),
            ERROR_SUCCESS);
  EXPECT_EQ(bytes("Large"), text + '\0');
}

}  // namespace
