// winsim: run the RQ47 modem programs on simulated Windows 95/98 machines
// and see what they change.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "winsim/guarded_run.h"

namespace {

constexpr int kUsage = 2;

int Dispatch(const std::string& command, const std::vector<std::string>& args) {
  if (command == "new") return winsim_tool::NewCommand(args);
  if (command == "run") return winsim_tool::RunCommand(args);
  if (command == "diff") return winsim_tool::DiffCommand(args);
  if (command == "reg") return winsim_tool::RegCommand(args);
  std::fprintf(stderr,
               "winsim: '%s' is not a winsim command; the commands are new, run, diff and reg.\n"
               "Run 'winsim --help' to see what each does.\n",
               winsim::EscapeControls(command).c_str());
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (args.empty()) {
    std::fputs(winsim_tool::CommandHelp("").c_str(), stderr);
    return kUsage;
  }
  const std::string command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::string topic = command == "help" && args.size() > 1 ? args[1] : "";
    std::string help = winsim_tool::CommandHelp(topic);
    if (help.empty()) {
      std::fprintf(stderr,
                   "winsim help: '%s' is not a winsim command; the commands are new, "
                   "run, diff and reg.\n",
                   winsim::EscapeControls(topic).c_str());
      return kUsage;
    }
    std::fputs(help.c_str(), stdout);
    return 0;
  }
  args.erase(args.begin());
  try {
    return Dispatch(command, args);
  } catch (const std::exception& error) {
    // A fault of winsim itself: say so rather than end without a word.
    std::fprintf(stderr, "winsim %s: unexpected failure: %s\n",
                 winsim::EscapeControls(command).c_str(),
                 winsim::EscapeControls(error.what()).c_str());
    return command == "run" ? 125 : kUsage;
  }
}
