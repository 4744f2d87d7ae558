// Choosing the modem's COM port and writing PortName into the device's
// instance keys and the vendor key.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "modem_fixtures.h"
#include "ports.h"
#include "setup_context.h"
#include "test_machine.h"
#include "text_buffer.h"
#include "trace_lines.h"

namespace {

using rq47test::kVendorKeyPath;
using rq47test::TestMachine;
using winsim::PortState;

constexpr char kDeviceId[] = "VEN_1B27&DEV_0905&SUBSYS_00000000&REV_01";
const std::string kDeviceKey = rq47test::kPciKeyPath + "\\" + kDeviceId;
// Instance keys enumerate in alphabetical order: these are indices 0, 1, 2.
const std::string kInstances[] = {"BUS_00&DEV_0A&FUNC_00", "BUS_00&DEV_0B&FUNC_00",
                                  "BUS_00&DEV_0C&FUNC_00"};

std::string InstanceKey(int index) { return kDeviceKey + "\\" + kInstances[index]; }

// What Windows 95/98 keep of the 20-byte PortName this setup writes: the text
// and one NUL.
std::string PortNameBytes(const std::string& text) { return rq47test::Kept(text); }

class PortAssignment : public ::testing::Test {
 protected:
  void SetUp() override {
    rq47set::StartSetupContext(context);
    context.device = rq47set::DeviceNamed(kDeviceId);
  }
  void AssignPortName() { rq47set::AssignPortName(context); }
  void FillMissingPortNames() { rq47set::FillMissingPortNames(context); }

  // A machine with the modem's device key, its instance keys, the vendor key
  // (as the sequence has created it by now) and the given serial ports.
  TestMachine& MakeMachine(const std::map<std::string, PortState>& ports, int instanceCount = 1) {
    winsim::MachineConfig config;
    for (const auto& [name, state] : ports) config.ports[name] = state;
    machine_ = std::make_unique<TestMachine>(config);
    for (int i = 0; i < instanceCount; ++i) machine_->createKey(InstanceKey(i));
    machine_->createKey(kVendorKeyPath);
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
  rq47set::SetupContext context;
};

const std::map<std::string, PortState> kOnlyCom3AndCom4 = {{"COM3", PortState::Free},
                                                           {"COM4", PortState::Free}};

// The first candidate, in the order COM2, COM4, COM3, that does not open
// (absent, or held by another program) becomes the modem's port.
TEST_F(PortAssignment, TheFirstCandidateThatDoesNotOpenIsChosen) {
  struct Case {
    std::map<std::string, PortState> ports;
    const char* chosen;
  };
  const Case cases[] = {
      {{}, "COM2"},
      {{{"COM2", PortState::Busy}}, "COM2"},
      {{{"COM2", PortState::Free}}, "COM4"},
      {{{"COM2", PortState::Free}, {"COM3", PortState::Free}}, "COM4"},
      {{{"COM2", PortState::Free}, {"COM4", PortState::Free}}, "COM3"},
      {{{"COM2", PortState::Free}, {"COM4", PortState::Free}, {"COM3", PortState::Busy}}, "COM3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.ports.size()) + " ports: " + c.chosen);
    SetUp();
    TestMachine& machine = MakeMachine(c.ports);

    AssignPortName();

    EXPECT_STREQ(context.portName, c.chosen);
    EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes(c.chosen));
    EXPECT_EQ(machine.valueBytes(kVendorKeyPath, "PortName"), PortNameBytes(c.chosen));
    ExpectHandlesClosed();
  }
}

TEST_F(PortAssignment, AllCandidatesOpenWritesNothingAnywhere) {
  TestMachine& machine = MakeMachine(
      {{"COM2", PortState::Free}, {"COM3", PortState::Free}, {"COM4", PortState::Free}}, 3);

  AssignPortName();
  EXPECT_EQ(ProbedPorts().size(), 3u);
  EXPECT_STREQ(context.portName, "");

  // No name was chosen, so no instance key is given an empty one.
  FillMissingPortNames();

  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(machine.valueBytes(InstanceKey(i), "PortName")) << kInstances[i];
  }
  EXPECT_FALSE(machine.valueBytes(kVendorKeyPath, "PortName"));
  EXPECT_TRUE(rq47test::CallsOf(machine.run().trace(), "RegSetValueExA").empty());
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, VendorPortNameWinsOverTheProbe) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  // As a migration of settings leaves it: ten bytes.
  std::string migrated = std::string("COM4") + std::string(6, '\0');
  machine.setBytes(kVendorKeyPath, "PortName", REG_SZ, migrated);

  AssignPortName();

  EXPECT_STREQ(context.portName, "COM4");
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM4"));
  EXPECT_EQ(machine.valueBytes(kVendorKeyPath, "PortName"), migrated)
      << "the vendor key was rewritten";
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, VendorPortNameOfNineteenCharactersIsTakenWhole) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  const std::string longest = "COM4-modem-port-abc";  // 19 characters
  ASSERT_EQ(longest.size(), 19u);
  machine.setString(kVendorKeyPath, "PortName", longest);

  AssignPortName();

  EXPECT_EQ(std::string(context.portName), longest);
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes(longest));
}

TEST_F(PortAssignment, VendorPortNameTooLongForThePortNameIsReplacedByTheProbe) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  const std::string tooLong = "COM4-modem-port-abcd";  // 20 characters: no room for a terminator
  machine.setString(kVendorKeyPath, "PortName", tooLong);

  AssignPortName();

  EXPECT_STREQ(context.portName, "COM2");
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM2"))
      << "a cut value must never be written";
  EXPECT_EQ(machine.valueBytes(kVendorKeyPath, "PortName"), PortNameBytes("COM2"));
  ExpectHandlesClosed();
}

TEST_F(PortAssignment, EmptyVendorPortNameIsReplacedByTheProbe) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  // A migration from a key that had no PortName writes ten zero bytes, of
  // which Windows 95/98 keep one.
  machine.setBytes(kVendorKeyPath, "PortName", REG_SZ, std::string(1, '\0'));

  AssignPortName();

  EXPECT_STREQ(context.portName, "COM2");
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM2"));
  EXPECT_EQ(machine.valueBytes(kVendorKeyPath, "PortName"), PortNameBytes("COM2"));
}

// A registry that cannot be read says nothing about the port the user has:
// neither the vendor key nor the first instance is written over.
TEST_F(PortAssignment, VendorPortNameThatCannotBeReadIsLeftAndNothingIsWritten) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
  machine.setBytes(kVendorKeyPath, "PortName", REG_SZ, PortNameBytes("COM3"));
  machine.setBytes(InstanceKey(0), "PortName", REG_SZ, PortNameBytes("COM3"));
  machine.run().addFault({"RegQueryValueExA", "PortName", 0, ERROR_CANTREAD});

  AssignPortName();

  EXPECT_EQ(machine.valueBytes(kVendorKeyPath, "PortName"), PortNameBytes("COM3"));
  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM3"));
  EXPECT_TRUE(rq47test::CallsOf(machine.run().trace(), "RegSetValueExA").empty());
  ExpectHandlesClosed();
}

// While the vendor key's PortName cannot be read the modem's port is not
// known: no instance is given the probed name, which may not be the modem's.
TEST_F(PortAssignment, NoInstanceIsGivenAPortWhileTheVendorPortNameCannotBeRead) {
  struct Case {
    const char* what;
    winsim::FaultRule fault;
  };
  const Case cases[] = {
      {"vendor PortName unreadable", {"RegQueryValueExA", "PortName", 1, ERROR_CANTREAD}},
      {"vendor key does not open", {"RegOpenKeyExA", "RQ31DFV", 1, ERROR_CANTREAD}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4, 3);
    machine.setBytes(kVendorKeyPath, "PortName", REG_SZ, PortNameBytes("COM3"));
    machine.setBytes(InstanceKey(0), "PortName", REG_SZ, PortNameBytes("COM3"));
    machine.run().addFault(c.fault);

    AssignPortName();
    FillMissingPortNames();

    EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM3"));
    EXPECT_FALSE(machine.valueBytes(InstanceKey(1), "PortName"));
    EXPECT_FALSE(machine.valueBytes(InstanceKey(2), "PortName"));
    EXPECT_EQ(machine.valueBytes(kVendorKeyPath, "PortName"), PortNameBytes("COM3"));
    ExpectHandlesClosed();
  }
}

TEST_F(PortAssignment, OnlyTheFirstInstanceKeyIsWritten) {
  TestMachine& machine = MakeMachine(kOnlyCom3AndCom4, 3);

  AssignPortName();

  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM2"));
  EXPECT_FALSE(machine.valueBytes(InstanceKey(1), "PortName"));
  EXPECT_FALSE(machine.valueBytes(InstanceKey(2), "PortName"));
}

TEST_F(PortAssignment, RegistryFailuresWriteNothingAndCloseEverything) {
  {
    SCOPED_TRACE("no device key");
    MakeMachine(kOnlyCom3AndCom4, 0);
    AssignPortName();
    EXPECT_TRUE(ProbedPorts().empty());
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("device key without instance keys");
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4, 0);
    machine.createKey(kDeviceKey);
    AssignPortName();
    EXPECT_TRUE(ProbedPorts().empty());
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("first instance key does not open");
    MakeMachine(kOnlyCom3AndCom4, 2);
    machine_->run().addFault({"RegOpenKeyExA", kInstances[0], 0, ERROR_ACCESS_DENIED});
    AssignPortName();
    EXPECT_TRUE(ProbedPorts().empty());
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("vendor key missing");
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
    machine.registry().remove(kVendorKeyPath);
    AssignPortName();
    EXPECT_FALSE(machine.valueBytes(InstanceKey(0), "PortName"));
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("instance key refuses the write");
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4);
    machine.run().addFault({"RegSetValueExA", "", 0, ERROR_ACCESS_DENIED});
    AssignPortName();
    EXPECT_FALSE(machine.valueBytes(InstanceKey(0), "PortName"));
    ExpectHandlesClosed();
  }
}

class MissingPortNames : public PortAssignment {
 protected:
  // Three instance keys; FillMissingPortNames hands out the name chosen before.
  TestMachine& MakeDevice(const char* chosenName) {
    TestMachine& machine = MakeMachine(kOnlyCom3AndCom4, 3);
    EXPECT_TRUE(CopyText(context.portName, chosenName));
    return machine;
  }
};

TEST_F(MissingPortNames, EveryInstanceWithoutPortNameReceivesTheChosenName) {
  TestMachine& machine = MakeDevice("COM3");
  machine.setString(InstanceKey(0), "PortName", "COM1");  // set by hand: kept

  FillMissingPortNames();

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

  FillMissingPortNames();

  EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), exactlyTwenty);
  EXPECT_EQ(machine.valueBytes(InstanceKey(1), "PortName"), PortNameBytes("COM2"));
  EXPECT_EQ(machine.valueBytes(InstanceKey(2), "PortName"), PortNameBytes("COM2"));
}

// An empty PortName names no port (earlier versions wrote one when every
// candidate port opened): the instance is given the chosen name, as Windows
// 95/98 keep it (one NUL) and as NT keeps the earlier 20 zero bytes.
TEST_F(MissingPortNames, EmptyPortNameIsGivenTheChosenName) {
  TestMachine& machine = MakeDevice("COM2");
  machine.setBytes(InstanceKey(1), "PortName", REG_SZ, std::string(1, '\0'));
  machine.setBytes(InstanceKey(2), "PortName", REG_SZ, std::string(20, '\0'));

  FillMissingPortNames();

  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(machine.valueBytes(InstanceKey(i), "PortName"), PortNameBytes("COM2"))
        << kInstances[i];
  }
  ExpectHandlesClosed();
}

// Only a PortName that is not there or too long is replaced: one that the
// registry fails to read may be the port the user gave that instance.
TEST_F(MissingPortNames, PortNameThatCannotBeReadIsKept) {
  for (LONG error : {ERROR_CANTREAD, ERROR_NOT_ENOUGH_MEMORY}) {
    SCOPED_TRACE(error);
    SetUp();
    TestMachine& machine = MakeDevice("COM2");
    machine.setBytes(InstanceKey(1), "PortName", REG_SZ, PortNameBytes("COM4"));
    // From the highest index down, the middle instance is read second.
    machine.run().addFault({"RegQueryValueExA", "PortName", 2, static_cast<uint32_t>(error)});

    FillMissingPortNames();

    EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM2"));
    EXPECT_EQ(machine.valueBytes(InstanceKey(1), "PortName"), PortNameBytes("COM4"));
    EXPECT_EQ(machine.valueBytes(InstanceKey(2), "PortName"), PortNameBytes("COM2"));
    ExpectHandlesClosed();
  }
}

TEST_F(MissingPortNames, InstanceKeyThatDoesNotOpenIsPassedOver) {
  TestMachine& machine = MakeDevice("COM4");
  // The middle one is visited second of three, from the highest index down.
  machine.run().addFault({"RegOpenKeyExA", kInstances[1], 0, ERROR_ACCESS_DENIED});

  FillMissingPortNames();

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
    FillMissingPortNames();
    EXPECT_EQ(machine.valueBytes(InstanceKey(0), "PortName"), PortNameBytes("COM4"));
    EXPECT_EQ(machine.valueBytes(InstanceKey(1), "PortName"), PortNameBytes("COM4"));
    EXPECT_FALSE(machine.valueBytes(InstanceKey(2), "PortName"));
    ExpectHandlesClosed();
  }
  {
    SCOPED_TRACE("the instance keys run out");
    TestMachine& machine = MakeDevice("COM4");
    machine.run().addFault({"RegEnumKeyExA", "", 2, ERROR_NO_MORE_ITEMS});
    FillMissingPortNames();
    EXPECT_FALSE(machine.valueBytes(InstanceKey(0), "PortName"));
    EXPECT_FALSE(machine.valueBytes(InstanceKey(1), "PortName"));
    EXPECT_EQ(machine.valueBytes(InstanceKey(2), "PortName"), PortNameBytes("COM4"));
    ExpectHandlesClosed();
  }
}

TEST_F(PortAssignment, BothStepsTogetherGiveEveryInstanceTwentyBytes) {
  TestMachine& machine = MakeMachine({{"COM2", PortState::Free}}, 3);

  AssignPortName();
  FillMissingPortNames();

  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(machine.valueBytes(InstanceKey(i), "PortName"), PortNameBytes("COM4"))
        << kInstances[i];
  }
  EXPECT_EQ(machine.valueBytes(kVendorKeyPath, "PortName"), PortNameBytes("COM4"));
  // Nothing else was written: the vendor key and three instance keys.
  EXPECT_EQ(rq47test::CallsOf(machine.run().trace(), "RegSetValueExA").size(), 4u);
  ExpectHandlesClosed();
}

}  // namespace
