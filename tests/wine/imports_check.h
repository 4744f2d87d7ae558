// What a Windows executable imports (from `objdump -p`), held against the
// functions Windows 95 provides: the allow-list in the repository, each entry
// with where its availability on Windows 95 is documented.
#ifndef RQ47_WINE_IMPORTS_CHECK_H
#define RQ47_WINE_IMPORTS_CHECK_H

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
// Throws std::runtime_error naming the line of a malformed or repeated entry.
std::vector<AllowedImport> ParseAllowList(std::string_view text);

// One line for each DLL other than the allowed ones and each function that is
// not on the list (or imported by ordinal).
std::vector<std::string> FindForbiddenImports(const ImportTable& imports,
                                              const std::set<std::string>& allowedDlls,
                                              const std::vector<AllowedImport>& allowList);

// The entries of the list that none of the tables imports.
std::vector<std::string> FindUnusedEntries(const std::vector<ImportTable>& tables,
                                           const std::vector<AllowedImport>& allowList);

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
