// The message boxes a run showed, as the answering program records them under
// Wine and as winsim's call trace records them, in one form that compares.
#ifndef RQ47_WINE_BOX_LOG_H
#define RQ47_WINE_BOX_LOG_H

#include <string>
#include <string_view>
#include <vector>

namespace rq47wine {

struct ShownBox {
  std::string caption;
  std::string text;
  std::string buttons;  // the labels left to right, "Yes,No"
  std::string answer;   // the label of the button pressed

  bool operator==(const ShownBox& other) const {
    return caption == other.caption && text == other.text && buttons == other.buttons &&
           answer == other.answer;
  }
  bool operator!=(const ShownBox& other) const { return !(*this == other); }
};

// One line per box: caption, text, buttons, answer, separated by tabs, with
// \r \n \t \\ escaped (the answering program's log). Throws
// std::runtime_error naming the line when one is not of that form.
std::vector<ShownBox> ParseAnswererLog(std::string_view log);

// The boxes of the MessageBoxA lines of a winsim call trace, in order.
// Throws std::runtime_error naming the line when one cannot be read.
std::vector<ShownBox> BoxesFromTrace(std::string_view trace);

// The button labels of a MessageBoxA style as a box shows them, "Yes,No".
std::string ButtonLabels(unsigned style);

// A box on one line for a failure message, control characters escaped.
std::string Describe(const ShownBox& box);
std::string Describe(const std::vector<ShownBox>& boxes);

}  // namespace rq47wine

#endif  // RQ47_WINE_BOX_LOG_H
