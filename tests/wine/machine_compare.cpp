#include "machine_compare.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "test_machine.h"

namespace fs = std::filesystem;

namespace rq47wine {

using rq47test::ReadWhole;

namespace {

constexpr uint32_t kRegSz = 1;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string HexBytes(const std::string& data) {
  std::string bytes;
  for (size_t i = 0; i < data.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
    bytes += (i > 0 ? " " : "") + std::string(byte);
  }
  return bytes;
}

std::string Shown(const winsim::RegValue& value) {
  if (value.type != kRegSz) {
    return "type " + std::to_string(value.type) + " [" + HexBytes(value.data) + "]";
  }
  std::string text = "\"";
  for (char c : value.text()) {
    if (static_cast<unsigned char>(c) < 0x20) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(c));
      text += code;
    } else {
      text += c;
    }
  }
  text += "\"";
  // Every byte, when they are not just the text and one NUL.
  if (value.data == value.text() + '\0') return text;
  return text + " (" + std::to_string(value.data.size()) + " bytes: " + HexBytes(value.data) + ")";
}

std::string ValueName(const std::string& name) { return name.empty() ? "@" : "\"" + name + "\""; }

bool SameValue(const winsim::RegValue& a, const winsim::RegValue& b) {
  return a.type == b.type && a.data == b.data;
}

void CompareKeys(const winsim::RegKey& a, const winsim::RegKey& b, const std::string& path,
                 std::vector<std::string>* differences) {
  if (a.name() != b.name()) {
    differences->push_back(path + ": the key is spelled \"" + a.name() + "\" on winsim, \"" +
                           b.name() + "\" under Wine");
  }
  for (const winsim::RegValue& value : a.values()) {
    const winsim::RegValue* other = b.findValue(value.name);
    std::string where = path + ", value " + ValueName(value.name);
    if (other == nullptr) {
      differences->push_back(where + ": " + Shown(value) + " on winsim, missing under Wine");
      continue;
    }
    if (other->name != value.name) {
      differences->push_back(where + ": spelled " + ValueName(other->name) + " under Wine");
    }
    if (!SameValue(value, *other)) {
      differences->push_back(where + ": " + Shown(value) + " on winsim, " + Shown(*other) +
                             " under Wine");
    }
  }
  for (const winsim::RegValue& value : b.values()) {
    if (a.findValue(value.name) == nullptr) {
      differences->push_back(path + ", value " + ValueName(value.name) + ": missing on winsim, " +
                             Shown(value) + " under Wine");
    }
  }
  for (size_t i = 0; i < a.subkeyCount(); ++i) {
    const winsim::RegKey& child = *a.subkey(i);
    const winsim::RegKey* other = b.findSubkey(child.name());
    std::string childPath = path + "\\" + child.name();
    if (other == nullptr) {
      differences->push_back(childPath + ": the key is there on winsim, missing under Wine");
    } else {
      CompareKeys(child, *other, childPath, differences);
    }
  }
  for (size_t i = 0; i < b.subkeyCount(); ++i) {
    const winsim::RegKey& child = *b.subkey(i);
    if (a.findSubkey(child.name()) == nullptr) {
      differences->push_back(path + "\\" + child.name() +
                             ": the key is missing on winsim, there under Wine");
    }
  }
}

// The entries of a folder by lower-case name; symbolic links are left out.
std::map<std::string, fs::directory_entry> EntriesOf(const fs::path& folder) {
  std::map<std::string, fs::directory_entry> entries;
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(folder, error))) return entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (fs::is_symlink(entry.symlink_status())) continue;
    entries.emplace(Lower(entry.path().filename().string()), entry);
  }
  return entries;
}

std::string FileDifference(const fs::path& a, const fs::path& b) {
  std::string first = ReadWhole(a);
  std::string second = ReadWhole(b);
  if (first == second) return "";
  size_t at = 0;
  while (at < first.size() && at < second.size() && first[at] == second[at]) ++at;
  return "the contents differ from byte " + std::to_string(at) + " (" +
         std::to_string(first.size()) + " bytes on winsim, " + std::to_string(second.size()) +
         " under Wine)";
}

void CompareFolders(const fs::path& a, const fs::path& b, const std::string& shown,
                    std::vector<std::string>* differences) {
  std::map<std::string, fs::directory_entry> first = EntriesOf(a);
  std::map<std::string, fs::directory_entry> second = EntriesOf(b);
  for (const auto& [key, entry] : first) {
    std::string name = entry.path().filename().string();
    std::string where = shown + "\\" + name;
    auto other = second.find(key);
    if (other == second.end()) {
      differences->push_back(where + ": there on winsim, missing under Wine");
      continue;
    }
    std::string otherName = other->second.path().filename().string();
    if (otherName != name) {
      differences->push_back(where + ": spelled \"" + otherName + "\" under Wine");
    }
    bool folder = entry.is_directory();
    if (folder != other->second.is_directory()) {
      differences->push_back(where + (folder ? ": a folder on winsim, a file under Wine"
                                             : ": a file on winsim, a folder under Wine"));
    } else if (folder) {
      CompareFolders(entry.path(), other->second.path(), where, differences);
    } else {
      std::string difference = FileDifference(entry.path(), other->second.path());
      if (!difference.empty()) differences->push_back(where + ": " + difference);
    }
  }
  for (const auto& [key, entry] : second) {
    if (first.count(key) == 0) {
      differences->push_back(shown + "\\" + entry.path().filename().string() +
                             ": missing on winsim, there under Wine");
    }
  }
}

}  // namespace

std::vector<std::string> CompareRegistries(const winsim::Registry& winsimSide,
                                           const winsim::Registry& wineSide,
                                           const std::vector<std::string>& keys) {
  std::vector<std::string> differences;
  for (const std::string& key : keys) {
    const winsim::RegKey* a = winsimSide.find(key);
    const winsim::RegKey* b = wineSide.find(key);
    if (a == nullptr && b == nullptr) continue;
    if (a == nullptr) {
      differences.push_back(key + ": the key is missing on winsim, there under Wine");
    } else if (b == nullptr) {
      differences.push_back(key + ": the key is there on winsim, missing under Wine");
    } else {
      CompareKeys(*a, *b, key, &differences);
    }
  }
  return differences;
}

std::vector<std::string> CompareDrives(const fs::path& winsimSide, const fs::path& wineSide) {
  std::vector<std::string> differences;
  CompareFolders(winsimSide, wineSide, "C:", &differences);
  return differences;
}

}  // namespace rq47wine
