// Reading a run's call trace: which calls were made, in which order, and with
// which text arguments.
#ifndef RQ47_SETUP_INSTALL_TRACE_READING_H
#define RQ47_SETUP_INSTALL_TRACE_READING_H

#include <string>
#include <string_view>
#include <vector>

namespace rq47test {

// The trace lines of one platform function, in the order the calls were made.
std::vector<std::string> CallsOf(const std::vector<std::string>& trace, std::string_view function);

// The text arguments of a trace line ("Name(\"a\", 3, \"b\") = ..."), unescaped, in order.
std::vector<std::string> TextArguments(std::string_view line);

// The first text argument of every call of the function, in order.
std::vector<std::string> FirstTextArguments(const std::vector<std::string>& trace,
                                            std::string_view function);

}  // namespace rq47test

#endif  // RQ47_SETUP_INSTALL_TRACE_READING_H
