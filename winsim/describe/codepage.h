// The machine's text is in the Windows ANSI code page 1252; a person's
// terminal and a web page read UTF-8. These convert between the two.
#ifndef WINSIM_TOOL_CODEPAGE_H
#define WINSIM_TOOL_CODEPAGE_H

#include <optional>
#include <string>
#include <string_view>

namespace winsim_tool {

// Every byte of code page 1252 as UTF-8 (the five bytes the code page leaves
// undefined become U+0081, U+008D ... as Windows maps them).
std::string AnsiToUtf8(std::string_view ansi);

// The same for a terminal: control characters of the machine's text (a name
// or a line holding ESC or BEL could drive the terminal) shown as \xNN; tabs
// stay as they are.
std::string ShownText(std::string_view ansi);

// The Unicode character of a code page 1252 byte.
char32_t AnsiToUnicode(unsigned char byte);

// The code page 1252 byte of a Unicode character; nothing when it has none.
std::optional<char> UnicodeToAnsi(char32_t c);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_CODEPAGE_H
