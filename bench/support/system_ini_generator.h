// system.ini files of any size for the benchmarks of the driver line
// rewrite: CR LF lines in sections, key=value lines, comments, blank lines
// and now and then a line longer than one read of the rewrite (255 characters).
// Every [386Enh] section names the virtual comm driver "*vcd" once, so the
// rewrite has lines to act on all through the file.
#ifndef RQ47_BENCH_SYSTEM_INI_GENERATOR_H
#define RQ47_BENCH_SYSTEM_INI_GENERATOR_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace rq47bench {

struct SystemIniShape {
  size_t bytes = 0;              // the file is at least this long and ends after a whole section
  bool withDriverLines = false;  // "device = zelvcd.vxd" after every "*vcd" line
  uint64_t seed = 1;
};

std::string GenerateSystemIni(const SystemIniShape& shape);

}  // namespace rq47bench

#endif  // RQ47_BENCH_SYSTEM_INI_GENERATOR_H
