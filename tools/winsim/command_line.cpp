#include "command_line.h"

#include <cstdio>

#include "winsim/guarded_run.h"

namespace winsim_tool {

std::string Arguments::value(const std::string& option) const {
  auto it = options.find(option);
  return it != options.end() ? it->second : std::string();
}

Arguments ParseArguments(const std::vector<std::string>& args,
                         std::initializer_list<OptionRule> rules) {
  Arguments parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    const OptionRule* rule = nullptr;
    for (const OptionRule& candidate : rules) {
      if (name == candidate.name) rule = &candidate;
    }
    if (rule == nullptr) {
      std::string known;
      for (const OptionRule& candidate : rules) {
        known += std::string(known.empty() ? "" : ", ") + candidate.name;
      }
      throw UsageError("unknown option " + name +
                       (known.empty() ? "; this command takes no options"
                                      : "; the options are " + known + " and --help"));
    }
    if (parsed.has(name)) throw UsageError(name + " is given twice; give it once");
    if (rule->takesValue && !hasValue) {
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value after it");
      value = args[++i];
    } else if (!rule->takesValue && hasValue) {
      throw UsageError(name + " takes no value; write it alone");
    }
    parsed.options[name] = value;
  }
  return parsed;
}

void Say(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "winsim %s: %s\n", command.c_str(), winsim::EscapeControls(message).c_str());
  std::fflush(stderr);
}

void SayUsage(const std::string& command, const std::string& message) {
  Say(command, message);
  std::fprintf(stderr, "Run 'winsim %s --help' to see how it is used.\n", command.c_str());
  std::fflush(stderr);
}

std::string Shown(const std::string& path) {
  if (path.find_first_of(" \t'\"") == std::string::npos && !path.empty()) return path;
  return "\"" + path + "\"";
}

}  // namespace winsim_tool
