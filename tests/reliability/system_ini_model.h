// What the two driver-line operations make of a whole system.ini, worked out
// here on their own from the rules they follow, so a test can tell a correct
// rewrite from a damaged one:
//   reading: CR LF is one line end, a Ctrl-Z ends the input;
//   a line that names "zelvcd" becomes two blanks and loses its line end,
//   where a lone CR also ends a line (as Windows reads system.ini); for the
//   "*vcd" match a lone CR is text within its line;
//   after a line that names "*vcd" comes "device = zelvcd.vxd" on its own line;
//   writing: every line end is CR LF.
#ifndef RQ47_TESTS_RELIABILITY_SYSTEM_INI_MODEL_H
#define RQ47_TESTS_RELIABILITY_SYSTEM_INI_MODEL_H

#include <string>

namespace rq47test {

std::string WithDriverLineRemoved(const std::string& systemIni);
std::string WithDriverLineAdded(const std::string& systemIni);

}  // namespace rq47test

#endif  // RQ47_TESTS_RELIABILITY_SYSTEM_INI_MODEL_H
