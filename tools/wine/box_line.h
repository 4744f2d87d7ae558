// One line of the answering program's log, as answerer.exe writes it under
// Wine and the Wine harness reads it back: a box's caption, text, buttons and
// the answer given, separated by tabs. CR, LF, tab and backslash in a field
// are written \r \n \t \\ so that each box stays one line. Header-only: the
// answering program is a Windows program and the harness a host one.
#ifndef RQ47_WINE_BOX_LINE_H
#define RQ47_WINE_BOX_LINE_H

#include <string>
#include <string_view>

namespace box_line {

constexpr char kSeparator = '\t';
constexpr size_t kFields = 4;  // caption, text, buttons, answer

inline std::string Escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

// The text of an escaped field; false when a backslash ends it or stands
// before anything but r, n, t or a backslash.
inline bool Unescaped(std::string_view field, std::string* text) {
  text->clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      *text += field[i];
      continue;
    }
    if (++i >= field.size()) return false;
    switch (field[i]) {
      case 'r': *text += '\r'; break;
      case 'n': *text += '\n'; break;
      case 't': *text += '\t'; break;
      case '\\': *text += '\\'; break;
      default: return false;
    }
  }
  return true;
}

}  // namespace box_line

#endif  // RQ47_WINE_BOX_LINE_H
