// Answers the message boxes of a program running under Wine, as a person would,
// and records each box: caption, text, buttons and the answer given.
//
//   answerer.exe ANSWERS LOG STOP
//
// ANSWERS is a comma-separated list (yes, no, ok, cancel, ...) taken in order;
// when it runs out, a box gets its default button. Each box is appended to the
// LOG file as one line (box_line.h): caption, text, buttons, answer, separated
// by tabs, with CR, LF, tab and backslash escaped. The answerer ends when the
// file STOP exists, or after ten minutes.
//
// A box is a visible top-level window of class "#32770"; its text is the
// static control 0xFFFF; a button is pressed by posting WM_COMMAND to the box,
// which works reliably where synthetic keystrokes do not.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "box_line.h"

namespace {

struct Button {
  int id;
  std::string label;
  HWND window;
  bool isDefault;
};

struct Found {
  HWND box = nullptr;
};

std::vector<std::string> g_answers;
size_t g_next = 0;

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
    reinterpret_cast<Found*>(param)->box = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectButton(HWND window, LPARAM param) {
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (_stricmp(className, "Button") != 0) return TRUE;
  char label[64] = "";
  GetWindowTextA(window, label, sizeof label);
  std::string text;
  for (const char* p = label; *p != '\0'; ++p) {
    if (*p != '&') text += *p;
  }
  LONG style = GetWindowLongA(window, GWL_STYLE);
  reinterpret_cast<std::vector<Button>*>(param)->push_back(
      Button{GetDlgCtrlID(window), text, window, (style & 0x0F) == BS_DEFPUSHBUTTON});
  return TRUE;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string ReadFileText(const char* path) {
  std::string text;
  if (FILE* file = std::fopen(path, "rb")) {
    char buffer[512];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
  }
  return text;
}

void Answer(HWND box, FILE* log) {
  char caption[512] = "";
  GetWindowTextA(box, caption, sizeof caption);
  char text[4096] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  std::vector<Button> buttons;
  EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&buttons));
  if (buttons.empty()) return;  // not drawn yet

  const Button* chosen = nullptr;
  std::string wanted = g_next < g_answers.size() ? g_answers[g_next] : "";
  for (const Button& button : buttons) {
    if (!wanted.empty() && Lower(button.label) == wanted) chosen = &button;
  }
  if (chosen == nullptr) {
    for (const Button& button : buttons) {
      if (button.isDefault) chosen = &button;
    }
  }
  if (chosen == nullptr) chosen = &buttons.front();
  if (!wanted.empty()) ++g_next;

  std::string labels;
  for (const Button& button : buttons) {
    if (!labels.empty()) labels += ",";
    labels += button.label;
  }
  const char tab = box_line::kSeparator;
  std::string line = box_line::Escaped(caption) + tab + box_line::Escaped(text) + tab + labels +
                     tab + chosen->label + "\n";
  std::fputs(line.c_str(), log);
  std::fflush(log);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(chosen->id, BN_CLICKED),
               reinterpret_cast<LPARAM>(chosen->window));
  // Wait until this box is gone, so that it is never answered twice.
  for (int i = 0; i < 200 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(25);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: answerer.exe ANSWERS LOG STOP\n");
    return 2;
  }
  std::string list = Lower(argv[1]);
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (comma > start) g_answers.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  FILE* log = std::fopen(argv[2], "ab");
  if (log == nullptr) {
    std::fprintf(stderr, "answerer: cannot open the log %s\n", argv[2]);
    return 2;
  }
  for (int tick = 0; tick < 10 * 60 * 20; ++tick) {
    if (!ReadFileText(argv[3]).empty() || GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES) {
      break;
    }
    Found found;
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&found));
    if (found.box != nullptr) {
      Answer(found.box, log);
    } else {
      Sleep(50);
    }
  }
  std::fclose(log);
  return 0;
}
