#include "requirements.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "setup_machine.h"

namespace {

using RequirementsResult = rq47set::Requirements;
using setuptest::Kept;
using setuptest::kVendorKeyPath;

struct MachineCase {
  const char* name;
  uint32_t platform;
  uint32_t major;
  uint32_t minor;
  uint32_t processor;
  uint64_t memory;
  const char* message;          // nullptr: accepted without a message
  const char* operatingSystem;  // nullptr: no Operating System value
};

void PrintTo(const MachineCase& c, std::ostream* out) { *out << c.name; }

constexpr uint64_t k32Mb = 33554432;

const MachineCase kMachines[] = {
    {"Windows95", 1, 4, 0, 586, k32Mb, nullptr, "Windows95"},
    {"Windows98", 1, 4, 10, 586, k32Mb, nullptr, "Windows98"},
    {"WindowsMe", 1, 4, 90, 586, k32Mb, nullptr, "Windows98"},
    {"Windows31", 0, 3, 10, 586, k32Mb, "OS is Windows 3.1. Setup will now abort", nullptr},
    {"WindowsNT", 2, 4, 0, 586, k32Mb, "OS is Windows NT. Setup will now abort", nullptr},
    {"UnknownPlatform", 3, 4, 10, 586, k32Mb, "No Valid Operating System found", nullptr},
    {"MajorVersion5Minor0", 1, 5, 0, 586, k32Mb,
     "Unable to determine Windows version! Setup will now abort", "Windows95"},
    {"MajorVersion5Minor10", 1, 5, 10, 586, k32Mb,
     "Unable to determine Windows version! Setup will now abort", "Windows98"},
    {"Processor386", 1, 4, 10, 386, k32Mb,
     "386 Processor found.Wrong Processor! Setup will now abort", "Windows98"},
    {"Processor486", 1, 4, 0, 486, k32Mb,
     "486 Processor found. Wrong Processor! Setup will now abort", "Windows95"},
    {"ProcessorItanium", 1, 4, 10, 2200, k32Mb,
     "No Valid Processor was found! Setup will now abort", "Windows98"},
    {"Processor686", 1, 4, 10, 686, k32Mb, "No Valid Processor was found! Setup will now abort",
     "Windows98"},
    {"ProcessorTypeZero", 1, 4, 0, 0, k32Mb, "No Valid Processor was found! Setup will now abort",
     "Windows95"},
    {"Memory7999Bytes", 1, 4, 10, 586, 7999,
     "There is not enough memory on you're system. Setup will now abort", "Windows98"},
    {"Memory8000Bytes", 1, 4, 10, 586, 8000, nullptr, "Windows98"},
};

class Requirements : public ::testing::TestWithParam<MachineCase> {
 protected:
  void SetUp() override {
    const MachineCase& c = GetParam();
    winsim::MachineConfig config;
    config.platform = c.platform;
    config.majorVersion = c.major;
    config.minorVersion = c.minor;
    config.processorType = c.processor;
    config.totalMemory = c.memory;
    machine = std::make_unique<rq47test::TestMachine>(config);
    machine->createKey(kVendorKeyPath);  // the main sequence made it before the check
    machine->run();
  }
  std::unique_ptr<rq47test::TestMachine> machine;
};

TEST_P(Requirements, ShowsTheMessageOfTheFirstUnmetRequirementAndRecordsTheSystem) {
  const MachineCase& c = GetParam();
  RequirementsResult result = rq47set::CheckSystemRequirements();

  const auto& boxes = machine->run().messageBoxes();
  if (c.message == nullptr) {
    EXPECT_EQ(result, RequirementsResult::kMet);
    EXPECT_TRUE(boxes.empty());
  } else {
    EXPECT_EQ(result, RequirementsResult::kNotMet);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.message);
    EXPECT_EQ(boxes[0].caption, setuptest::kCaption);
    EXPECT_EQ(boxes[0].style, static_cast<uint32_t>(MB_OK));
  }

  std::optional<std::string> recorded = machine->valueBytes(kVendorKeyPath, "Operating System");
  if (c.operatingSystem == nullptr) {
    EXPECT_FALSE(recorded.has_value());
  } else {
    ASSERT_TRUE(recorded.has_value());
    EXPECT_EQ(*recorded, Kept(c.operatingSystem));
    EXPECT_EQ(machine->registry().value(kVendorKeyPath, "Operating System")->type,
              static_cast<uint32_t>(REG_SZ));
  }
  EXPECT_EQ(machine->run().openHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Machines, Requirements, ::testing::ValuesIn(kMachines),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RequirementsOnProcessors, TheX64TypeIsAcceptedExactlyWhenThisIsA64BitBuild) {
  winsim::MachineConfig config;
  config.processorType = 8664;
  rq47test::TestMachine machine(config);
  machine.createKey(kVendorKeyPath);
  machine.run();
  bool is64BitBuild = sizeof(void*) == 8;
  EXPECT_EQ(rq47set::CheckSystemRequirements(),
            is64BitBuild ? RequirementsResult::kMet : RequirementsResult::kNotMet);
  EXPECT_EQ(machine.run().messageBoxes().size(), is64BitBuild ? 0u : 1u);
  // The shipped 32-bit build, which no run here is, refuses it.
  EXPECT_FALSE(rq47set::IsPentiumClass(8664, false));
}

TEST(RequirementsVendorKey, AMissingVendorKeyIsPassedOverAndNothingIsCreated) {
  rq47test::TestMachine machine;
  machine.run();
  EXPECT_EQ(rq47set::CheckSystemRequirements(), RequirementsResult::kMet);
  EXPECT_FALSE(machine.keyExists(kVendorKeyPath));
  EXPECT_EQ(machine.run().openHandleCount(), 0u);
}

}  // namespace
