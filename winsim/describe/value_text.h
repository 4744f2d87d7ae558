// Registry values as a person reads them: the type by its name and the data
// by its type, exact about the bytes (a REG_SZ shows its text and its byte
// count, so a value written with a fixed count is told from one that is not).
#ifndef WINSIM_TOOL_VALUE_TEXT_H
#define WINSIM_TOOL_VALUE_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "winsim/registry.h"

namespace winsim_tool {

// "REG_SZ", "REG_DWORD" ... ; "type 0x42" for a type without a name.
std::string RegTypeName(uint32_t type);

// The data as text (UTF-8):
//   REG_SZ, REG_EXPAND_SZ  "text" (20 bytes), with what is unusual said:
//                          no terminator, bytes after the terminator
//   REG_MULTI_SZ           "one", "two" (N bytes)
//   REG_DWORD              0x0000001a (26)
//   anything else          the bytes in hex: 01 02 03 (3 bytes)
std::string ValueDataText(const winsim::RegValue& value);

// Type and data: REG_SZ "text" (20 bytes).
std::string ValueText(const winsim::RegValue& value);

// The value's name as regedit shows it: "(Default)" for the default value.
std::string ValueNameText(const std::string& name);

// Text between double quotes, in UTF-8, with \" for a quote and \r \n \t
// and \xNN for control characters; backslashes stay as they are, so paths
// read as Windows writes them.
std::string QuotedText(std::string_view ansi);

// "12,345".
std::string GroupedNumber(uint64_t number);
// "1 byte", "20 bytes", "12,345 bytes".
std::string ByteCount(uint64_t count);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_VALUE_TEXT_H
