// The pieces every winsim command shares: reading its arguments, saying
// what went wrong in a way a person can act on.
#ifndef WINSIM_TOOL_COMMAND_LINE_H
#define WINSIM_TOOL_COMMAND_LINE_H

#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace winsim_tool {

// The command line is wrong: an unknown option, a missing argument.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionRule {
  const char* name;  // "--answers"
  bool takesValue;
};

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "--answers" -> "yes,ok"; "" for a flag
  bool help = false;                           // --help or -h was given

  bool has(const std::string& option) const { return options.count(option) != 0; }
  std::string value(const std::string& option) const;
};

// Options may come before, between and after the other arguments, as
// "--name value" or "--name=value"; "--" ends the options. Throws UsageError
// for an unknown option, a missing value or an option given twice.
Arguments ParseArguments(const std::vector<std::string>& args,
                         std::initializer_list<OptionRule> rules);

// "winsim <command>: <message>" on standard error.
void Say(const std::string& command, const std::string& message);

// A usage error: the message, then where to read how the command is used.
void SayUsage(const std::string& command, const std::string& message);

// A path as a person reads it in a message: quoted when it holds a blank.
std::string Shown(const std::string& path);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_COMMAND_LINE_H
