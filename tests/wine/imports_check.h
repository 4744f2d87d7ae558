// What a Windows executable imports and how its header is set (from
// `objdump -p`), held against what Windows 95 provides: the allow-list in the
// repository, each entry with where its availability on Windows 95 is
// documented.
#ifndef RQ47_WINE_IMPORTS_CHECK_H
#define RQ47_WINE_IMPORTS_CHECK_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace rq47wine {

// DLL name in upper case without ".dll" ("KERNEL32") -> functions imported by
// name. An import by ordinal is kept as "#ordinal".
using ImportTable = std::map<std::string, std::set<std::string>>;

// The import tables that `objdump -p` prints. Throws std::runtime_error when
// the output has no import table section at all.
ImportTable ParseObjdumpImports(std::string_view objdumpOutput);

struct AllowedImport {
  std::string dll;        // "KERNEL32"
  std::string function;   // "CloseHandle"
  bool stubOnly = false;  // Windows 95 has the export, but it only fails
  std::string source;     // where its Windows 95 availability is documented
};

// The allow-list: "DLL FUNCTION yes|stub SOURCE..." a line, # comments.
// Throws std::runtime_error naming the line of a malformed or repeated entry,
// or of a Unicode function (Windows 95 has few of them, and the programs
// call none).
std::vector<AllowedImport> ParseAllowList(std::string_view text);

// Whether a function's name is that of a Unicode (W) function: it ends in a
// W that follows a lower-case letter or a digit ("LoadLibraryW").
bool IsUnicodeName(std::string_view function);

// One line for each DLL other than the allowed ones and each function that is
// not on the list, imported by ordinal, or a Unicode function.
std::vector<std::string> FindForbiddenImports(const ImportTable& imports,
                                              const std::set<std::string>& allowedDlls,
                                              const std::vector<AllowedImport>& allowList);

// The entries of the list that none of the tables imports.
std::vector<std::string> FindUnusedEntries(const std::vector<ImportTable>& tables,
                                           const std::vector<AllowedImport>& allowList);

// The header fields `objdump -p` prints before the data directories, by name
// ("ImageBase" -> "00400000", "Subsystem" -> "00000002\t(Windows GUI)").
std::map<std::string, std::string> ParseHeaderFields(std::string_view objdumpOutput);

// The data directories (index -> address and size); an entry the image does
// not have is 0, 0. Index 9 is the TLS directory, 13 the delay-load imports.
struct DataDirectory {
  uint32_t address = 0;
  uint32_t size = 0;
};
inline constexpr int kTlsDirectory = 9;
inline constexpr int kDelayImportDirectory = 13;
std::map<int, DataDirectory> ParseDataDirectories(std::string_view objdumpOutput);

// The version numbers of the executable's version resource (VS_FIXEDFILEINFO):
// file and product version as four numbers each; empty when there is none.
struct FixedVersion {
  unsigned file[4] = {0, 0, 0, 0};
  unsigned product[4] = {0, 0, 0, 0};
};
bool FindFixedVersion(std::string_view executable, FixedVersion* version);

// Whether the executable holds the text in UTF-16LE (as resource strings are kept).
bool HoldsWideText(std::string_view executable, std::string_view text);

}  // namespace rq47wine

#endif  // RQ47_WINE_IMPORTS_CHECK_H
