#include "machine_changes.h"

#include <string>
#include <vector>

#include "machine_diff.h"
#include "value_text.h"
#include "winsim/regedit4.h"

namespace rq47test {
namespace {

using winsim_tool::Change;
using winsim_tool::MachineChanges;

// Enough to see what went wrong without pages of a removed tree.
constexpr size_t kMostLines = 60;

std::string Mark(Change change) {
  return change == Change::Added ? "+ " : change == Change::Removed ? "- " : "~ ";
}

// Whether `path` is `entry` or lies below it.
bool Covers(std::string_view entry, std::string_view path) {
  if (path.size() < entry.size() || !winsim::NamesEqual(path.substr(0, entry.size()), entry)) {
    return false;
  }
  return path.size() == entry.size() || path[entry.size()] == '\\';
}

class ChangeList {
 public:
  explicit ChangeList(const std::vector<std::string>& expected)
      : expected_(expected), seen_(expected.size()) {}

  // Lists the changes no expected entry covers, one a line.
  void Add(const MachineChanges& changes) {
    for (const winsim_tool::KeyChange& key : changes.keys) {
      if (Expected(key.path)) continue;
      Line(Mark(key.change) + "[" + key.path + "]");
      for (const winsim_tool::ValueChange& value : key.values) {
        std::string line =
            "    " + Mark(value.change) + winsim_tool::ValueNameText(value.name) + " = ";
        if (value.before) line += winsim_tool::ValueText(*value.before);
        if (value.before && value.after) line += " -> ";
        if (value.after) line += winsim_tool::ValueText(*value.after);
        Line(line);
      }
    }
    for (const winsim_tool::FileChange& file : changes.files) {
      if (Expected(file.path)) continue;
      Line(Mark(file.change) + file.path + (file.directory ? "\\" : "") + "  (" +
           winsim_tool::ByteCount(file.beforeSize) + " -> " +
           winsim_tool::ByteCount(file.afterSize) + ")");
    }
    for (const winsim_tool::TextChange& text : changes.texts) {
      if (Expected(text.path)) continue;
      Line("lines of " + text.path + ":");
      for (const winsim_tool::Hunk& hunk : text.hunks) {
        for (const winsim_tool::DiffLine& line : hunk.lines) {
          if (line.kind == winsim_tool::DiffLine::Kind::Same) continue;
          Line(std::string(line.kind == winsim_tool::DiffLine::Kind::Added ? "    + " : "    - ") +
               winsim_tool::QuotedText(line.text));
        }
      }
    }
  }

  void Line(const std::string& line) {
    if (++lines_ <= kMostLines) text_ += "\n  " + line;
  }

  std::string Text() {
    size_t i = 0;
    for (const std::string& entry : expected_) {
      if (!seen_[i++]) Line("expected a change of " + entry + ", but it is as before");
    }
    if (lines_ > kMostLines) text_ += "\n  ... " + std::to_string(lines_ - kMostLines) + " more";
    return text_;
  }

  ::testing::AssertionResult Result() {
    std::string text = Text();
    if (text.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the machine is not as expected:" << text;
  }

 private:
  bool Expected(const std::string& path) {
    bool covered = false;
    size_t i = 0;
    for (const std::string& entry : expected_) {
      if (Covers(entry, path)) covered = seen_[i] = true;
      ++i;
    }
    return covered;
  }

  const std::vector<std::string>& expected_;
  std::vector<bool> seen_;
  size_t lines_ = 0;
  std::string text_;
};

// Two registries that hold the same keys and values, by names compared
// without regard to case: the names' case.
void CompareCase(const winsim::RegKey& before, const winsim::RegKey& after, ChangeList& list) {
  if (before.name() != after.name()) list.Line("[" + before.path() + "] -> [" + after.path() + "]");
  for (const winsim::RegValue& value : before.values()) {
    const winsim::RegValue* now = after.findValue(value.name);
    if (now != nullptr && now->name != value.name) {
      list.Line("[" + after.path() + "] " + value.name + " -> " + now->name);
    }
  }
  for (size_t i = 0; i < before.subkeyCount(); ++i) {
    CompareCase(*before.subkey(i), *after.subkey(i), list);
  }
}

void CheckHandles(TestMachine& machine, ChangeList& list) {
  size_t open = machine.run().openHandleCount();
  if (open != 0) list.Line(std::to_string(open) + " handle(s) of the run left open");
}

::testing::AssertionResult Unchanged(const MachineSnapshot& before, const MachineSnapshot& now,
                                     TestMachine* machine) {
  const std::vector<std::string> none;
  ChangeList list(none);
  list.Add(winsim_tool::CompareSnapshots(before, now));
  // The comparison matches names without regard to case, as Windows does;
  // a run that only changed the case of a name changed the machine too.
  if (winsim::ExportRegedit4(before.registry) != winsim::ExportRegedit4(now.registry) &&
      winsim_tool::CompareRegistries(before.registry, now.registry).empty()) {
    list.Line("the registry differs in the case or order of names");
  }
  if (before.files.size() == now.files.size()) {
    for (auto a = before.files.begin(), b = now.files.cbegin(); a != before.files.end(); ++a, ++b) {
      if (a->first != b->first) list.Line("renamed: " + a->first + " -> " + b->first);
    }
  }
  if (machine != nullptr) CheckHandles(*machine, list);
  return list.Result();
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
  ChangeList list(changed);
  list.Add(winsim_tool::CompareSnapshots(before, Snapshot(machine)));
  CheckHandles(machine, list);
  return list.Result();
}

::testing::AssertionResult ChangedOnly(const MachineSnapshot& before,
                                       const std::filesystem::path& folder,
                                       const std::vector<std::string>& changed) {
  ChangeList list(changed);
  list.Add(winsim_tool::CompareSnapshots(before, Snapshot(folder)));
  return list.Result();
}

std::string RegistryDifferences(const winsim::Registry& before, const winsim::Registry& after) {
  const std::vector<std::string> none;
  ChangeList list(none);
  MachineChanges changes;
  changes.keys = winsim_tool::CompareRegistries(before, after);
  list.Add(changes);
  if (changes.keys.empty()) {
    for (winsim::Root root : winsim::Registry::kRoots) {
      CompareCase(before.root(root), after.root(root), list);
    }
  }
  return list.Text();
}

}  // namespace rq47test
