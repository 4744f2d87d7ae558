// Message boxes: every box is recorded, answered (scripted answers, then the
// person at the terminal, then the default button) and, when asked, drawn on
// standard error so that a run reads like a session at the machine.
#include <poll.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "api_call.h"

using winsim::detail::Args;
using winsim::detail::Call;
using winsim::detail::HandleName;
using winsim::detail::Hex;

namespace winsim {
namespace {

constexpr size_t kTextWidth = 64;  // where long lines wrap, about as wide as a box grows

const char* IconMark(uint32_t style) {
  switch (style & MB_ICONMASK) {
    case MB_ICONHAND: return "(X)";
    case MB_ICONQUESTION: return "(?)";
    case MB_ICONEXCLAMATION: return "(!)";
    case MB_ICONASTERISK: return "(i)";
    default: return nullptr;
  }
}

// The text's lines as the box draws them; tabs become blanks and other
// control characters a dot, so the frame stays whole.
std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines = BoxTextLines(text);
  for (std::string& line : lines) {
    std::string shown;
    for (char c : line) {
      if (c == '\t') {
        shown += "    ";
      } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        shown += '.';
      } else {
        shown += c;
      }
    }
    line = shown;
  }
  return lines;
}

// Long lines wrap at blanks, as a box wraps its text.
std::vector<std::string> Wrap(const std::vector<std::string>& lines, size_t width) {
  std::vector<std::string> wrapped;
  for (std::string line : lines) {
    while (line.size() > width) {
      size_t cut = line.rfind(' ', width);
      if (cut == std::string::npos || cut == 0) cut = width;
      wrapped.push_back(line.substr(0, cut));
      line.erase(0, std::min(line.size(), line.find_first_not_of(' ', cut)));
    }
    wrapped.push_back(line);
  }
  return wrapped;
}

std::string Padded(const std::string& text, size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

// The default button is drawn with double brackets, the others with single ones.
std::string ButtonRow(const std::vector<int>& buttons, size_t defaultIndex) {
  std::string row;
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (!row.empty()) row += "   ";
    std::string name = ButtonName(buttons[i]);
    row += i == defaultIndex ? "[[ " + name + " ]]" : "[ " + name + " ]";
  }
  return row;
}

void DrawBox(const MessageBoxRecord& box, const std::vector<int>& buttons, size_t defaultIndex) {
  const char* icon = IconMark(box.style);
  std::string indent = icon != nullptr ? std::string(icon) + "  " : std::string();
  std::vector<std::string> lines = Wrap(TextLines(box.text), kTextWidth);
  for (size_t i = 0; i < lines.size(); ++i) {
    lines[i] = (i == 0 ? indent : std::string(indent.size(), ' ')) + lines[i];
  }
  std::string caption;
  for (const std::string& part : TextLines(box.caption))
    caption += (caption.empty() ? "" : " ") + part;
  std::string row = ButtonRow(buttons, defaultIndex);
  size_t inner = std::max<size_t>(row.size(), caption.size() + 3);
  for (const std::string& line : lines) inner = std::max(inner, line.size());
  inner += 4;  // two blanks either side

  std::string out;
  std::string title = "+- " + caption + " ";
  out += title + std::string(inner + 1 - title.size(), '-') + "+\n";
  out += "|" + std::string(inner, ' ') + "|\n";
  for (const std::string& line : lines) out += "|  " + Padded(line, inner - 2) + "|\n";
  out += "|" + std::string(inner, ' ') + "|\n";
  size_t left = (inner - row.size()) / 2;
  out += "|" + std::string(left, ' ') + Padded(row, inner - left) + "|\n";
  out += "+" + std::string(inner, '-') + "+\n";
  std::fputs(out.c_str(), stderr);
  std::fflush(stderr);
}

void ReportAnswer(int answer, const std::string& how) {
  std::fprintf(stderr, "  => %s (%s)\n\n", ButtonName(answer), how.c_str());
  std::fflush(stderr);
}

// The button a typed line names: its name or its first letter, in any case.
int TypedButton(const std::string& line, const std::vector<int>& buttons) {
  std::string word = line;
  word.erase(0, std::min(word.size(), word.find_first_not_of(" \t")));
  word.erase(word.find_last_not_of(" \t\r") + 1);
  for (int id : buttons) {
    std::string name = ButtonName(id);
    if (NamesEqual(word, name) || (word.size() == 1 && NamesEqual(word, name.substr(0, 1)))) {
      return id;
    }
  }
  return 0;
}

// A line typed at the terminal, read a byte at a time so that nothing after
// it is taken from the next box. False at the end of the input, or as soon as
// a stop is requested (a Ctrl-C may come just before the wait begins, so the
// wait looks at the request every tenth of a second).
bool ReadTypedLine(std::string& line) {
  line.clear();
  for (;;) {
    if (StopRequest() != 0) return false;
    struct pollfd input = {STDIN_FILENO, POLLIN, 0};
    int ready = ::poll(&input, 1, 100);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    char c = 0;
    ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return !line.empty();  // a last line without a line feed still counts
    if (c == '\n') return true;
    line += c;
  }
}

}  // namespace

int Run::answerFor(const MessageBoxRecord& box) {
  std::vector<int> buttons = ButtonsOf(box.style);
  if (buttons.empty()) return 0;
  size_t defaultIndex = DefaultButtonIndex(box.style, buttons.size());
  const bool askPerson = askTerminal && ::isatty(STDIN_FILENO) != 0;
  if (echoMessageBoxes || (askPerson && nextAnswer_ >= answers_.size())) {
    DrawBox(box, buttons, defaultIndex);
  }

  if (nextAnswer_ < answers_.size()) {
    size_t number = ++nextAnswer_;
    int answer = answers_[number - 1];
    if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) {
      throw RunStopped(RunStopped::Reason::BadAnswer,
                       std::string("scripted answer ") + std::to_string(number) + " is " +
                           ButtonName(answer) + ", but the box \"" + box.caption +
                           "\" has only the buttons " + ButtonList(buttons));
    }
    if (echoMessageBoxes) {
      ReportAnswer(answer, "scripted answer " + std::to_string(number) + " of " +
                               std::to_string(answers_.size()));
    }
    return answer;
  }

  if (askPerson) {
    std::string choices;
    for (int id : buttons) {
      std::string name = ButtonName(id);
      choices += (choices.empty() ? "" : ", ") + ("[" + name.substr(0, 1) + "]" + name.substr(1));
    }
    while (true) {
      std::fprintf(stderr, "  Press %s (Enter = %s): ", choices.c_str(),
                   ButtonName(buttons[defaultIndex]));
      std::fflush(stderr);
      std::string line;
      if (!ReadTypedLine(line)) {
        std::fputc('\n', stderr);
        // A Ctrl-C ends the wait for an answer; it is no answer.
        stopIfRequested(("at the box \"" + box.caption + "\"").c_str());
        ReportAnswer(buttons[defaultIndex], "default button: end of input");
        return buttons[defaultIndex];
      }
      if (line.find_first_not_of(" \t\r") == std::string::npos) {
        ReportAnswer(buttons[defaultIndex], "default button");
        return buttons[defaultIndex];
      }
      if (int typed = TypedButton(line, buttons)) {
        ReportAnswer(typed, "typed");
        return typed;
      }
      std::fprintf(stderr, "  '%s' is not a button of this box.\n", line.c_str());
    }
  }

  if (echoMessageBoxes) ReportAnswer(buttons[defaultIndex], "default button");
  return buttons[defaultIndex];
}

}  // namespace winsim

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  Call call("MessageBoxA", Args(HandleName(hWnd), lpText, lpCaption, Hex(uType)),
            ERROR_NOT_ENOUGH_MEMORY);
  winsim::MessageBoxRecord box;
  // Windows shows an empty text for NULL, and "Error" as the caption.
  box.text = lpText != nullptr ? lpText : "";
  box.caption = lpCaption != nullptr ? lpCaption : "Error";
  box.style = uType;
  box.result = 0;
  if (call.fault) {
    call.run().recordMessageBox(box);
    return call.result(0, "0, " + winsim::detail::ErrorName(*call.fault), *call.fault);
  }
  if (winsim::ButtonsOf(uType).empty()) {
    call.run().recordMessageBox(box);
    return call.result(0, "0, ERROR_INVALID_PARAMETER", ERROR_INVALID_PARAMETER);
  }
  try {
    box.result = call.run().answerFor(box);
  } catch (const winsim::RunStopped&) {
    call.run().recordMessageBox(box);
    call.result(0, "(no answer: the run stops)");
    throw;
  }
  call.run().recordMessageBox(box);
  return call.result(box.result, winsim::ButtonName(box.result));
}
