// What a benchmark's child process tells its parent: "name=value" lines on
// its standard output, one figure a line.
#ifndef RQ47_BENCH_CHILD_REPORT_H
#define RQ47_BENCH_CHILD_REPORT_H

#include <filesystem>
#include <map>
#include <string>

#include "rounds.h"

namespace rq47bench {

// Prints one figure for the parent.
void TellParent(const std::string& name, double value);
// Prints a measured time as two figures, name_wall and name_cpu.
void TellParent(const std::string& name, const Sample& time);

// The figures in the file the child's standard output went to.
std::map<std::string, double> ReadChildReport(const std::filesystem::path& file);

// The figure of that name; throws std::runtime_error when the child did not give it.
double Figure(const std::map<std::string, double>& report, const std::string& name);

// The time told as name_wall and name_cpu.
Sample TimeFigure(const std::map<std::string, double>& report, const std::string& name);

// The most memory this program has held resident since it started, as the
// system's high-water mark of its own memory. The peak that waiting for a
// process gives counts, on Linux, the memory of the process that started it
// too (a benchmark that has made a 62 MB file holds more than the load it
// starts), so a child that is measured tells its own.
double OwnPeakKilobytes();

// The path of the running program, to start it again as a child.
std::filesystem::path ThisProgram();

}  // namespace rq47bench

#endif  // RQ47_BENCH_CHILD_REPORT_H
