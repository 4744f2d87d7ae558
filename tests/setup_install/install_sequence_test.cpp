// The whole setup sequence in-process on a copy of the shipped Windows 98 SE
// machine, where every handle of the run can be counted.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "main_sequence.h"
#include "test_machine.h"
#include "trace_lines.h"

namespace {

using rq47test::Hklm;
using rq47test::TestMachine;

const std::string kVendorKey = Hklm("Software\\Zelvaran\\RQ31DFV");
const std::string kUninstallEntry =
    Hklm("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV");

TEST(InstallSequence, FreshInstallationClosesEveryHandle) {
  std::unique_ptr<TestMachine> machine = TestMachine::CopyOf("win98se");
  winsim::Run& run = machine->run();

  EXPECT_EQ(rq47set::RunSetup(), 0);

  EXPECT_EQ(run.openHandleCount(), 0u) << "the run left keys, files or handles open";
  EXPECT_EQ(rq47test::CallsOf(run.trace(), "CopyFileA").size(), 6u);
  EXPECT_TRUE(machine->valueBytes(kVendorKey, "PortName"));
  EXPECT_TRUE(machine->keyExists(kUninstallEntry));
}

TEST(InstallSequence, ImportThatCannotStartEndsWithItsCodeAfterEverythingElse) {
  std::unique_ptr<TestMachine> machine = TestMachine::CopyOf("win98se");
  winsim::Run& run = machine->run();
  run.addFault({"CreateProcessA", "regedit", 0, ERROR_FILE_NOT_FOUND});

  EXPECT_EQ(rq47set::RunSetup(), -1);

  EXPECT_EQ(run.openHandleCount(), 0u);
  // Settings, files and port names are in place; only the registry file is not.
  EXPECT_EQ(machine->valueText(kVendorKey, "Language"), "Domestic English");
  EXPECT_TRUE(machine->valueBytes(kVendorKey, "PortName"));
  EXPECT_TRUE(machine->exists("C:\\WINDOWS\\SYSTEM\\zelvcd.vxd"));
  EXPECT_TRUE(machine->exists("C:\\WINDOWS\\HELP\\zca.hlp"));
  EXPECT_FALSE(machine->keyExists(kUninstallEntry));
}

}  // namespace
