// How a message box lays out its text (its buttons: winsim::ButtonsOf).
#ifndef WINSIM_TOOL_MESSAGE_BOX_TEXT_H
#define WINSIM_TOOL_MESSAGE_BOX_TEXT_H

#include <string>
#include <string_view>
#include <vector>

namespace winsim_tool {

// The lines of a box's text: CR LF, CR and LF each end a line, as the box draws them.
std::vector<std::string> BoxTextLines(std::string_view text);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_MESSAGE_BOX_TEXT_H
