#include "report.h"

#include <cstdio>

namespace rq47bench {
namespace {

std::string Printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string FormatSeconds(double seconds) {
  if (seconds >= 1) return Printed("%.2f s", seconds);
  if (seconds >= 1e-3) return Printed("%.1f ms", seconds * 1e3);
  return Printed("%.0f us", seconds * 1e6);
}

std::string FormatThroughput(size_t bytes, double seconds) {
  if (seconds <= 0) return "-";
  return Printed("%.1f MB/s", static_cast<double>(bytes) / 1e6 / seconds);
}

std::string FormatMegabytes(double bytes) { return Printed("%.1f MB", bytes / 1e6); }

Report::Report(const std::string& title, bool judge) : judge_(judge) {
  std::printf("\n== %s\n", title.c_str());
  std::fflush(stdout);
}

void Report::time(const std::string& label, const Sample& median, const std::string& note) const {
  std::printf("  %-46s wall %9s  cpu %9s  %s\n", label.c_str(), FormatSeconds(median.wall).c_str(),
              FormatSeconds(median.cpu).c_str(), note.c_str());
  std::fflush(stdout);
}

void Report::throughput(const std::string& label, const Sample& median, size_t bytes) const {
  time(label, median, FormatThroughput(bytes, median.cpu));
}

void Report::line(const std::string& text) const {
  std::printf("  %s\n", text.c_str());
  std::fflush(stdout);
}

bool Report::verdict(bool met) {
  std::printf("%s\n", !judge_ ? "(not judged: quick run)" : met ? "met" : "NOT MET");
  std::fflush(stdout);
  if (judge_ && !met) ++missed_;
  return met || !judge_;
}

bool Report::ratio(const std::string& label, const Sample& subject, const Sample& reference,
                   double limit, const std::string& referenceName) {
  double cpu = reference.cpu > 0 ? subject.cpu / reference.cpu : 0;
  double wall = reference.wall > 0 ? subject.wall / reference.wall : 0;
  std::printf("  %-46s %7.2f x %s (wall clock %.2f x); target at most %g: ", label.c_str(), cpu,
              referenceName.c_str(), wall, limit);
  return verdict(cpu > 0 && cpu <= limit);
}

void Report::compare(const std::string& label, const Sample& subject, const Sample& reference,
                     const std::string& referenceName) const {
  std::printf("  %-46s %7.2f x %s (wall clock %.2f x)\n", label.c_str(),
              reference.cpu > 0 ? subject.cpu / reference.cpu : 0, referenceName.c_str(),
              reference.wall > 0 ? subject.wall / reference.wall : 0);
  std::fflush(stdout);
}

void Report::compare(const std::string& label, double ratio, const std::string& what) const {
  std::printf("  %-46s %7.2f x %s\n", label.c_str(), ratio, what.c_str());
  std::fflush(stdout);
}

bool Report::limit(const std::string& label, double ratio, double limit, const std::string& what) {
  std::printf("  %-46s %7.2f x %s; target at most %g: ", label.c_str(), ratio, what.c_str(), limit);
  return verdict(ratio > 0 && ratio <= limit);
}

}  // namespace rq47bench
