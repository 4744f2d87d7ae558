// What a run changed on a test machine: a snapshot taken before the run, and
// the checks that the run changed what it was to change and nothing else.
//
//   MachineSnapshot before = Snapshot(m);
//   ... the run ...
//   EXPECT_TRUE(Unchanged(before, m));
//   EXPECT_TRUE(ChangedOnly(before, m, {kVendorKeyPath, "C:\\WINDOWS\\system.ini"}));
//
// A failure lists the changes that were not expected, one a line.
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

// The machine's registry, every file and folder of its drives and its machine.ini.
MachineSnapshot Snapshot(TestMachine& machine);
// The same of a machine folder, as a program run as a process left it.
MachineSnapshot Snapshot(const std::filesystem::path& folder);

// The machine holds what it held at `before`: the registry byte for byte
// (names, their case and order too), every file and folder of its drives with
// the case of its name, and machine.ini. The current run holds no open handle.
::testing::AssertionResult Unchanged(const MachineSnapshot& before, TestMachine& machine);
// The same of a machine folder, after a program run as a process (whose
// handles went with it).
::testing::AssertionResult Unchanged(const MachineSnapshot& before,
                                     const std::filesystem::path& folder);

// The same, except that each of `changed` did change: a registry key by its
// full path (with its values and subkeys), or a file or folder by its Windows
// path (a folder with what lies below it).
::testing::AssertionResult ChangedOnly(const MachineSnapshot& before, TestMachine& machine,
                                       const std::vector<std::string>& changed);
::testing::AssertionResult ChangedOnly(const MachineSnapshot& before,
                                       const std::filesystem::path& folder,
                                       const std::vector<std::string>& changed);

// What differs from one registry to another, one a line: keys and values,
// and the case of their names; empty when they are the same. The order of
// values does not count (a run that sets them in another order is no other run).
std::string RegistryDifferences(const winsim::Registry& before, const winsim::Registry& after);

}  // namespace rq47test

#endif  // RQ47_MACHINE_CHANGES_H
