#include "changes_text.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "codepage.h"
#include "value_text.h"

namespace winsim_tool {
namespace {

std::string Counted(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "2 keys added, 1 removed": the first count names the thing counted (when
// there is a name: "2 added, 1 removed" otherwise).
void AppendCounts(std::string& out, const char* one, const char* many, size_t added, size_t removed,
                  size_t changed) {
  const std::pair<size_t, const char*> parts[] = {
      {added, "added"}, {removed, "removed"}, {changed, "changed"}};
  std::string text;
  for (const auto& [count, verb] : parts) {
    if (count == 0) continue;
    if (text.empty()) {
      std::string noun = count == 1 ? one : many;
      text = std::to_string(count) + " " + (noun.empty() ? "" : noun + " ") + verb;
    } else {
      text += ", " + std::to_string(count) + " " + verb;
    }
  }
  if (text.empty()) return;
  if (!out.empty()) out += "; ";
  out += text;
}

std::string FileSize(const FileChange& file) {
  if (file.directory) return "(folder)";
  switch (file.change) {
    case Change::Added: return "(" + ByteCount(file.afterSize) + ")";
    case Change::Removed: return "(" + ByteCount(file.beforeSize) + ")";
    case Change::Changed:
      if (file.beforeSize == file.afterSize) {
        return "(" + ByteCount(file.afterSize) + ", content changed)";
      }
      return "(" + GroupedNumber(file.beforeSize) + " -> " + ByteCount(file.afterSize) + ")";
  }
  return "";
}

void AppendHunks(std::string& out, const TextChange& text) {
  out += "Lines of " + ShownText(text.path) + ":\n";
  if (text.hunks.empty()) {
    out += "  (the lines are the same; only the line ends differ)\n";
    return;
  }
  for (const Hunk& hunk : text.hunks) {
    out += "  @@ " + HunkPlace(hunk) + " @@\n";
    for (const DiffLine& line : hunk.lines) {
      switch (line.kind) {
        case DiffLine::Kind::Same: out += "      "; break;
        case DiffLine::Kind::Removed: out += "    - "; break;
        case DiffLine::Kind::Added: out += "    + "; break;
      }
      out += ShownText(line.text) + "\n";
    }
  }
}

}  // namespace

std::string RegistrySummary(const RegistryCounts& counts) {
  std::string summary;
  AppendCounts(summary, "key", "keys", counts.keysAdded, counts.keysRemoved, counts.keysChanged);
  AppendCounts(summary, "value", "values", counts.valuesAdded, counts.valuesRemoved,
               counts.valuesChanged);
  return summary;
}

std::string RegistryChangesText(const std::vector<KeyChange>& keys, bool full) {
  std::string out;
  for (size_t i = 0; i < keys.size(); ++i) {
    const KeyChange& key = keys[i];
    out += std::string("  ") + ChangeMark(key.change) + " [" + ShownText(key.path) + "]";
    if (key.change == Change::Removed && !full) {
      // The keys removed with it follow it at once; say what they held.
      size_t subkeys = 0;
      size_t values = key.values.size();
      const std::string below = key.path + "\\";
      while (
          i + 1 < keys.size() && keys[i + 1].change == Change::Removed &&
          keys[i + 1].path.size() > below.size() &&
          winsim::NamesEqual(std::string_view(keys[i + 1].path).substr(0, below.size()), below)) {
        ++i;
        ++subkeys;
        values += keys[i].values.size();
      }
      std::string held;
      if (subkeys != 0) held = Counted(subkeys, "subkey", "subkeys");
      if (values != 0) held += (held.empty() ? "" : ", ") + Counted(values, "value", "values");
      out += held.empty() ? "\n" : "  (" + held + ")\n";
      continue;
    }
    out += "\n";
    for (const ValueChange& value : key.values) {
      std::string name = value.name.empty() ? std::string("@") : QuotedText(value.name);
      std::string head = std::string("      ") + ChangeMark(value.change) + " " + name + " = ";
      if (value.change == Change::Changed) {
        out += head + ValueText(*value.before) + "\n";
        out += std::string(head.size() > 3 ? head.size() - 3 : 0, ' ') + "-> " +
               ValueText(*value.after) + "\n";
      } else {
        out += head + ValueText(value.after ? *value.after : *value.before) + "\n";
      }
    }
  }
  return out;
}

std::string ChangesText(const MachineChanges& changes, bool full) {
  std::string out;
  if (!changes.keys.empty()) {
    out += "Registry: " + RegistrySummary(changes.registryCounts()) + "\n";
    out += RegistryChangesText(changes.keys, full);
  }
  if (!changes.files.empty()) {
    size_t added = 0, removed = 0, changed = 0;
    for (const FileChange& file : changes.files) {
      if (file.change == Change::Added) ++added;
      if (file.change == Change::Removed) ++removed;
      if (file.change == Change::Changed) ++changed;
    }
    std::string counts;
    AppendCounts(counts, "", "", added, removed, changed);
    out += "Files and folders: " + counts + "\n";
    for (size_t i = 0; i < changes.files.size(); ++i) {
      const FileChange& file = changes.files[i];
      std::string size = FileSize(file);
      if (file.directory && file.change != Change::Changed && !full) {
        // What came or went with the folder follows it at once; say what it held.
        size_t files = 0;
        size_t folders = 0;
        uint64_t bytes = 0;
        const std::string below = file.path + "\\";
        while (i + 1 < changes.files.size() && changes.files[i + 1].change == file.change &&
               changes.files[i + 1].path.size() > below.size() &&
               winsim::NamesEqual(
                   std::string_view(changes.files[i + 1].path).substr(0, below.size()), below)) {
          const FileChange& inside = changes.files[++i];
          if (inside.directory) {
            ++folders;
          } else {
            ++files;
            bytes += file.change == Change::Added ? inside.afterSize : inside.beforeSize;
          }
        }
        if (files + folders != 0) {
          size = "(folder with " + Counted(files, "file", "files");
          if (folders != 0) size += " in " + Counted(folders + 1, "folder", "folders");
          size += ", " + ByteCount(bytes) + ")";
        }
      }
      out += std::string("  ") + ChangeMark(file.change) + " " + ShownText(file.path) +
             (file.directory ? "\\" : "") + "  " + size + "\n";
    }
  }
  for (const TextChange& text : changes.texts) AppendHunks(out, text);
  return out;
}

}  // namespace winsim_tool
