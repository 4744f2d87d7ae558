// The modem's wave devices below "Enum\MODEMWAVE" and their software keys.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "installed_modem.h"
#include "registry_cleanup.h"
#include "uninstall_context.h"
#include "uninstall_keys.h"
#include "winsim/regedit4.h"

namespace rq47test {
namespace {

class ModemWaveCleanup : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallModemKeys(m);
    m.run();
    zuninst::StartUninstallContext(context);
  }
  void TearDown() override {
    EXPECT_EQ(m.run().openHandleCount(), 0u);
    EXPECT_TRUE(m.run().messageBoxes().empty());
    // Other wave devices and software keys are never touched.
    EXPECT_TRUE(m.keyExists(kOtherWave + "\\0000"));
    EXPECT_TRUE(m.keyExists(kClassKeyPath + "\\MEDIA\\0009"));
    EXPECT_TRUE(m.keyExists(kOtherSoftware));
    EXPECT_TRUE(m.keyExists(kModemWaveKeyPath));
  }

  // The ten wave steps in the sequence's order.
  void RunWaveSteps() {
    for (const char* key : zuninst::kModemWaveKeys) {
      zuninst::RemoveModemWaveSoftwareKey(context, key);
    }
    for (const char* key : zuninst::kModemWaveKeys) zuninst::RemoveModemWaveKey(context, key);
  }

  void ExpectNoWaveKeyLeft() {
    for (const std::string& key : kWaveKeys) EXPECT_FALSE(m.keyExists(key)) << key;
  }

  TestMachine m;
  zuninst::UninstallContext context;
};

TEST_F(ModemWaveCleanup, NoWaveKeyChangesNothing) {
  MachineSnapshot before = Snapshot(m);
  RunWaveSteps();
  EXPECT_TRUE(Unchanged(before, m));
  EXPECT_STREQ(context.instanceName, "");
}

TEST_F(ModemWaveCleanup, OnlySecondKeyLosesInstanceAndItself) {
  AddWaveInstance(m, kWaveKeys[1], "0002", 4);
  RunWaveSteps();
  EXPECT_STREQ(context.instanceName, "0002");
  EXPECT_FALSE(m.keyExists(WaveSoftware(4)));
  ExpectNoWaveKeyLeft();
  // Its own instance name, reused on the same key, found the instance there.
  EXPECT_EQ(CallsOf(m.run(), "RegDeleteKeyA", "\"0002\") = ERROR_SUCCESS").size(), 1u);
}

TEST_F(ModemWaveCleanup, FirstAndLastKeysWithDifferentInstanceNames) {
  AddWaveInstance(m, kWaveKeys[0], "0000", 2);
  AddWaveInstance(m, kWaveKeys[4], "0001", 3);
  RunWaveSteps();
  // The name left behind is the last key's; both software keys are gone.
  EXPECT_STREQ(context.instanceName, "0001");
  EXPECT_FALSE(m.keyExists(WaveSoftware(2)));
  EXPECT_FALSE(m.keyExists(WaveSoftware(3)));
  ExpectNoWaveKeyLeft();
  // The first key has no instance "0001"; its own deletion took "0000".
  EXPECT_EQ(CallsOf(m.run(), "RegDeleteKeyA", "\"0001\") = ERROR_FILE_NOT_FOUND").size(), 1u);
}

TEST_F(ModemWaveCleanup, KeyWithoutInstanceIsStillRemoved) {
  m.createKey(kWaveKeys[3]);
  RunWaveSteps();
  EXPECT_STREQ(context.instanceName, "");
  ExpectNoWaveKeyLeft();
  EXPECT_TRUE(m.keyExists(kClassKeyPath));
}

TEST_F(ModemWaveCleanup, InstanceWithoutDriverValueLeavesSoftwareKeys) {
  m.setString(kWaveKeys[2] + "\\0000", "Mfg", "Zelvaran");
  std::string classBefore = winsim::ExportRegedit4(*m.registry().find(kClassKeyPath));
  RunWaveSteps();
  EXPECT_EQ(winsim::ExportRegedit4(*m.registry().find(kClassKeyPath)), classBefore);
  EXPECT_STREQ(context.instanceName, "0000");
  ExpectNoWaveKeyLeft();
}

TEST_F(ModemWaveCleanup, DriverValueNamingNoSoftwareKeyKeepsTheClassRoot) {
  // Deleting these names below the class root would delete the class root
  // itself, or a whole class with every other device's software key in it.
  for (const char* driver : {"", "\\", "\\\\", "MEDIA", "MEDIA\\", "\\MEDIA\\"}) {
    SCOPED_TRACE(std::string("driver \"") + driver + "\"");
    m.setString(kWaveKeys[0] + "\\0000", "driver", driver);
    std::string classBefore = winsim::ExportRegedit4(*m.registry().find(kClassKeyPath));
    zuninst::StartUninstallContext(context);
    RunWaveSteps();
    ASSERT_TRUE(m.keyExists(kClassKeyPath));
    EXPECT_EQ(winsim::ExportRegedit4(*m.registry().find(kClassKeyPath)), classBefore);
    ExpectNoWaveKeyLeft();
  }
}

TEST_F(ModemWaveCleanup, DriverValueTooLongDeletesNoSoftwareKey) {
  const std::string longDriver = "MEDIA\\" + std::string(44, '0');  // 51 bytes
  m.setString(kWaveKeys[0] + "\\0000", "driver", longDriver);
  m.setString(kClassKeyPath + "\\" + longDriver.substr(0, 49), "DriverDesc", "cut name");
  m.setString(kClassKeyPath + "\\" + longDriver, "DriverDesc", "full name");
  RunWaveSteps();
  EXPECT_TRUE(m.keyExists(kClassKeyPath + "\\" + longDriver.substr(0, 49)));
  EXPECT_TRUE(m.keyExists(kClassKeyPath + "\\" + longDriver));
  ExpectNoWaveKeyLeft();
}

}  // namespace
}  // namespace rq47test
