#include "winsim/short_names.h"

#include <algorithm>
#include <set>
#include <utility>

#include "winsim/machine.h"
#include "winsim/registry.h"

namespace winsim {
namespace {

char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToUpper(c);
  return out;
}

// Characters a short (8.3) name may hold besides letters and digits; bytes of
// the upper half of the code page are allowed as they are.
bool IsShortNameChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
    return true;
  }
  return std::string_view("$%'-_@~`!(){}^#&").find(c) != std::string_view::npos;
}

bool FitsShortName(std::string_view name) {
  size_t dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (dot != std::string_view::npos && extension.empty()) return false;
  if (extension.find('.') != std::string_view::npos) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return c == '.' || IsShortNameChar(c); });
}

// The part of a short name made from a part of a long one: upper case,
// without blanks and dots, with the characters VFAT replaces turned into
// underscores, at most `limit` characters.
std::string ShortPart(std::string_view text, size_t limit) {
  std::string out;
  for (char c : text) {
    if (out.size() == limit) break;
    if (c == ' ' || c == '.') continue;
    if (std::string_view("+,;=[]").find(c) != std::string_view::npos) {
      out += '_';
    } else if (IsShortNameChar(c)) {
      out += ToUpper(c);
    }
  }
  return out;
}

// Stem (six characters at most) and extension (three at most) of the short
// name of a long one.
std::pair<std::string, std::string> AliasBasis(std::string_view name) {
  size_t first = name.find_first_not_of('.');  // leading dots do not count
  std::string_view rest = first == std::string_view::npos ? std::string_view() : name.substr(first);
  size_t dot = rest.rfind('.');
  if (dot == std::string_view::npos) return {ShortPart(rest, 6), std::string()};
  return {ShortPart(rest.substr(0, dot), 6), ShortPart(rest.substr(dot + 1), 3)};
}

std::string NumberedAlias(const std::pair<std::string, std::string>& basis, unsigned number) {
  std::string tail = "~" + std::to_string(number);
  size_t room = tail.size() < 8 ? 8 - tail.size() : 0;
  std::string alias = basis.first.substr(0, std::min(basis.first.size(), room)) + tail;
  if (!basis.second.empty()) alias += "." + basis.second;
  return alias;
}

// A short name as the numbering makes them: it fits 8.3, is in upper case and has its ~n.
bool IsNumberedAlias(std::string_view alias) {
  return FitsShortName(alias) && alias == ToUpper(alias) && alias.find('~') != std::string::npos;
}

bool IsForbiddenInName(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("<>:\"|?*/\\").find(c) != std::string_view::npos;
}

// "C:\WINDOWS\INF\Other\name.inf" -> {"C:\WINDOWS\INF\Other", "name.inf"};
// nothing when the text is not the full path of an entry below a drive root.
bool SplitEntryPath(std::string_view path, std::string& folder, std::string& name) {
  if (path.size() < 4 ||
      !((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    return false;
  }
  if (path.substr(1, 2) != ":\\") return false;
  size_t start = 3;
  while (true) {
    size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty() || part.back() == ' ' || part.back() == '.' ||
        std::any_of(part.begin(), part.end(), IsForbiddenInName)) {
      return false;
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  size_t last = path.rfind('\\');
  folder = std::string(1, ToUpper(path[0])) + std::string(path.substr(1, last == 2 ? 1 : last - 1));
  name = std::string(path.substr(last + 1));
  return true;
}

std::string EntryPath(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

}  // namespace

std::vector<std::string> ShortNames::work(const Folder* known,
                                          const std::vector<std::string>& names,
                                          Folder* kept) const {
  std::vector<std::string> aliases(names.size());
  std::set<std::string> taken;
  std::vector<size_t> fresh;
  for (size_t i = 0; i < names.size(); ++i) {
    if (FitsShortName(names[i])) {
      aliases[i] = ToUpper(names[i]);
      taken.insert(aliases[i]);
    }
  }
  // A kept short name stays, unless a name that fits 8.3 has come to be it
  // (only a hand can do that: then the long name gets another).
  for (size_t i = 0; i < names.size(); ++i) {
    if (!aliases[i].empty()) continue;
    auto record = known != nullptr ? known->find(names[i]) : Folder::const_iterator();
    if (known != nullptr && record != known->end() && taken.insert(record->second).second) {
      aliases[i] = record->second;
    } else {
      fresh.push_back(i);
    }
  }
  std::sort(fresh.begin(), fresh.end(), [&names](size_t a, size_t b) {
    int order = CompareNames(names[a], names[b]);
    return order != 0 ? order < 0 : names[a] < names[b];
  });
  // The lowest free number; lower ones of the same stem are all taken by now.
  std::map<std::pair<std::string, std::string>, unsigned> next;
  for (size_t index : fresh) {
    std::pair<std::string, std::string> basis = AliasBasis(names[index]);
    unsigned& number = next.emplace(basis, 1).first->second;
    std::string alias;
    do {
      alias = NumberedAlias(basis, number++);
    } while (taken.count(alias) != 0);
    taken.insert(alias);
    aliases[index] = std::move(alias);
  }
  if (kept != nullptr) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (!FitsShortName(names[i])) (*kept)[names[i]] = aliases[i];
    }
  }
  return aliases;
}

std::vector<std::string> ShortNames::aliases(const std::string& folder,
                                             const std::vector<std::string>& names) const {
  auto known = folders_.find(folder);
  return work(known == folders_.end() ? nullptr : &known->second, names, nullptr);
}

std::vector<std::string> ShortNames::settle(const std::string& folder,
                                            const std::vector<std::string>& names) {
  auto known = folders_.find(folder);
  Folder kept;
  std::vector<std::string> result =
      work(known == folders_.end() ? nullptr : &known->second, names, &kept);
  bool same = known == folders_.end() ? kept.empty() : known->second == kept;
  if (!same) {
    if (kept.empty()) {
      folders_.erase(known);
    } else {
      folders_[folder] = std::move(kept);
    }
    changed_ = true;
  }
  return result;
}

ShortNames ShortNames::Parse(std::string_view text) {
  ShortNames store;
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    auto fail = [number](const std::string& what) {
      throw MachineError(kFile, number,
                         what +
                             "; correct the line, or delete it and the entry gets a short "
                             "name anew when the machine is next used");
    };
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      fail("expected a short name, a tab and the full path of its file or folder");
    }
    std::string_view alias = line.substr(0, tab);
    std::string folder;
    std::string name;
    if (!IsNumberedAlias(alias)) {
      fail("'" + std::string(alias) + "' is not a short name such as PROGRA~1 or ZELVAR~2.INF");
    }
    if (!SplitEntryPath(line.substr(tab + 1), folder, name)) {
      fail("'" + std::string(line.substr(tab + 1)) +
           "' is not the full path of a file or folder, such as C:\\Program Files");
    }
    if (FitsShortName(name)) {
      fail("'" + name + "' fits 8.3 and is its own short name, " + ToUpper(name));
    }
    Folder& entries = store.folders_[folder];
    if (entries.count(name) != 0) fail(EntryPath(folder, name) + " is given twice");
    for (const auto& [other, otherAlias] : entries) {
      if (otherAlias == alias) {
        fail(std::string(alias) + " is already the short name of " + EntryPath(folder, other));
      }
    }
    entries[name] = std::string(alias);
  }
  return store;
}

std::string ShortNames::text() const {
  std::vector<std::pair<std::string, const std::string*>> lines;
  for (const auto& [folder, entries] : folders_) {
    for (const auto& [name, alias] : entries) lines.emplace_back(EntryPath(folder, name), &alias);
  }
  std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
    int order = CompareNames(a.first, b.first);
    return order != 0 ? order < 0 : a.first < b.first;
  });
  std::string out =
      "; The 8.3 short names of this machine's long file and folder names, kept as a\r\n"
      "; VFAT drive keeps them with its files: the short name, a tab, the full path.\r\n";
  for (const auto& [path, alias] : lines) out += *alias + "\t" + path + "\r\n";
  return out;
}

}  // namespace winsim
