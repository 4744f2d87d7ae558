// Reading a run's call trace: which calls were made, where, and with which
// text arguments.
#ifndef RQ47_TRACE_LINES_H
#define RQ47_TRACE_LINES_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rq47test {

// The trace lines of one platform function whose line holds `containing`, in
// the order the calls were made.
std::vector<std::string> CallsOf(const std::vector<std::string>& trace, std::string_view function,
                                 std::string_view containing = {});

// Where such lines stand in the trace, in order.
std::vector<size_t> CallPositions(const std::vector<std::string>& trace, std::string_view function,
                                  std::string_view containing = {});

// Where the first such line is; trace.size() when there is none.
size_t FirstCall(const std::vector<std::string>& trace, std::string_view function,
                 std::string_view containing = {});

// Where the calls that change the registry or files stand in the trace, in order.
std::vector<size_t> ChangingCallPositions(const std::vector<std::string>& trace);

// A text as the trace shows it among a call's arguments: quoted, with every
// backslash doubled.
std::string TraceQuoted(std::string_view text);

// The text arguments of a trace line ("Name(\"a\", 3, \"b\") = ..."), unescaped, in order.
std::vector<std::string> TextArguments(std::string_view line);

// The first text argument of every call of the function, in order.
std::vector<std::string> FirstTextArguments(const std::vector<std::string>& trace,
                                            std::string_view function);

}  // namespace rq47test

#endif  // RQ47_TRACE_LINES_H
