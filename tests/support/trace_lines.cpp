#include "trace_lines.h"

namespace rq47test {

namespace {

bool IsCallOf(const std::string& line, std::string_view function, std::string_view containing) {
  return line.size() > function.size() && line.compare(0, function.size(), function) == 0 &&
         line[function.size()] == '(' && line.find(containing) != std::string::npos;
}

}  // namespace

std::vector<std::string> CallsOf(const std::vector<std::string>& trace, std::string_view function,
                                 std::string_view containing) {
  std::vector<std::string> calls;
  for (const std::string& line : trace) {
    if (IsCallOf(line, function, containing)) calls.push_back(line);
  }
  return calls;
}

std::vector<size_t> CallPositions(const std::vector<std::string>& trace, std::string_view function,
                                  std::string_view containing) {
  std::vector<size_t> positions;
  for (size_t i = 0; i < trace.size(); ++i) {
    if (IsCallOf(trace[i], function, containing)) positions.push_back(i);
  }
  return positions;
}

size_t FirstCall(const std::vector<std::string>& trace, std::string_view function,
                 std::string_view containing) {
  for (size_t i = 0; i < trace.size(); ++i) {
    if (IsCallOf(trace[i], function, containing)) return i;
  }
  return trace.size();
}

std::vector<size_t> ChangingCallPositions(const std::vector<std::string>& trace) {
  std::vector<size_t> positions;
  for (size_t i = 0; i < trace.size(); ++i) {
    for (const char* function : {"RegSetValueExA", "RegCreateKeyExA", "RegDeleteKeyA", "CopyFileA",
                                 "DeleteFileA", "CreateDirectoryA", "WriteFile"}) {
      if (IsCallOf(trace[i], function, {})) positions.push_back(i);
    }
  }
  return positions;
}

std::string TraceQuoted(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::vector<std::string> TextArguments(std::string_view line) {
  // Only the arguments: the result part may quote text of its own.
  size_t end = line.rfind(") = ");
  if (end != std::string_view::npos) line = line.substr(0, end);
  std::vector<std::string> texts;
  size_t at = line.find('(');
  while (at != std::string_view::npos && (at = line.find('"', at)) != std::string_view::npos) {
    std::string text;
    size_t i = at + 1;
    for (; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        ++i;
        switch (line[i]) {
          case 'r': text += '\r'; break;
          case 'n': text += '\n'; break;
          case 't': text += '\t'; break;
          default: text += line[i];
        }
      } else {
        text += line[i];
      }
    }
    texts.push_back(text);
    at = i + 1;
  }
  return texts;
}

std::vector<std::string> FirstTextArguments(const std::vector<std::string>& trace,
                                            std::string_view function) {
  std::vector<std::string> firsts;
  for (const std::string& line : CallsOf(trace, function)) {
    std::vector<std::string> texts = TextArguments(line);
    firsts.push_back(texts.empty() ? std::string() : texts.front());
  }
  return firsts;
}

}  // namespace rq47test
