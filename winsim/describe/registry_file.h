// Registry files as regedit reads them. A REGEDIT4 file (ANSI text) passes
// as it is; a file of the later "Windows Registry Editor Version 5.00" format
// (UTF-16LE with a byte order mark, as Windows 2000 and later and Wine
// export, or UTF-8) becomes the same REGEDIT4 file: its text in the machine's
// code page 1252, the header REGEDIT4, and the UTF-16 data of hex(1), hex(2)
// and hex(7) values converted to ANSI bytes. Line numbers stay those of the
// original file, so errors point at the line a person sees in an editor.
#ifndef WINSIM_TOOL_REGISTRY_FILE_H
#define WINSIM_TOOL_REGISTRY_FILE_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace winsim_tool {

struct RegistryFileText {
  std::string regedit4;   // the text to import
  bool version5 = false;  // it came from the version 5.00 format
  size_t errorLine = 0;   // when not 0: the line of the original file that cannot be taken
  std::string error;      // ... and what is wrong with it
};

// How strictly a file is read. The defaults take what regedit imports; an
// export of a newer regedit (Wine's, which the Wine runs read back) is read
// with both rules on.
struct RegistryFileRules {
  // Only a version 5.00 file is taken; anything else is refused at line 1.
  bool version5Only = false;
  // A string's escapes \r, \n and \0, which a newer regedit writes for a line
  // break or a NUL in a string, are those bytes: the string becomes hex(1)
  // with every byte and its NUL, as REGEDIT4 cannot write them between quotes.
  bool stringEscapes = false;
};
constexpr RegistryFileRules kRegeditExport{true, true};

RegistryFileText ReadRegistryFileText(std::string_view bytes, const RegistryFileRules& rules = {});
// The same for bytes it may keep: a REGEDIT4 file becomes the text to import
// without a copy (an import of a large file holds it once).
RegistryFileText ReadRegistryFileText(std::string&& bytes, const RegistryFileRules& rules = {});

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_REGISTRY_FILE_H
