#include "wine_run.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "test_machine.h"

namespace fs = std::filesystem;

namespace rq47wine {

using rq47test::ReadWhole;

WineRunResult RunUnderWine(const WinePrefix& prefix, const fs::path& program,
                           const fs::path& workingDirectory, const std::string& answers,
                           const fs::path& answerer, const fs::path& scratchFolder) {
  fs::path boxLog = scratchFolder / "boxes.log";
  fs::path stopFile = scratchFolder / "answerer.stop";
  fs::remove(boxLog);
  fs::remove(stopFile);

  Command answer = prefix.wineCommand(
      {answerer.string(), answers, WindowsPathOf(boxLog), WindowsPathOf(stopFile)});
  Process answering(answer);
  Command run = prefix.wineCommand({program.string()}, workingDirectory, std::chrono::seconds(180));
  CommandResult ran = RunCommand(run);

  std::ofstream(stopFile) << "stop\n";
  CommandResult answered = answering.wait(std::chrono::seconds(60));

  WineRunResult result;
  result.exitCode = ran.exitCode;
  result.errorText = ran.errorText;
  std::string log = ReadWhole(boxLog);
  if (ran.timedOut) {
    throw std::runtime_error(program.filename().string() +
                             " did not end under Wine: " + ran.describe(run) +
                             "; the boxes it showed:\n" + Describe(ParseAnswererLog(log)));
  }
  if (answered.timedOut || answered.exitCode != 0) {
    throw std::runtime_error("the answering program failed: " + answered.describe(answer));
  }
  result.boxes = ParseAnswererLog(log);
  return result;
}

}  // namespace rq47wine
