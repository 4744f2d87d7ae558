#include "machine_diff.h"

namespace winsim_tool {
namespace {

void ListWholeKey(const winsim::RegKey& key, Change change, std::vector<KeyChange>& out) {
  KeyChange entry;
  entry.change = change;
  entry.path = key.path();
  for (const winsim::RegValue& value : key.values()) {
    ValueChange valueChange;
    valueChange.change = change;
    valueChange.name = value.name;
    if (change == Change::Added) {
      valueChange.after = value;
    } else {
      valueChange.before = value;
    }
    entry.values.push_back(std::move(valueChange));
  }
  out.push_back(std::move(entry));
  for (size_t i = 0; i < key.subkeyCount(); ++i) ListWholeKey(*key.subkey(i), change, out);
}

bool SameValue(const winsim::RegValue& a, const winsim::RegValue& b) {
  return a.type == b.type && a.data == b.data;
}

void CompareKeys(const winsim::RegKey& before, const winsim::RegKey& after, DiffRules rules,
                 std::vector<KeyChange>& out) {
  KeyChange entry;
  entry.change = Change::Changed;
  entry.path = after.path();
  for (const winsim::RegValue& old : before.values()) {
    const winsim::RegValue* now = after.findValue(old.name);
    if (now == nullptr) {
      entry.values.push_back({Change::Removed, old.name, old, std::nullopt});
    } else if (!SameValue(old, *now) || (rules.nameCase && old.name != now->name)) {
      entry.values.push_back({Change::Changed, now->name, old, *now});
    }
  }
  for (const winsim::RegValue& now : after.values()) {
    if (before.findValue(now.name) == nullptr) {
      entry.values.push_back({Change::Added, now.name, std::nullopt, now});
    }
  }
  if (!entry.values.empty() || (rules.nameCase && before.name() != after.name())) {
    out.push_back(std::move(entry));
  }

  // Both lists are in the same case-insensitive order: walk them together.
  size_t i = 0;
  size_t j = 0;
  while (i < before.subkeyCount() || j < after.subkeyCount()) {
    const winsim::RegKey* left = i < before.subkeyCount() ? before.subkey(i) : nullptr;
    const winsim::RegKey* right = j < after.subkeyCount() ? after.subkey(j) : nullptr;
    int order = left == nullptr    ? 1
                : right == nullptr ? -1
                                   : winsim::CompareNames(left->name(), right->name());
    if (order < 0) {
      ListWholeKey(*left, Change::Removed, out);
      ++i;
    } else if (order > 0) {
      ListWholeKey(*right, Change::Added, out);
      ++j;
    } else {
      CompareKeys(*left, *right, rules, out);
      ++i;
      ++j;
    }
  }
}

std::optional<TextChange> CompareTexts(const std::string& path, const std::string& before,
                                       const std::string& after) {
  if (before == after) return std::nullopt;
  TextChange change;
  change.path = path;
  change.hunks = DiffLines(SplitLines(before), SplitLines(after));
  return change;
}

}  // namespace

namespace {
// By Change: its name and the mark it is listed with.
constexpr struct {
  const char* name;
  const char* mark;
} kChangeWords[] = {{"added", "+"}, {"removed", "-"}, {"changed", "~"}};
static_assert(static_cast<int>(Change::Added) == 0 && static_cast<int>(Change::Removed) == 1 &&
              static_cast<int>(Change::Changed) == 2);
}  // namespace

const char* ChangeName(Change change) { return kChangeWords[static_cast<int>(change)].name; }
const char* ChangeMark(Change change) { return kChangeWords[static_cast<int>(change)].mark; }

RegistryCounts MachineChanges::registryCounts() const {
  RegistryCounts counts;
  for (const KeyChange& key : keys) {
    switch (key.change) {
      case Change::Added: ++counts.keysAdded; break;
      case Change::Removed: ++counts.keysRemoved; break;
      case Change::Changed: ++counts.keysChanged; break;
    }
    for (const ValueChange& value : key.values) {
      switch (value.change) {
        case Change::Added: ++counts.valuesAdded; break;
        case Change::Removed: ++counts.valuesRemoved; break;
        case Change::Changed: ++counts.valuesChanged; break;
      }
    }
  }
  return counts;
}

std::vector<KeyChange> CompareRegistries(const winsim::Registry& before,
                                         const winsim::Registry& after, DiffRules rules) {
  std::vector<KeyChange> changes;
  for (winsim::Root root : winsim::Registry::kRoots) {
    CompareKeys(before.root(root), after.root(root), rules, changes);
  }
  return changes;
}

MachineChanges CompareSnapshots(const MachineSnapshot& before, const MachineSnapshot& after,
                                DiffRules rules) {
  MachineChanges changes;
  changes.keys = CompareRegistries(before.registry, after.registry, rules);

  if (std::optional<TextChange> ini =
          CompareTexts("machine.ini", before.machineIni, after.machineIni)) {
    changes.texts.push_back(std::move(*ini));
  }

  auto old = before.files.begin();
  auto now = after.files.begin();
  winsim::NameLess less;
  while (old != before.files.end() || now != after.files.end()) {
    bool onlyOld =
        now == after.files.end() || (old != before.files.end() && less(old->first, now->first));
    bool onlyNew = !onlyOld && (old == before.files.end() || less(now->first, old->first));
    if (onlyOld) {
      changes.files.push_back(
          {Change::Removed, old->first, old->second.directory, old->second.size, 0});
      ++old;
      continue;
    }
    if (onlyNew) {
      changes.files.push_back(
          {Change::Added, now->first, now->second.directory, 0, now->second.size});
      ++now;
      continue;
    }
    const FileEntry& a = old->second;
    const FileEntry& b = now->second;
    if (a.directory != b.directory) {
      // A folder became a file or the other way round.
      changes.files.push_back({Change::Removed, old->first, a.directory, a.size, 0});
      changes.files.push_back({Change::Added, now->first, b.directory, 0, b.size});
    } else if ((!a.directory && (a.size != b.size || a.sha256 != b.sha256)) ||
               (rules.nameCase && old->first != now->first)) {
      changes.files.push_back({Change::Changed, now->first, a.directory, a.size, b.size});
      if (a.text && b.text) {
        if (std::optional<TextChange> text = CompareTexts(now->first, *a.text, *b.text)) {
          changes.texts.push_back(std::move(*text));
        }
      }
    }
    ++old;
    ++now;
  }
  return changes;
}

}  // namespace winsim_tool
