#include "child_report.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "bench_options.h"

namespace rq47bench {

void TellParent(const std::string& name, double value) {
  std::printf("%s=%.9g\n", name.c_str(), value);
  std::fflush(stdout);
}

void TellParent(const std::string& name, const Sample& time) {
  TellParent(name + "_wall", time.wall);
  TellParent(name + "_cpu", time.cpu);
}

std::map<std::string, double> ReadChildReport(const std::filesystem::path& file) {
  std::map<std::string, double> report;
  std::istringstream lines(ReadFileText(file));
  std::string line;
  while (std::getline(lines, line)) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    char* end = nullptr;
    double value = std::strtod(line.c_str() + equals + 1, &end);
    if (end != line.c_str() + equals + 1) report[line.substr(0, equals)] = value;
  }
  return report;
}

double Figure(const std::map<std::string, double>& report, const std::string& name) {
  auto found = report.find(name);
  if (found == report.end()) {
    throw std::runtime_error("the child process gave no figure '" + name +
                             "'; run it by hand to see why");
  }
  return found->second;
}

Sample TimeFigure(const std::map<std::string, double>& report, const std::string& name) {
  return Sample{Figure(report, name + "_wall"), Figure(report, name + "_cpu")};
}

double OwnPeakKilobytes() {
  std::istringstream status(ReadFileText("/proc/self/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::strtod(line.c_str() + 6, nullptr);
  }
  throw std::runtime_error(
      "/proc/self/status tells no VmHWM; the benchmarks need Linux's /proc to measure memory");
}

std::filesystem::path ThisProgram() { return std::filesystem::read_symlink("/proc/self/exe"); }

}  // namespace rq47bench
