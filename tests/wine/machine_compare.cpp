#include "machine_compare.h"

#include <map>

#include "machine_diff.h"
#include "machine_transfer.h"
#include "value_text.h"

namespace rq47wine {

using winsim_tool::Change;
using winsim_tool::FileChange;
using winsim_tool::KeyChange;
using winsim_tool::MachineChanges;
using winsim_tool::MachineSnapshot;
using winsim_tool::ValueChange;

namespace {

bool IsAtOrBelow(const std::string& path, const std::string& key) {
  return path.size() >= key.size() && winsim::NamesEqual(path.substr(0, key.size()), key) &&
         (path.size() == key.size() || path[key.size()] == '\\');
}

// The changes the allowances let compare.
MachineChanges Compared(MachineChanges changes, const WineAllowances& allowances) {
  MachineChanges kept;
  for (KeyChange& key : changes.keys) {
    bool below = allowances.keysOfTheMachine.empty();
    for (const std::string& root : allowances.keysOfTheMachine) {
      below |= IsAtOrBelow(key.path, root);
    }
    if (below) kept.keys.push_back(std::move(key));
  }
  for (FileChange& file : changes.files) {
    if (!allowances.driveCAlone || IsAtOrBelow(file.path, "C:")) kept.files.push_back(file);
  }
  return kept;  // .ini lines are part of the files' bytes
}

std::string Shown(const ValueChange& value) {
  switch (value.change) {
    case Change::Added: return "added " + winsim_tool::ValueText(*value.after);
    case Change::Removed: return "removed (was " + winsim_tool::ValueText(*value.before) + ")";
    case Change::Changed: break;
  }
  return "changed from " + winsim_tool::ValueText(*value.before) + " to " +
         winsim_tool::ValueText(*value.after);
}

bool SameValue(const std::optional<winsim::RegValue>& a, const std::optional<winsim::RegValue>& b) {
  return a.has_value() == b.has_value() && (!a || (a->type == b->type && a->data == b->data));
}

bool Same(const ValueChange& a, const ValueChange& b) {
  return a.change == b.change && SameValue(a.before, b.before) && SameValue(a.after, b.after);
}

std::string Names(const KeyChange& key) {
  std::string names;
  for (const ValueChange& value : key.values) names += " \"" + value.name + "\"";
  return names;
}

// The entries of both sides paired by their name (a side that left it alone
// gives nothing), each pair handed to compare in name order.
template <typename Entry, typename Key, typename Compare>
void Pair(const std::vector<Entry>& winsimSide, const std::vector<Entry>& wineSide, Key key,
          Compare compare) {
  std::map<std::string, std::pair<const Entry*, const Entry*>> both;
  for (const Entry& entry : winsimSide) both[key(entry)].first = &entry;
  for (const Entry& entry : wineSide) both[key(entry)].second = &entry;
  for (const auto& [name, entries] : both) compare(name, entries.first, entries.second);
}

const char* Did(const KeyChange* key) {
  return key != nullptr ? winsim_tool::ChangeName(key->change) : "unchanged";
}

// A key changed on either side: the key itself, then its values side by side.
void CompareKeys(const std::string& path, const KeyChange* a, const KeyChange* b,
                 const WineAllowances& allowances, std::vector<std::string>& out) {
  const KeyChange& one = a != nullptr ? *a : *b;
  bool valuesSay = (a == nullptr || b == nullptr) && one.change == Change::Changed &&
                   !one.values.empty();  // the lines of its values say it all
  if ((a == nullptr || b == nullptr || a->change != b->change) && !valuesSay) {
    out.push_back(path + ": the key " + Did(a) + " on winsim, " + Did(b) + " under Wine");
  }
  static const KeyChange kNone;
  const KeyChange& x = a != nullptr ? *a : kNone;
  const KeyChange& y = b != nullptr ? *b : kNone;
  size_t before = out.size();
  Pair(
      x.values, y.values, [](const ValueChange& value) { return value.name; },
      [&](const std::string& name, const ValueChange* p, const ValueChange* q) {
        if (p == nullptr || q == nullptr || !Same(*p, *q)) {
          out.push_back(path + ", value " + winsim_tool::ValueNameText(name) + ": " +
                        (p ? Shown(*p) : "unchanged") + " on winsim, " +
                        (q ? Shown(*q) : "unchanged") + " under Wine");
        }
      });
  if (!allowances.valuesInAnyOrder && out.size() == before && Names(x) != Names(y)) {
    out.push_back(path + ": the values in the order" + Names(x) + " on winsim," + Names(y) +
                  " under Wine");
  }
}

std::string Shown(const FileChange& file) {
  if (file.change == Change::Removed) return "removed";
  std::string what = file.directory ? "a folder" : std::to_string(file.afterSize) + " bytes";
  return std::string(winsim_tool::ChangeName(file.change)) + " (" + what + ")";
}

}  // namespace

WineAllowances EndToEndAllowances() { return {ComparedKeys(), true, true}; }

std::vector<std::string> CompareChanges(const MachineSnapshot& winsimBefore,
                                        const MachineSnapshot& winsimAfter,
                                        const MachineSnapshot& wineBefore,
                                        const MachineSnapshot& wineAfter,
                                        const WineAllowances& allowances) {
  // Every name to the letter: a difference in case between the sides counts.
  const winsim_tool::DiffRules exact{true};
  MachineChanges onWinsim =
      Compared(CompareSnapshots(winsimBefore, winsimAfter, exact), allowances);
  MachineChanges underWine = Compared(CompareSnapshots(wineBefore, wineAfter, exact), allowances);

  std::vector<std::string> out;
  Pair(
      onWinsim.keys, underWine.keys, [](const KeyChange& key) { return key.path; },
      [&](const std::string& path, const KeyChange* a, const KeyChange* b) {
        CompareKeys(path, a, b, allowances, out);
      });
  Pair(
      onWinsim.files, underWine.files, [](const FileChange& file) { return file.path; },
      [&](const std::string& path, const FileChange* a, const FileChange* b) {
        bool sameKind =
            a != nullptr && b != nullptr && a->change == b->change && a->directory == b->directory;
        bool same = sameKind;
        if (sameKind && !a->directory && a->change != Change::Removed) {
          // The bytes: both sides' files after the step by size and hash.
          const winsim_tool::FileEntry& x = winsimAfter.files.at(path);
          const winsim_tool::FileEntry& y = wineAfter.files.at(path);
          same = x.size == y.size && x.sha256 == y.sha256;
        }
        if (!same) {
          out.push_back(path + ": " + (a ? Shown(*a) : "unchanged") + " on winsim, " +
                        (b ? Shown(*b) : "unchanged") + " under Wine" +
                        (sameKind ? ", other bytes" : ""));
        }
      });
  return out;
}

}  // namespace rq47wine
