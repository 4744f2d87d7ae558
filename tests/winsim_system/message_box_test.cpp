// Message boxes: scripted answers, the default button, the record of every box
// and the drawing on standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_machine.h"

namespace {

using rq47test::TempDir;
using rq47test::TestMachine;

// Points a standard file descriptor elsewhere while it lives.
class Redirect {
 public:
  Redirect(int fd, const std::string& path, int flags) : fd_(fd), saved_(::dup(fd)) {
    std::fflush(nullptr);
    int file = ::open(path.c_str(), flags, 0600);
    ::dup2(file, fd_);
    ::close(file);
  }
  ~Redirect() {
    std::fflush(nullptr);
    ::dup2(saved_, fd_);
    ::close(saved_);
  }

 private:
  int fd_;
  int saved_;
};

// What a call wrote on standard error.
template <class F>
std::string StandardErrorOf(F call) {
  TempDir dir;
  const std::string path = (dir.path() / "stderr.txt").string();
  {
    Redirect redirect(2, path, O_WRONLY | O_CREAT | O_TRUNC);
    call();
  }
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(MessageBoxes, ScriptedAnswersAreTakenInOrderAndEveryBoxIsRecorded) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  run.setAnswers({IDNO, IDCANCEL, IDRETRY});
  EXPECT_EQ(MessageBoxA(nullptr, "Upgrade?", "Zelvaran RQ47 Upgrade", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Zelvaran RQ47 Modem", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Zelvaran RQ47 Modem", MB_RETRYCANCEL), IDRETRY);
  // Answers spent: the default button.
  EXPECT_EQ(MessageBoxA(nullptr, "Done", "Zelvaran RQ47 Modem", MB_OK), IDOK);

  const std::vector<winsim::MessageBoxRecord>& boxes = run.messageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].caption, "Zelvaran RQ47 Upgrade");
  EXPECT_EQ(boxes[0].text, "Upgrade?");
  EXPECT_EQ(boxes[0].style, static_cast<uint32_t>(MB_YESNO));
  EXPECT_EQ(boxes[0].result, IDNO);
  EXPECT_EQ(boxes[2].result, IDRETRY);
  EXPECT_EQ(boxes[3].text, "Done");
  EXPECT_EQ(boxes[3].result, IDOK);
  EXPECT_NE(run.trace().back().find("MessageBoxA(NULL, \"Done\""), std::string::npos)
      << run.trace().back();
}

TEST(MessageBoxes, AnAnswerThatIsNotAButtonStopsTheRunAndSaysWhich) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  run.setAnswers({IDOK, IDYES});
  EXPECT_EQ(MessageBoxA(nullptr, "Fine", "Zelvaran RQ47 Modem", MB_OK), IDOK);
  try {
    MessageBoxA(nullptr, "Not enough memory", "Zelvaran RQ47 Modem", MB_OK);
    ADD_FAILURE() << "the box took an answer it has no button for";
  } catch (const winsim::RunStopped& stop) {
    EXPECT_EQ(stop.reason, winsim::RunStopped::Reason::BadAnswer);
    const std::string what = stop.what();
    EXPECT_NE(what.find("answer 2"), std::string::npos) << what;
    EXPECT_NE(what.find("Yes"), std::string::npos) << what;
    EXPECT_NE(what.find("OK"), std::string::npos) << what;
  }
  ASSERT_EQ(run.messageBoxes().size(), 2u);
  EXPECT_EQ(run.messageBoxes()[1].result, 0);
}

TEST(MessageBoxes, WithoutAnswersTheDefaultButtonIsPressed) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  // No person to ask: standard input is not a terminal.
  TempDir dir;
  std::ofstream(dir.path() / "empty").close();
  Redirect input(0, (dir.path() / "empty").string(), O_RDONLY);
  run.askTerminal = true;

  struct Case {
    UINT style;
    int pressed;
  };
  const Case cases[] = {
      {MB_OK, IDOK},
      {MB_YESNO, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_OKCANCEL | MB_DEFBUTTON2 | MB_ICONQUESTION, IDCANCEL},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
      {MB_OK | MB_DEFBUTTON2, IDOK},  // no second button: the first
      {MB_YESNO | MB_DEFBUTTON3, IDYES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", c.style), c.pressed);
  }
}

TEST(MessageBoxes, NullTextsAndUnknownStylesAndFaults) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
  ASSERT_EQ(run.messageBoxes().size(), 1u);
  EXPECT_EQ(run.messageBoxes()[0].caption, "Error");
  EXPECT_EQ(run.messageBoxes()[0].text, "");

  EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", 0x7), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  run.setAnswers({IDNO});
  run.addFault({"MessageBoxA", "Upgrade", 0, 0});
  EXPECT_EQ(MessageBoxA(nullptr, "Upgrade now?", "caption", MB_YESNO), 0);
  EXPECT_EQ(MessageBoxA(nullptr, "Other", "caption", MB_YESNO), IDNO);  // the answer is kept
  ASSERT_EQ(run.messageBoxes().size(), 4u);
  EXPECT_EQ(run.messageBoxes()[2].result, 0);
}

TEST(MessageBoxes, AnEchoedBoxShowsCaptionLinesButtonsAndTheAnswer) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  EXPECT_EQ(StandardErrorOf([] { MessageBoxA(nullptr, "quiet", "caption", MB_OK); }), "");

  run.echoMessageBoxes = true;
  std::string drawn = StandardErrorOf([] {
    MessageBoxA(nullptr, "One\r\nTwo\rThree\nFour\r\n\r\nSix", "Zelvaran RQ47 Upgrade",
                MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION);
  });
  std::vector<std::string> lines = Lines(drawn);
  ASSERT_GE(lines.size(), 10u) << drawn;
  EXPECT_NE(lines[0].find("Zelvaran RQ47 Upgrade"), std::string::npos) << drawn;
  // Each line break of the text starts a line of its own, blank lines kept.
  std::vector<std::string> textLines;
  for (const std::string& line : lines) {
    for (const char* word : {"One", "Two", "Three", "Four", "Six"}) {
      if (line.find(word) != std::string::npos) textLines.push_back(word);
    }
  }
  EXPECT_EQ(textLines, (std::vector<std::string>{"One", "Two", "Three", "Four", "Six"})) << drawn;
  size_t four = drawn.find("Four");
  size_t six = drawn.find("Six");
  EXPECT_EQ(Lines(drawn.substr(four, six - four)).size(), 3u) << drawn;  // Four, blank, Six
  EXPECT_NE(drawn.find("(?)"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("[ Yes ]"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("[[ No ]]"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("=> No (default button)"), std::string::npos) << drawn;

  // The frame is a rectangle.
  size_t width = lines[0].size();
  for (const std::string& line : lines) {
    if (line.empty() || (line[0] != '+' && line[0] != '|')) continue;
    EXPECT_EQ(line.size(), width) << line;
    EXPECT_TRUE(line.back() == '+' || line.back() == '|') << line;
  }

  run.setAnswers({IDOK});
  drawn = StandardErrorOf([] { MessageBoxA(nullptr, "x", nullptr, MB_OK); });
  EXPECT_NE(drawn.find("Error"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("=> OK (scripted answer 1 of 1)"), std::string::npos) << drawn;
}

TEST(MessageBoxes, LongTextWrapsInsideTheFrame) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  run.echoMessageBoxes = true;
  std::string longText;
  for (int i = 0; i < 40; ++i) longText += "word" + std::to_string(i) + " ";
  longText += std::string(150, 'x');  // one word longer than a line
  std::string drawn = StandardErrorOf([&] { MessageBoxA(nullptr, longText.c_str(), "c", MB_OK); });
  std::vector<std::string> lines = Lines(drawn);
  size_t width = lines.at(0).size();
  EXPECT_LT(width, 80u) << drawn;
  size_t xs = 0;
  for (const std::string& line : lines) {
    if (line.empty() || (line[0] != '+' && line[0] != '|')) continue;
    EXPECT_EQ(line.size(), width) << line;
    xs += static_cast<size_t>(std::count(line.begin(), line.end(), 'x'));
  }
  EXPECT_EQ(xs, 150u);  // nothing of the text is lost
  EXPECT_NE(drawn.find("word39"), std::string::npos);
}

}  // namespace
