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

#include <initializer_list>
#include <string_view>

#include "snapshot.h"
#include "test_machine.h"

namespace rq47test {

using winsim_tool::MachineSnapshot;

// The machine's registry, every file and folder of its drives and its machine.ini.
MachineSnapshot Snapshot(TestMachine& machine);

// The machine holds what it held at `before`: the registry byte for byte
// (names, their case and order too), every file and folder of its drives with
// the case of its name, and machine.ini. The current run holds no open handle.
::testing::AssertionResult Unchanged(const MachineSnapshot& before, TestMachine& machine);

// The same, except that each of `changed` did change: a registry key by its
// full path (with its values and subkeys), or a file or folder by its Windows
// path (a folder with what lies below it).
::testing::AssertionResult ChangedOnly(const MachineSnapshot& before, TestMachine& machine,
                                       std::initializer_list<std::string_view> changed);

}  // namespace rq47test

#endif  // RQ47_MACHINE_CHANGES_H
