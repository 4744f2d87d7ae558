#include "box_log.h"

#include <cstdio>
#include <stdexcept>

#include <windows.h>

#include "box_line.h"
#include "value_text.h"
#include "winsim/run.h"

namespace rq47wine {
namespace {

[[noreturn]] void Fail(const char* what, size_t line, const std::string& problem) {
  throw std::runtime_error(std::string(what) + ", line " + std::to_string(line) + ": " + problem);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Unescape(std::string_view field, size_t line) {
  std::string text;
  if (!box_line::Unescaped(field, &text)) {
    Fail("answerer log", line, "a backslash at the end of a field or before another character");
  }
  return text;
}

// A quoted argument of a trace line starting at line[at] == '"' (or NULL);
// returns the position after it.
size_t ReadTraceText(std::string_view line, size_t at, std::string* text, size_t number) {
  if (line.compare(at, 4, "NULL") == 0) return at + 4;
  if (at >= line.size() || line[at] != '"') Fail("trace", number, "a text argument was expected");
  for (size_t i = at + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') return i + 1;
    if (c != '\\') {
      *text += c;
      continue;
    }
    if (++i >= line.size()) break;
    switch (line[i]) {
      case 'r': *text += '\r'; break;
      case 'n': *text += '\n'; break;
      case 't': *text += '\t'; break;
      case 'x':
        if (i + 2 >= line.size()) Fail("trace", number, "a cut \\x escape");
        *text += static_cast<char>(std::stoi(std::string(line.substr(i + 1, 2)), nullptr, 16));
        i += 2;
        break;
      default: *text += line[i];
    }
  }
  Fail("trace", number, "a text argument without its closing quote");
}

size_t Expect(std::string_view line, size_t at, std::string_view what, size_t number) {
  if (line.compare(at, what.size(), what) != 0) {
    Fail("trace", number, "\"" + std::string(what) + "\" was expected");
  }
  return at + what.size();
}

}  // namespace

std::vector<ShownBox> ParseAnswererLog(std::string_view log) {
  std::vector<ShownBox> boxes;
  size_t number = 0;
  for (std::string_view line : SplitLines(log)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
      size_t tab = line.find(box_line::kSeparator, start);
      fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
      if (tab == std::string_view::npos) break;
      start = tab + 1;
    }
    if (fields.size() != box_line::kFields) {
      Fail("answerer log", number,
           "a box has " + std::to_string(box_line::kFields) +
               " tab-separated fields, this line has " + std::to_string(fields.size()));
    }
    boxes.push_back(ShownBox{Unescape(fields[0], number), Unescape(fields[1], number),
                             std::string(fields[2]), std::string(fields[3])});
  }
  return boxes;
}

std::vector<ShownBox> BoxesFromTrace(std::string_view trace) {
  static constexpr std::string_view kCall = "MessageBoxA(";
  std::vector<ShownBox> boxes;
  size_t number = 0;
  for (std::string_view line : SplitLines(trace)) {
    ++number;
    if (line.compare(0, kCall.size(), kCall) != 0) continue;
    // MessageBoxA(owner, "text", "caption", 0xstyle) = answer
    size_t at = line.find(", ", kCall.size());
    if (at == std::string_view::npos) Fail("trace", number, "no arguments after the owner");
    ShownBox box;
    at = ReadTraceText(line, at + 2, &box.text, number);
    at = Expect(line, at, ", ", number);
    at = ReadTraceText(line, at, &box.caption, number);
    at = Expect(line, at, ", ", number);
    size_t close = line.find(") = ", at);
    if (close == std::string_view::npos) Fail("trace", number, "no result after the arguments");
    unsigned style = 0;
    try {
      style =
          static_cast<unsigned>(std::stoul(std::string(line.substr(at, close - at)), nullptr, 0));
    } catch (const std::exception&) {
      Fail("trace", number, "the style is not a number");
    }
    box.buttons = ButtonLabels(style);
    box.answer = std::string(line.substr(close + 4));
    boxes.push_back(box);
  }
  return boxes;
}

std::string ButtonLabels(unsigned style) {
  std::vector<int> buttons = winsim::ButtonsOf(style);
  if (buttons.empty()) return "(style " + std::to_string(style & MB_TYPEMASK) + ")";
  return winsim::ButtonList(buttons, ",");
}

std::string Describe(const ShownBox& box) {
  return winsim_tool::QuotedText(box.caption) + " " + winsim_tool::QuotedText(box.text) + " {" +
         box.buttons + "} answered " + box.answer;
}

std::string Describe(const std::vector<ShownBox>& boxes) {
  if (boxes.empty()) return "  (no box)\n";
  std::string out;
  for (size_t i = 0; i < boxes.size(); ++i) {
    out += "  " + std::to_string(i + 1) + ". " + Describe(boxes[i]) + "\n";
  }
  return out;
}

}  // namespace rq47wine
