#include "imports_check.h"

#include <cctype>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace rq47wine {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string DllKey(std::string name) {
  name = Upper(name);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".DLL") == 0)
    name.resize(name.size() - 4);
  return name;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

bool IsHex(const std::string& word) {
  if (word.empty()) return false;
  for (char c : word) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool IsDecimal(const std::string& word) {
  if (word.empty()) return false;
  for (char c : word) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

uint32_t Little32(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

}  // namespace

ImportTable ParseObjdumpImports(std::string_view objdumpOutput) {
  ImportTable imports;
  std::istringstream in{std::string(objdumpOutput)};
  std::string line;
  bool inTables = false;
  std::string dll;
  while (std::getline(in, line)) {
    if (line.find("The Import Tables") != std::string::npos) {
      inTables = true;
      continue;
    }
    if (!inTables) continue;
    if (line.find("The Export Tables") != std::string::npos ||
        line.find("The Function Table") != std::string::npos ||
        line.rfind("PE File Base Relocations", 0) == 0 || line.rfind("Sections:", 0) == 0) {
      break;
    }
    size_t named = line.find("DLL Name:");
    if (named != std::string::npos) {
      std::vector<std::string> words = Words(line.substr(named + 9));
      dll = words.empty() ? "" : DllKey(words[0]);
      if (!dll.empty()) imports[dll];
      continue;
    }
    if (dll.empty()) continue;
    // "\t3d38c\t 1382  InitializeSecurityDescriptor": address, hint, name;
    // an import by ordinal has no name.
    std::vector<std::string> words = Words(line);
    if (words.size() >= 3 && IsHex(words[0]) && IsDecimal(words[1])) {
      imports[dll].insert(words[2]);
    } else if (words.size() == 2 && IsHex(words[0]) && IsDecimal(words[1])) {
      imports[dll].insert("#" + words[1]);
    } else if (words.empty()) {
      dll.clear();  // the table of this DLL ends
    }
  }
  if (!inTables) throw std::runtime_error("the objdump output holds no import tables");
  return imports;
}

std::vector<AllowedImport> ParseAllowList(std::string_view text) {
  std::vector<AllowedImport> list;
  std::istringstream in{std::string(text)};
  std::string line;
  size_t number = 0;
  std::set<std::string> seen;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream fields(line);
    AllowedImport entry;
    std::string status;
    fields >> entry.dll >> entry.function >> status;
    std::getline(fields, entry.source);
    size_t start = entry.source.find_first_not_of(" \t");
    entry.source = start == std::string::npos ? "" : entry.source.substr(start);
    if (status != "yes" && status != "stub") {
      throw std::runtime_error("allow-list line " + std::to_string(number) +
                               ": the third field must be yes or stub, not \"" + status + "\"");
    }
    if (entry.source.empty()) {
      throw std::runtime_error("allow-list line " + std::to_string(number) +
                               ": an entry needs the place where its availability is documented");
    }
    if (IsUnicodeName(entry.function)) {
      throw std::runtime_error("allow-list line " + std::to_string(number) + ": " + entry.function +
                               " is a Unicode function, which Windows 95 mostly only stubs "
                               "and the programs never call: use its A version");
    }
    entry.dll = DllKey(entry.dll);
    entry.stubOnly = status == "stub";
    if (!seen.insert(entry.dll + "!" + entry.function).second) {
      throw std::runtime_error("allow-list line " + std::to_string(number) + ": " + entry.dll +
                               " " + entry.function + " is listed twice");
    }
    list.push_back(entry);
  }
  return list;
}

bool IsUnicodeName(std::string_view function) {
  if (function.size() < 2 || function.back() != 'W') return false;
  unsigned char before = static_cast<unsigned char>(function[function.size() - 2]);
  return std::islower(before) || std::isdigit(before);
}

std::vector<std::string> FindForbiddenImports(const ImportTable& imports,
                                              const std::set<std::string>& allowedDlls,
                                              const std::vector<AllowedImport>& allowList) {
  std::vector<std::string> problems;
  for (const auto& [dll, functions] : imports) {
    if (allowedDlls.count(dll) == 0) {
      problems.push_back(dll +
                         ".DLL is imported, and only the DLLs of Windows 95 that the "
                         "programs may use are allowed");
      continue;
    }
    for (const std::string& function : functions) {
      bool listed = false;
      for (const AllowedImport& entry : allowList) {
        listed = listed || (entry.dll == dll && entry.function == function);
      }
      if (function[0] == '#') {
        problems.push_back(dll + " ordinal " + function.substr(1) +
                           " is imported by ordinal, which the allow-list cannot vouch for");
      } else if (IsUnicodeName(function)) {
        problems.push_back(dll + " " + function +
                           " is a Unicode function, which Windows 95 mostly only stubs: "
                           "call its A version");
      } else if (!listed) {
        problems.push_back(dll + " " + function +
                           " is imported but not on the allow-list of Windows 95 functions");
      }
    }
  }
  return problems;
}

std::vector<std::string> FindUnusedEntries(const std::vector<ImportTable>& tables,
                                           const std::vector<AllowedImport>& allowList) {
  std::vector<std::string> unused;
  for (const AllowedImport& entry : allowList) {
    bool used = false;
    for (const ImportTable& table : tables) {
      auto found = table.find(entry.dll);
      used = used || (found != table.end() && found->second.count(entry.function) != 0);
    }
    if (!used) unused.push_back(entry.dll + " " + entry.function);
  }
  return unused;
}

std::map<std::string, std::string> ParseHeaderFields(std::string_view objdumpOutput) {
  std::map<std::string, std::string> fields;
  std::istringstream in{std::string(objdumpOutput)};
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("The Data Directory", 0) == 0) break;
    // "ImageBase\t\t00400000": a name without blanks, tabs, the value.
    size_t tab = line.find('\t');
    if (tab == 0 || tab == std::string::npos || line.find(' ') < tab) continue;
    size_t value = line.find_first_not_of('\t', tab);
    if (value != std::string::npos) fields[line.substr(0, tab)] = line.substr(value);
  }
  return fields;
}

std::map<int, DataDirectory> ParseDataDirectories(std::string_view objdumpOutput) {
  std::map<int, DataDirectory> directories;
  std::istringstream in{std::string(objdumpOutput)};
  std::string line;
  // "Entry 9 0002a35c 00000018 Thread Storage Directory [.tls]"
  while (std::getline(in, line)) {
    std::vector<std::string> words = Words(line);
    if (words.size() < 4 || words[0] != "Entry" || !IsHex(words[1]) || !IsHex(words[2]) ||
        !IsHex(words[3])) {
      continue;
    }
    directories[std::stoi(words[1], nullptr, 16)] = {
        static_cast<uint32_t>(std::stoul(words[2], nullptr, 16)),
        static_cast<uint32_t>(std::stoul(words[3], nullptr, 16))};
  }
  return directories;
}

bool FindFixedVersion(std::string_view executable, FixedVersion* version) {
  static const char kSignature[4] = {'\xBD', '\x04', '\xEF', '\xFE'};  // 0xFEEF04BD
  size_t at = executable.find(std::string_view(kSignature, 4));
  // Signature, structure version, then file version MS and LS, product version MS and LS.
  if (at == std::string_view::npos || at + 24 > executable.size()) return false;
  uint32_t fileMs = Little32(executable, at + 8);
  uint32_t fileLs = Little32(executable, at + 12);
  uint32_t productMs = Little32(executable, at + 16);
  uint32_t productLs = Little32(executable, at + 20);
  unsigned file[4] = {fileMs >> 16, fileMs & 0xFFFF, fileLs >> 16, fileLs & 0xFFFF};
  unsigned product[4] = {productMs >> 16, productMs & 0xFFFF, productLs >> 16, productLs & 0xFFFF};
  std::memcpy(version->file, file, sizeof file);
  std::memcpy(version->product, product, sizeof product);
  return true;
}

bool HoldsWideText(std::string_view executable, std::string_view text) {
  std::string wide;
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  return executable.find(wide) != std::string_view::npos;
}

}  // namespace rq47wine
