#include "machine_changes.h"

#include <algorithm>
#include <utility>

#include "changes_text.h"
#include "machine_diff.h"
#include "winsim/regedit4.h"

namespace rq47test {
namespace {

using winsim_tool::MachineChanges;

// Whether `path` is `entry` or lies below it.
bool Covers(const std::string& entry, const std::string& path) {
  return path.size() >= entry.size() &&
         winsim::NamesEqual(std::string_view(path).substr(0, entry.size()), entry) &&
         (path.size() == entry.size() || path[entry.size()] == '\\');
}

template <typename List, typename Test>
void Erase(List& list, Test test) {
  list.erase(std::remove_if(list.begin(), list.end(), test), list.end());
}

// Takes the changes of `expected` out of `changes`; says which of them did not change.
std::string TakeExpected(MachineChanges& changes, const std::vector<std::string>& expected) {
  using winsim_tool::Change;
  std::string missing;
  for (const std::string& entry : expected) {
    bool seen = false;
    auto covered = [&](const auto& change) { return Covers(entry, change.path) && (seen = true); };
    for (winsim_tool::KeyChange& key : changes.keys) {  // a value of a key on both sides
      if (key.change != Change::Changed) continue;
      Erase(key.values, [&](const auto& value) {
        return winsim::NamesEqual(entry, key.path + "\\" + value.name) && (seen = true);
      });
    }
    Erase(changes.keys, [&](const auto& key) {
      return covered(key) || (key.change == Change::Changed && key.values.empty());
    });
    Erase(changes.files, covered);
    Erase(changes.texts, covered);
    if (!seen) missing += "expected a change of " + entry + ", but it is as before\n";
  }
  return missing;
}

::testing::AssertionResult Verdict(MachineChanges changes, const std::vector<std::string>& expected,
                                   std::string more) {
  more = TakeExpected(changes, expected) + more;
  if (changes.empty() && more.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the machine is not as expected:\n"
                                       << winsim_tool::ChangesText(changes) << more;
}

std::string OpenHandles(TestMachine* machine) {
  size_t open = machine != nullptr ? machine->run().openHandleCount() : 0;
  return open == 0 ? "" : std::to_string(open) + " handle(s) of the run left open\n";
}

::testing::AssertionResult Unchanged(const MachineSnapshot& before, const MachineSnapshot& now,
                                     TestMachine* machine) {
  // Names count with their case here: a run that only respelled a name
  // changed the machine too, though Windows finds it as before. So does a run
  // that only set values in another order, which the comparison passes over.
  MachineChanges changes = winsim_tool::CompareSnapshots(before, now, {/*nameCase=*/true});
  std::string more = OpenHandles(machine);
  if (changes.keys.empty() &&
      winsim::ExportRegedit4(before.registry) != winsim::ExportRegedit4(now.registry)) {
    more += "the registry differs in the order of values\n";
  }
  return Verdict(std::move(changes), {}, more);
}

}  // namespace

MachineSnapshot Snapshot(const std::filesystem::path& folder) {
  return winsim_tool::TakeSnapshot(winsim::Machine::load(folder));
}

MachineSnapshot Snapshot(TestMachine& machine) {
  return winsim_tool::TakeSnapshot(machine.machine());
}

::testing::AssertionResult Unchanged(const MachineSnapshot& before, TestMachine& machine) {
  return Unchanged(before, Snapshot(machine), &machine);
}

::testing::AssertionResult Unchanged(const MachineSnapshot& before,
                                     const std::filesystem::path& folder) {
  return Unchanged(before, Snapshot(folder), nullptr);
}

::testing::AssertionResult ChangedOnly(const MachineSnapshot& before, TestMachine& machine,
                                       const std::vector<std::string>& changed) {
  return Verdict(winsim_tool::CompareSnapshots(before, Snapshot(machine)), changed,
                 OpenHandles(&machine));
}

::testing::AssertionResult ChangedOnly(const MachineSnapshot& before,
                                       const std::filesystem::path& folder,
                                       const std::vector<std::string>& changed) {
  return Verdict(winsim_tool::CompareSnapshots(before, Snapshot(folder)), changed, "");
}

std::string RegistryDifferences(const winsim::Registry& before, const winsim::Registry& after) {
  std::vector<winsim_tool::KeyChange> keys =
      winsim_tool::CompareRegistries(before, after, {/*nameCase=*/true});
  return keys.empty() ? "" : winsim_tool::RegistryChangesText(keys);
}

}  // namespace rq47test
