// What the programs take of a std::string_view beyond its non-throwing
// members: std::string_view::substr throws when its start lies past the end,
// and the programs use nothing that can throw.
#ifndef RQ47_COMMON_TEXT_VIEW_H
#define RQ47_COMMON_TEXT_VIEW_H

#include <cstddef>
#include <string_view>

// The first `end` characters of text, or all of it when it is shorter.
inline std::string_view TextBefore(std::string_view text, size_t end) noexcept {
  return std::string_view(text.data(), end < text.size() ? end : text.size());
}

#endif  // RQ47_COMMON_TEXT_VIEW_H
