#include "detection.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "setup_machine.h"

namespace {

using setuptest::AddPciDevice;
using setuptest::kPciKeyPath;

constexpr char kNoDevice[] = "FFFFFFFFFFFFFFFFFFF";

class Detection : public ::testing::Test {
 protected:
  void SetUp() override { machine.run(); }
  void addDevices(std::initializer_list<const char*> names) {
    for (const char* name : names) AddPciDevice(machine, name);
  }
  std::string detect() {
    rq47set::ModemDevice device = rq47set::DetectModemHardware();
    EXPECT_EQ(machine.run().openHandleCount(), 0u);
    EXPECT_EQ(std::string(device.keyPath), "Enum\\PCI\\" + std::string(device.instanceId));
    return device.instanceId;
  }
  rq47test::TestMachine machine;
};

TEST_F(Detection, TheWholeNameOfTheModemsKeyBecomesTheDeviceInstanceId) {
  addDevices({"VEN_8086&DEV_7110&SUBSYS_00000000&REV_01",
              "VEN_1A3C&DEV_2210&SUBSYS_12345678&REV_02",
              "VEN_10EC&DEV_8139&SUBSYS_00000000&REV_10"});
  EXPECT_EQ(detect(), "VEN_1A3C&DEV_2210&SUBSYS_12345678&REV_02");
}

TEST_F(Detection, EachSupportedIdIsFound) {
  for (const char* id : {"VEN_1B27&DEV_0905", "VEN_1C5E&DEV_4700", "VEN_1A3C&DEV_2210"}) {
    SCOPED_TRACE(id);
    machine.registry().remove(kPciKeyPath);
    addDevices({"VEN_8086&DEV_7110", id});
    EXPECT_EQ(detect(), id);
  }
}

TEST_F(Detection, TheFourthDigitOfTheDeviceNumberIsNotCompared) {
  addDevices({"VEN_1A3C&DEV_2211&SUBSYS_00000000"});
  EXPECT_EQ(detect(), "VEN_1A3C&DEV_2211&SUBSYS_00000000");
}

TEST_F(Detection, SixteenCharactersAreEnoughAndFifteenAreNot) {
  addDevices({"VEN_1B27&DEV_090"});
  EXPECT_EQ(detect(), "VEN_1B27&DEV_090");

  machine.registry().remove(kPciKeyPath);
  addDevices({"VEN_1B27&DEV_09"});
  EXPECT_EQ(detect(), kNoDevice);
}

TEST_F(Detection, NamesThatDifferInCaseOrInTheComparedDigitsAreNotFound) {
  addDevices({"ven_1a3c&dev_2210&subsys_00000000", "VEN_1a3c&DEV_2210", "VEN_1A3C&DEV_2220",
              "VEN_1A3D&DEV_2210", "XVEN_1A3C&DEV_2210", "VEN_1A3C_DEV_2210"});
  EXPECT_EQ(detect(), kNoDevice);
}

TEST_F(Detection, OfSeveralModemsTheOneWithTheHighestIndexWins) {
  // Subkeys enumerate in alphabetical order: the modems are at indices 2 and 5.
  addDevices({"VEN_1000&DEV_0001", "VEN_1002&DEV_0002", "VEN_1A3C&DEV_2210&SUBSYS_1",
              "VEN_1AAA&DEV_0001", "VEN_1B00&DEV_0001", "VEN_1B27&DEV_0905&SUBSYS_2"});
  EXPECT_EQ(detect(), "VEN_1B27&DEV_0905&SUBSYS_2");
}

TEST_F(Detection, TheOrderOfTheSupportedIdsDoesNotDecide) {
  // The second supported id at the higher index wins over the first.
  addDevices({"VEN_1B27&DEV_0905&SUBSYS_1", "VEN_1C5E&DEV_4700&SUBSYS_2"});
  EXPECT_EQ(detect(), "VEN_1C5E&DEV_4700&SUBSYS_2");
}

TEST_F(Detection, ANameTooLongToBeStoredWholeIsPassedOver) {
  const std::string longest = "VEN_1B27&DEV_0905&SUBSYS_00000000&REV_01X";   // 41 characters
  const std::string tooLong = "VEN_1C5E&DEV_4700&SUBSYS_00000000&REV_01XY";  // 42 characters
  ASSERT_EQ(longest.size(), 41u);
  ASSERT_EQ(tooLong.size(), 42u);

  addDevices({tooLong.c_str()});
  EXPECT_EQ(detect(), kNoDevice);

  // A shorter modem at a lower index is found instead.
  addDevices({longest.c_str()});
  EXPECT_EQ(detect(), longest);
}

TEST_F(Detection, NamesBeyondTheKeyNameBufferArePassedOver) {
  addDevices({"VEN_1A3C&DEV_2210", ("VEN_1C5E&DEV_4700&" + std::string(90, 'X')).c_str()});
  EXPECT_EQ(detect(), "VEN_1A3C&DEV_2210");
}

TEST_F(Detection, AFailedEnumerationGoesOnWithTheNextLowerIndex) {
  addDevices({"VEN_1A3C&DEV_2210&SUBSYS_1", "VEN_1B27&DEV_0905&SUBSYS_2"});
  machine.run().addFault({"RegEnumKeyExA", "", 1, ERROR_ACCESS_DENIED});
  EXPECT_EQ(detect(), "VEN_1A3C&DEV_2210&SUBSYS_1");
}

TEST_F(Detection, NoPciDevicesLeaveTheDefault) {
  EXPECT_EQ(detect(), kNoDevice);  // no Enum\PCI at all
  machine.createKey(kPciKeyPath);
  EXPECT_EQ(detect(), kNoDevice);  // Enum\PCI without subkeys
  addDevices({"VEN_8086&DEV_7110&SUBSYS_00000000&REV_01"});
  EXPECT_EQ(detect(), kNoDevice);  // no modem among them
}

}  // namespace
