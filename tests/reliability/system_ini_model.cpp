#include "system_ini_model.h"

#include <vector>

namespace rq47test {
namespace {

struct Line {
  std::string text;
  bool endsWithLineFeed = false;
};

std::vector<Line> ReadLines(const std::string& file) {
  std::string input = file.substr(0, file.find('\x1a'));
  std::vector<Line> lines;
  size_t start = 0;
  while (start < input.size()) {
    size_t lineFeed = input.find('\n', start);
    if (lineFeed == std::string::npos) {
      lines.push_back({input.substr(start), false});
      break;
    }
    std::string text = input.substr(start, lineFeed - start);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    lines.push_back({text, true});
    start = lineFeed + 1;
  }
  return lines;
}

}  // namespace

std::string WithDriverLineRemoved(const std::string& systemIni) {
  std::string out;
  for (const Line& line : ReadLines(systemIni)) {
    // Each piece up to a lone CR is a line of its own; the last piece ends
    // with the line's line feed, if it has one.
    size_t start = 0;
    for (;;) {
      size_t cr = line.text.find('\r', start);
      bool last = cr == std::string::npos;
      std::string piece = line.text.substr(start, last ? std::string::npos : cr - start);
      if (piece.find("zelvcd") != std::string::npos) {
        out += "  ";
      } else {
        out += piece;
        if (!last) out += '\r';
        if (last && line.endsWithLineFeed) out += "\r\n";
      }
      if (last) break;
      start = cr + 1;
    }
  }
  return out;
}

std::string WithDriverLineAdded(const std::string& systemIni) {
  std::string out;
  for (const Line& line : ReadLines(systemIni)) {
    bool matches = line.text.find("*vcd") != std::string::npos;
    out += line.text;
    if (line.endsWithLineFeed || matches) out += "\r\n";
    if (matches) out += "device = zelvcd.vxd\r\n";
  }
  return out;
}

}  // namespace rq47test
