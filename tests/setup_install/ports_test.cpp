// Choosing the modem's COM port and writing PortName into the device's
// instance keys and the vendor key.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ports.h"
#include "setup_state.h"
#include "test_machine.h"
#include "text_buffer.h"
#include "trace_reading.h"

namespace {

using rq47set::g_setup;
using rq47test::Hklm;
using rq47test::TestMachine;
using winsim::PortState;

constexpr char kDeviceId[] = "VEN_1B27&DEV_0905&SUBSYS_00000000&REV_01";
const std::string kDeviceKey = Hklm(std::string("Enum\\PCI\\") + kDeviceId);
const std::string kVendorKey = Hklm("Software\\Zelvaran\\RQ31DFV");
// Instance keys enumerate in alphabetical order: these are indices 0, 1, 2.
const std::string kInstances[] = {"BUS_00&DEV_0A&FUNC_00", "BUS_00&DEV_0B&FUNC_00",
                                  "BUS_00&DEV_0C&FUNC_00"};

std::string InstanceKey(int index) { return kDeviceKey + "\\" + kInstances[index]; }

// A 20-byte PortName as this setup writes it: the text, then zero bytes.
std::string PortNameBytes(const std::string& text) {
  std::string bytes = text;
  bytes.resize(20, '\0');
  return bytes;
}

class PortAssignment : public ::testing::Test {
 protected:
  void SetUp() override {
    rq47set::ResetSetupState();
    ASSERT_TRUE(AppendText(g_setup.deviceKeyPath, kDeviceId));
  }

  // A machine with the modem's device key, its instance keys, the vendor key
  // (as the sequence has created it by now) and the given serial ports.
  TestMachine& MakeMachine(const std::map<std::string, PortState>& ports, int instanceCount = 1) {
    winsim::MachineConfig config;
    for (const auto& [name, state] : ports) config.ports[name] = state;
    machine_ = std::make_unique<TestMachine>(config);
    for (int i = 0; i < instanceCount; ++i) machine_->createKey(InstanceKey(i));
    machine_->createKey(kVendorKey);
    startHandles_ = machine_->run().openHandleCount();
    return *machine_;
  }

  std::vector<std::string> ProbedPorts() {
    return rq47test::FirstTextArguments(machine_->run().trace(), "CreateFileA");
  }

  void ExpectHandlesClosed() {
    EXPECT_EQ(machine_->run().openHandleCount(), startHandles_) << "a key or port was left open";
  }

  std::unique_ptr<TestMachine> machine_;
  size_t startHandles_ = 0;
};

const std::map<std::string, PortState> kOnlyCom3AndCom4 = {{"COM3", PortState::Free},
                                                           {"COM4", PortState::Free}};

TEST_F(PortAssignment, AbsentCom2IsChosenWithoutProbingFurther) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);

  EXPECT_EQ(rq47set::AssignPortName(), 0);

  EXPECT_STREQ(g_setup.portName, "COM2");
  EXPECT_EQ(ProbedPorts(), std::vector<std::string>{"COM2"});
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM2"));
  EXPECT_EQ(machine.valueBytes(kVendorKey, "PortName"), PortNameBytes("COM2"));
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, BusyPortIsTakenInProbeOrder) {
  // COM2 and COM4 open, so they belong to other devices; COM3 is held by
  // another program and becomes the modem's.
  TestMachine& machine = MakeMachine(
      {{"COM2", PortState::Free}, {"COM4", PortState::Free}, {"COM3", PortState::Busy}});

  EXPECT_EQ(rq47set::AssignPortName(), 0);

  EXPECT_STREQ(g_setup.portName, "COM3");
  EXPECT_EQ(ProbedPorts(), (std::vector<std::string>{"COM2", "COM4", "COM3"}));
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM3"));
  EXPECT_EQ(machine.valueBytes(kVendorKey, "PortName"), PortNameBytes("COM3"));
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, AllCandidatesOpenWritesNothingAnywhere) {
  TestMachine& machine = MakeMachine(
      {{"COM2", PortState::Free}, {"COM3", PortState::Free}, {"COM4", PortState::Free}}, 3);

  EXPECT_EQ(rq47set::AssignPortName(), 1);
  EXPECT_EQ(ProbedPorts(), (std::vector<std::string>{"COM2", "COM4", "COM3"}));
  EXPECT_STREQ(g_setup.portName, "");

  // No name was chosen, so no instance key is given an empty one.
  rq47set::FillMissingPortNames();

  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(machine.valueBytes(InstanceKey(i), "PortName")) << kInstances[i];
  }
  EXPECT_FALSE(machine.valueBytes(kVendorKey, "PortName"));
  EXPECT_TRUE(rq47test::CallsOf(machine.run().trace(), "RegSetValueExA").empty());
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, VendorPortNameWinsOverTheProbe) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  // As a migration of settings leaves it: ten bytes.
  std::string migrated = std::string("COM4") + std::string(6, '\0');
  machine.setBytes(kVendorKey, "PortName", REG_SZ, migrated);

  EXPECT_EQ(rq47set::AssignPortName(), 0);

  EXPECT_STREQ(g_setup.portName, "COM4");
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM4"));
  EXPECT_EQ(machine.valueBytes(kVendorKey, "PortName"), migrated) << "the vendor key was rewritten";
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, VendorPortNameOfNineteenCharactersIsTakenWhole) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  const std::string longest = "COM4-modem-port-abc";  // 19 characters
  ASSERT_EQ(longest.size(), 19u);
  machine.setString(kVendorKey, "PortName", longest);

  EXPECT_EQ(rq47set::AssignPortName(), 0);

  EXPECT_EQ(std::string(g_setup.portName), longest);
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes(longest));
}

TEST_F(PortAssignment, VendorPortNameTooLongForThePortNameIsReplacedByTheProbe) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  const std::string tooLong = "COM4-modem-port-abcd";  // 20 characters: no room for a terminator
  machine.setString(kVendorKey, "PortName", tooLong);

  EXPECT_EQ(rq47set::AssignPortName(), 0);

  EXPECT_STREQ(g_setup.portName, "COM2");
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM2"))
      << "a cut value must never be written";
  EXPECT_EQ(machine.valueBytes(kVendorKey, "PortName"), PortNameBytes("COM2"));
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, EmptyVendorPortNameIsReplacedByTheProbe) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  // A migration from a key that had no PortName leaves ten zero bytes.
  machine.setBytes(kVendorKey, "PortName", REG_SZ, std::string(10, '\0'));

  EXPECT_EQ(rq47set::AssignPortName(), 0);

  EXPECT_STREQ(g_setup.portName, "COM2");
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM2"));
  EXPECT_EQ(machine.valueBytes(kVendorKey, "PortName"), PortNameBytes("COM2"));
}

// A registry that cannot be read says nothing about the port the user has:
// neither the vendor key nor the first instance is written over.
TEST_F(PortAssignment, VendorPortNameThatCannotBeReadIsLeftAndNothingIsWritten) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  machine.setBytes(kVendorKey, "PortName", REG_SZ, PortNameBytes("COM3"));
  machine.setBytes(InstanceKey(0), "PortName", REG_SZ, PortNameBytes("COM3"));
  machine.run().addFault({"RegQueryValueExA", "PortName", 0, ERROR_CANTREAD});

  EXPECT_EQ(rq47set::AssignPortName(), 100);

  EXPECT_EQ(machine.valueBytes(kVendorKey, "PortName"), PortNameBytes("COM3"));
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM3"));
  EXPECT_TRUE(rq47test::CallsOf(machine.run().trace(), "RegSetValueExA").empty());
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, OnlyTheFirstInstanceKeyIsWritten) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4, 3);

  EXPECT_EQ(rq47set::AssignPortName(), 0);

  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM2"));
  EXPECT_FALSE(machine.valueBytes(InstanceKey(1), "PortName"));
  EXPECT_FALSE(machine.valueBytes(InstanceKey(2), "PortName"));
}

TEST_F(PortAssignment, RegistryFailuresReport100AndCloseEverything) {
  {
    SCOPED_TRACE("no device key");
    MakeMachine(kOnlyCom3AndCom4, 0);
    EXPECT_EQ(rq47set::AssignPortName(), 100);
    EXPECT_TRUE(ProbedPorts().empty());
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("device key without instance keys");
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4, 0);
    machine.createKey(kDeviceKey);
    EXPECT_EQ(rq47set::AssignPortName(), 100);
    EXPECT_TRUE(ProbedPorts().empty());
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("first instance key does not open");
    MakeMachine(kOnlyCom3AndCom4, 2);
    machine_->run().addFault({"RegOpenKeyExA", kInstances[0], 0, ERROR_ACCESS_DENIED});
    EXPECT_EQ(rq47set::AssignPortName(), 100);
    EXPECT_TRUE(ProbedPorts().empty());
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("vendor key missing");
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
    machine.registry().remove(kVendorKey);
    EXPECT_EQ(rq47set::AssignPortName(), 100);
    EXPECT_FALSE(machine.valueBytes(InstanceKey(0), "PortName"));
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("instance key refuses the write");
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
    machine.run().addFault({"RegSetValueExA", "", 0, ERROR_ACCESS_DENIED});
    EXPECT_EQ(rq47set::AssignPortName(), 100);
    EXPECT_FALSE(machine.valueBytes(InstanceKey(0), "PortName"));
    ExpectHandlesClosed();
  }
}

class MissingPortNames : public PortAssignment {
 protected:
  // Three instance keys; FillMissingPortNames hands out the name chosen before.
  TestMachine& MakeDevice(const char* chosenName) {
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4, 3);
    EXPECT_TRUE(CopyText(g_setup.portName, chosenName));
    return machine;
  }
};

TEST_F(MissingPortNames, EveryInstanceWithoutPortNameReceivesTheChosenName) {
  TestMachine& machine = MakeDevice("COM3");
  machine.setString(InstanceKey(0), "PortName", "COM1");  // set by hand: kept

  rq47set::FillMissingPortNames();

  EXPECT_EQ(machine.valueText(InstanceKey(0), "PortName"), "COM1");
  EXPECT_EQ(machine.valueBytes(InstanceKey(1), "PortName"), PortNameBytes("COM3"));
  EXPECT_EQ(machine.valueBytes(InstanceKey(2), "PortName"), PortNameBytes("COM3"));
  ExpectHandlesClosed();
}

TEST_F(MissingPortNames, PortNameOfTwentyBytesIsKeptAndLongerIsReplaced) {
  TestMachine& machine = MakeDevice("COM2");
  std::string exactlyTwenty(20, 'P');  // fills the capacity: still a PortName
  machine.setBytes(InstanceKey(0), "PortName", REG_SZ, exactlyTwenty);
  machine.setBytes(InstanceKey(1), "PortName", REG_SZ, std::string(21, 'Q'));

  rq47set::FillMissingPortNames();

  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), exactlyTwenty);
  EXPECT_EQ(machine.valueBytes(InstanceKey(1), "PortName"), PortNameBytes("COM2"));
  EXPECT_EQ(machine.valueBytes(InstanceKey(2), "PortName"), PortNameBytes("COM2"));
}

TEST_F(MissingPortNames, InstanceKeyThatDoesNotOpenIsPassedOver) {
  TestMachine& machine = MakeDevice("COM4");
  // The middle one is visited second of three, from the highest index down.
  machine.run().addFault({"RegOpenKeyExA", kInstances[1], 0, ERROR_ACCESS_DENIED});

  rq47set::FillMissingPortNames();

  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM4"));
  EXPECT_FALSE(machine.valueBytes(InstanceKey(1), "PortName"));
  EXPECT_EQ(machine.valueBytes(InstanceKey(2), "PortName"), PortNameBytes("COM4"));
  ExpectHandlesClosed();
}

TEST_F(MissingPortNames, EnumerationFailureSkipsOneIndexAndEndOfItemsStops) {
  {
    SCOPED_TRACE("the highest index cannot be read");
    TestMachine& machine = MakeDevice("COM4");
    machine.run().addFault({"RegEnumKeyExA", "", 1, ERROR_MORE_DATA});
    rq47set::FillMissingPortNames();
    EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM4"));
    EXPECT_EQ(machine.valueBytes(InstanceKey(1), "PortName"), PortNameBytes("COM4"));
    EXPECT_FALSE(machine.valueBytes(InstanceKey(2), "PortName"));
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("the instance keys run out");
    TestMachine& machine = MakeDevice("COM4");
    machine.run().addFault({"RegEnumKeyExA", "", 2, ERROR_NO_MORE_ITEMS});
    rq47set::FillMissingPortNames();
    EXPECT_FALSE(machine.valueBytes(InstanceKey(0), "PortName"));
    EXPECT_FALSE(machine.valueBytes(InstanceKey(1), "PortName"));
    EXPECT_EQ(machine.valueBytes(InstanceKey(2), "PortName"), PortNameBytes("COM4"));
    ExpectHandlesClosed();
  }
}

TEST_F(PortAssignment, BothStepsTogetherGiveEveryInstanceTwentyBytes) {
  TestMachine& machine = MakeMachine({{"COM2", PortState::Free}}, 3);

  EXPECT_EQ(rq47set::AssignPortName(), 0);
  rq47set::FillMissingPortNames();

  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(machine.valueBytes(InstanceKey(i), "PortName"), PortNameBytes("COM4"))
        << kInstances[i];
  }
  EXPECT_EQ(machine.valueBytes(kVendorKey, "PortName"), PortNameBytes("COM4"));
  // Nothing else was written: the vendor key and three instance keys.
  EXPECT_EQ(rq47test::CallsOf(machine.run().trace(), "RegSetValueExA").size(), 4u);
  ExpectHandlesClosed();
}

}  // namespace
