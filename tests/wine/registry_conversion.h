// Wine's regedit exports in the UTF-16 "Windows Registry Editor Version 5.00"
// format; the machines keep REGEDIT4, the ANSI format of Windows 95/98. This
// turns the one into the other.
#ifndef RQ47_WINE_REGISTRY_CONVERSION_H
#define RQ47_WINE_REGISTRY_CONVERSION_H

#include <string>
#include <string_view>

namespace rq47wine {

// The REGEDIT4 text (code page 1252, CR LF line ends) of an exported file:
// the header becomes REGEDIT4; key and value names and string texts are put
// into code page 1252; the wide data of hex(1), hex(2) and hex(7) values
// becomes ANSI bytes, as Windows 95/98 keep those values; a string that holds
// a line break or a NUL, which REGEDIT4 cannot write between quotes, becomes
// hex(1) with every byte kept. Throws std::runtime_error naming the line for
// a file that is not such an export or holds a character outside code page 1252.
std::string Regedit5ToRegedit4(std::string_view utf16File);

// Code page 1252 conversions; nothing when the character or byte has no counterpart.
bool Cp1252FromCodePoint(char32_t codePoint, unsigned char* byte);
char32_t CodePointFromCp1252(unsigned char byte);

}  // namespace rq47wine

#endif  // RQ47_WINE_REGISTRY_CONVERSION_H
