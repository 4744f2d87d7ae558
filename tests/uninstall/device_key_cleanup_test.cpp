// The modem's PCI device key and the software key of its first instance.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "installed_modem.h"
#include "registry_cleanup.h"
#include "uninstall_context.h"

namespace rq47test {
namespace {

class DeviceKeyCleanup : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallModemKeys(m);
    m.run();
    zuninst::StartUninstallContext(context);
  }
  void TearDown() override { EXPECT_EQ(m.run().openHandleCount(), 0u); }

  // The two device steps as the sequence runs them.
  void RunDeviceSteps() {
    zuninst::RemovePciDeviceSoftwareKey(context);
    zuninst::RemovePciDeviceKey(context);
  }

  TestMachine m;
  zuninst::UninstallContext context;
};

TEST_F(DeviceKeyCleanup, VendorKeyLeadsToDeviceAndItsSoftwareKey) {
  MachineSnapshot before = Snapshot(m);
  RunDeviceSteps();
  EXPECT_FALSE(m.keyExists(kModemSoftware));
  EXPECT_FALSE(m.keyExists(kModemDevice));
  EXPECT_EQ(std::string(context.deviceKeyPath), std::string("Enum\\PCI\\") + kModemId);
  EXPECT_TRUE(ChangedOnly(before, m, {kModemSoftware, kModemDevice}));
  EXPECT_TRUE(m.run().messageBoxes().empty());
}

TEST_F(DeviceKeyCleanup, ServiceKeyIsPreferredWhenItHoldsTheId) {
  const std::string otherId = "VEN_1A2B&DEV_3C4E";
  m.setBytes(kServiceKeyPath, "PNP ID", REG_SZ, PnpIdBytes(otherId));
  m.setString(kPciKeyPath + "\\" + otherId + "\\0000", "driver", "Modem\\0004");
  m.setString(kClassKeyPath + "\\Modem\\0004", "DriverDesc", "earlier modem");

  RunDeviceSteps();
  EXPECT_FALSE(m.keyExists(kPciKeyPath + "\\" + otherId));
  EXPECT_FALSE(m.keyExists(kClassKeyPath + "\\Modem\\0004"));
  EXPECT_TRUE(m.keyExists(kModemDevice));
  EXPECT_TRUE(m.keyExists(kModemSoftware));
  EXPECT_TRUE(m.keyExists(kServiceKeyPath));
}

TEST_F(DeviceKeyCleanup, ServiceKeyWithoutIdWinsOverVendorKey) {
  m.setString(kServiceKeyPath, "Version", "2.10");
  MachineSnapshot before = Snapshot(m);
  RunDeviceSteps();
  EXPECT_TRUE(Unchanged(before, m));
  EXPECT_EQ(std::string(context.deviceKeyPath), "Enum\\PCI\\");
  EXPECT_TRUE(m.run().messageBoxes().empty());
}

TEST_F(DeviceKeyCleanup, NeitherKeyOpens) {
  m.registry().remove(kVendorKeyPath);
  MachineSnapshot before = Snapshot(m);
  RunDeviceSteps();
  EXPECT_TRUE(Unchanged(before, m));
  ASSERT_EQ(m.run().messageBoxes().size(), 1u);
  const winsim::MessageBoxRecord& box = m.run().messageBoxes()[0];
  EXPECT_EQ(box.text, "Could not open either key");
  EXPECT_EQ(box.caption, "Zelvaran RQ47 Modem");
  EXPECT_EQ(box.style, static_cast<uint32_t>(MB_OK));
}

TEST_F(DeviceKeyCleanup, UnusableIdsLeaveTheDeviceKey) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", std::string(1, '\0')},
      // Padded, or with no terminator: only NT or an offline edit leaves these.
      {"empty, padded", std::string(42, '\0')},
      {"one byte too long", std::string(43, 'A')},
      {"longer id with terminator", kModemId + std::string(10, 'X') + '\0'},
      // Would name "Enum\PCI" itself and every PCI device with it.
      {"only separators", PnpIdBytes("\\\\")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zuninst::StartUninstallContext(context);
    m.setBytes(kVendorKeyPath, "PNP ID", REG_SZ, c.bytes);
    MachineSnapshot before = Snapshot(m);
    RunDeviceSteps();
    EXPECT_TRUE(Unchanged(before, m));
  }
}

TEST_F(DeviceKeyCleanup, IdOfExactlyFortyTwoBytesWithoutTerminator) {
  const std::string id(42, 'V');
  m.setBytes(kVendorKeyPath, "PNP ID", REG_SZ, id);
  m.setString(kPciKeyPath + "\\" + id + "\\0000", "driver", "Modem\\0003");
  RunDeviceSteps();
  EXPECT_FALSE(m.keyExists(kPciKeyPath + "\\" + id));
  EXPECT_FALSE(m.keyExists(kModemSoftware));
  EXPECT_TRUE(m.keyExists(kModemDevice));
}

TEST_F(DeviceKeyCleanup, MissingDeviceKeyDeletesNothingElse) {
  m.registry().remove(kModemDevice);
  MachineSnapshot before = Snapshot(m);
  RunDeviceSteps();
  EXPECT_TRUE(Unchanged(before, m));
  // The device key step still asks for the deletion of the missing key.
  EXPECT_EQ(CallsOf(m.run(), "RegDeleteKeyA", kModemId).size(), 1u);
}

TEST_F(DeviceKeyCleanup, DeviceKeyGoesEvenWhenItsSoftwareKeyStays) {
  struct Case {
    const char* what;
    winsim::FaultRule fault;
  };
  const Case cases[] = {
      {"class root does not open", {"RegOpenKeyExA", "Class", 0, 0}},
      {"software key not deleted", {"RegDeleteKeyA", "Modem", 0, ERROR_ACCESS_DENIED}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestMachine machine;
    InstallModemKeys(machine);
    zuninst::StartUninstallContext(context);
    machine.run().addFault(c.fault);
    zuninst::RemovePciDeviceSoftwareKey(context);
    machine.run().clearFaults();
    zuninst::RemovePciDeviceKey(context);
    EXPECT_TRUE(machine.keyExists(kModemSoftware));
    EXPECT_FALSE(machine.keyExists(kModemDevice));
    EXPECT_TRUE(machine.keyExists(kClassKeyPath));
    EXPECT_EQ(machine.run().openHandleCount(), 0u);
  }
}

TEST_F(DeviceKeyCleanup, DeviceKeyGoesWhenItsInstanceNamesNoSoftwareKey) {
  // No instance; an instance without "driver"; an instance with an empty one.
  m.registry().remove(kModemInstance);
  m.createKey(kModemDevice);
  MachineSnapshot before = Snapshot(m);
  RunDeviceSteps();
  EXPECT_FALSE(m.keyExists(kModemDevice));

  zuninst::StartUninstallContext(context);
  m.setString(kModemInstance, "PortName", "COM2");
  RunDeviceSteps();
  EXPECT_FALSE(m.keyExists(kModemDevice));

  zuninst::StartUninstallContext(context);
  m.setString(kModemInstance, "driver", "");
  RunDeviceSteps();
  EXPECT_FALSE(m.keyExists(kModemDevice));
  EXPECT_TRUE(ChangedOnly(before, m, {kModemDevice}));
}

TEST_F(DeviceKeyCleanup, OnlyTheFirstInstancesSoftwareKeyIsDeleted) {
  // "BUS_00&DEV_0B&FUNC_01" enumerates after the first instance.
  m.setString(kModemDevice + "\\BUS_00&DEV_0B&FUNC_01", "driver", "Modem\\0005");
  m.setString(kClassKeyPath + "\\Modem\\0005", "DriverDesc", "second function");
  RunDeviceSteps();
  EXPECT_FALSE(m.keyExists(kModemSoftware));
  EXPECT_TRUE(m.keyExists(kClassKeyPath + "\\Modem\\0005"));
  EXPECT_FALSE(m.keyExists(kModemDevice));
}

// A "driver" value that names a class, not one device's key below it, would
// take every modem's software key with it.
TEST_F(DeviceKeyCleanup, DriverValueNamingAClassLeavesTheClass) {
  for (const char* driver : {"Modem", "Modem\\", "\\Modem"}) {
    SCOPED_TRACE(driver);
    zuninst::StartUninstallContext(context);
    m.setString(kModemInstance, "driver", driver);
    MachineSnapshot before = Snapshot(m);
    RunDeviceSteps();
    EXPECT_TRUE(m.keyExists(kOtherSoftware));
    EXPECT_TRUE(ChangedOnly(before, m, {kModemDevice}));
  }
}

TEST_F(DeviceKeyCleanup, DriverValueTooLongLeavesTheSoftwareKey) {
  m.setString(kModemInstance, "driver", "Modem\\" + std::string(34, '0'));  // 41 bytes
  MachineSnapshot before = Snapshot(m);
  RunDeviceSteps();
  EXPECT_FALSE(m.keyExists(kModemDevice));
  EXPECT_TRUE(ChangedOnly(before, m, {kModemDevice}));
}

TEST_F(DeviceKeyCleanup, MediaResourceAndUninstallEntry) {
  zuninst::RemoveWaveMediaResource();
  zuninst::RemoveUninstallEntry();
  EXPECT_FALSE(m.keyExists(kMediaResourceKeyPath));
  EXPECT_FALSE(m.keyExists(kUninstallEntryKeyPath));
  EXPECT_TRUE(m.keyExists(kOtherMediaResource));
  EXPECT_TRUE(m.keyExists(kOtherUninstallEntry));

  // Already gone: no message, nothing else touched.
  zuninst::RemoveWaveMediaResource();
  zuninst::RemoveUninstallEntry();
  EXPECT_TRUE(m.run().messageBoxes().empty());
  EXPECT_TRUE(m.keyExists(kOtherMediaResource));
  EXPECT_TRUE(m.keyExists(kOtherUninstallEntry));
}

}  // namespace
}  // namespace rq47test
