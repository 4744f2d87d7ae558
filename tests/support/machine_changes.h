// What a run changed on a test machine: a snapshot taken before the run, and
// the checks that the run changed what it was to change and nothing else.
//
//   MachineSnapshot before = Snapshot(m);
//   ... the run ...
//   EXPECT_TRUE(Unchanged(before, m));
//   EXPECT_TRUE(ChangedOnly(before, m, {kVendorKeyPath, "C:\\WINDOWS\\system.ini"}));
//
// A failure shows the changes that were not expected as the winsim command does.
#ifndef RQ47_MACHINE_CHANGES_H
#define RQ47_MACHINE_CHANGES_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "snapshot.h"
#include "test_machine.h"

namespace rq47test {

using winsim_tool::MachineSnapshot;

// The registry, every file and folder of the drives and machine.ini: of a
// machine, or of a machine folder as a program run as a process left it.
MachineSnapshot Snapshot(TestMachine& machine);
MachineSnapshot Snapshot(const std::filesystem::path& folder);

// The machine holds what it held at `before`: the registry byte for byte
// (names, their case and order too), every file and folder of its drives with
// the case of its name, and machine.ini; the current run holds no open handle
// (a process's handles went with it).
::testing::AssertionResult Unchanged(const MachineSnapshot& before, TestMachine& machine);
::testing::AssertionResult Unchanged(const MachineSnapshot& before,
                                     const std::filesystem::path& folder);

// Each of `changed` did change, and nothing else: a registry key by its full
// path (with its values and subkeys), a value by its key's path and its name
// ("...\0000\PortName"), or a file or folder by its Windows path (a folder
// with what lies below it).
::testing::AssertionResult ChangedOnly(const MachineSnapshot& before, TestMachine& machine,
                                       const std::vector<std::string>& changed);
::testing::AssertionResult ChangedOnly(const MachineSnapshot& before,
                                       const std::filesystem::path& folder,
                                       const std::vector<std::string>& changed);

// What differs from one registry to another (keys, values, the case of their
// names), as lines of text; empty when nothing does. The order of values does
// not count: a run that sets them in another order is no other run.
std::string RegistryDifferences(const winsim::Registry& before, const winsim::Registry& after);

}  // namespace rq47test

#endif  // RQ47_MACHINE_CHANGES_H
