#include "system_ini_model.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace rq47test {
namespace {

// A line as both rules take it: the text up to a CR LF, a lone LF or a lone
// CR (a Ctrl-Z is text), and the line end that followed it ("\r\n" for CR LF
// and LF alike, "\r", or nothing at the end of the file).
struct Line {
  std::string text;
  std::string end;
};

std::vector<Line> ReadLines(const std::string& file) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < file.size()) {
    size_t stop = file.find_first_of("\r\n", start);
    if (stop == std::string::npos) {
      lines.push_back({file.substr(start), ""});
      break;
    }
    std::string text = file.substr(start, stop - start);
    if (file[stop] == '\n' || (stop + 1 < file.size() && file[stop + 1] == '\n')) {
      lines.push_back({text, "\r\n"});
      start = stop + (file[stop] == '\n' ? 1 : 2);
    } else {
      lines.push_back({text, "\r"});
      start = stop + 1;
    }
  }
  return lines;
}

std::string TrimmedLowerCase(std::string text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "device=zelvcd.vxd", blanks around the name and the value, case and the
// driver's path aside.
bool IsDriverLineInAnyCase(const std::string& text) {
  size_t equals = text.find('=');
  if (equals == std::string::npos || TrimmedLowerCase(text.substr(0, equals)) != "device") {
    return false;
  }
  const std::string value = TrimmedLowerCase(text.substr(equals + 1));
  const std::string file = "zelvcd.vxd";
  return value == file ||
         (value.size() > file.size() &&
          value.compare(value.size() - file.size() - 1, std::string::npos, "\\" + file) == 0);
}

}  // namespace

std::string WithDriverLineRemoved(const std::string& systemIni) {
  std::string out;
  for (const Line& line : ReadLines(systemIni)) {
    bool driver = line.text.find("zelvcd") != std::string::npos || IsDriverLineInAnyCase(line.text);
    out += driver ? "  " : line.text + line.end;
  }
  return out;
}

std::string WithDriverLineAdded(const std::string& systemIni) {
  std::string out;
  for (const Line& line : ReadLines(systemIni)) {
    bool matches = line.text.find("*vcd") != std::string::npos;
    out += line.text + line.end;
    if (matches && line.end.empty()) out += "\r\n";
    if (matches) out += "device = zelvcd.vxd\r\n";
  }
  return out;
}

}  // namespace rq47test
