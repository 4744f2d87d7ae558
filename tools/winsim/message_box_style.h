// What a message box style means on Windows 95/98: its buttons, left to
// right, and which of them is the default.
#ifndef WINSIM_TOOL_MESSAGE_BOX_STYLE_H
#define WINSIM_TOOL_MESSAGE_BOX_STYLE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace winsim_tool {

// IDOK, IDCANCEL ... ; empty for a style Windows 95/98 does not know.
std::vector<int> BoxButtons(uint32_t style);
// MB_DEFBUTTON2 makes the second the default; one beyond the last falls back to the first.
size_t DefaultButtonIndex(uint32_t style, size_t buttonCount);

// The lines of a box's text: CR LF, CR and LF each end a line, as the box draws them.
std::vector<std::string> BoxTextLines(std::string_view text);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_MESSAGE_BOX_STYLE_H
