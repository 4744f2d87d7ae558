// What the two driver-line operations make of a whole system.ini, worked out
// here on their own from the rules they follow, so a test can tell a correct
// rewrite from a damaged one:
//   reading: CR LF, a lone LF and a lone CR (as Windows reads system.ini)
//   each end a line, and a Ctrl-Z is text like any other byte;
//   a line that names "zelvcd", or is the driver line in any case of
//   letters, becomes two blanks and loses its line end;
//   after a line that names "*vcd" comes "device = zelvcd.vxd" on its own line;
//   writing: a lone CR stays, every other line end is CR LF.
#ifndef RQ47_TESTS_RELIABILITY_SYSTEM_INI_MODEL_H
#define RQ47_TESTS_RELIABILITY_SYSTEM_INI_MODEL_H

#include <string>

namespace rq47test {

std::string WithDriverLineRemoved(const std::string& systemIni);
std::string WithDriverLineAdded(const std::string& systemIni);

}  // namespace rq47test

#endif  // RQ47_TESTS_RELIABILITY_SYSTEM_INI_MODEL_H
