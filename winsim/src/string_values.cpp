#include "winsim/string_values.h"

#include <cstring>

namespace winsim {
namespace {
constexpr uint32_t kWindows9xPlatform = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr uint32_t kRegSz = 1;
}  // namespace

StringStorage StringStorageOf(uint32_t platform) {
  return platform == kWindows9xPlatform ? StringStorage::kTextAndOneNul : StringStorage::kAsWritten;
}

std::optional<size_t> StoredSize(StringStorage storage, uint32_t type, const unsigned char* data,
                                 size_t count) {
  if (storage == StringStorage::kAsWritten || type != kRegSz) {
    if (data == nullptr && count != 0) return std::nullopt;
    return count;
  }
  if (data == nullptr) return std::nullopt;
  return std::strlen(reinterpret_cast<const char*>(data)) + 1;
}

}  // namespace winsim
