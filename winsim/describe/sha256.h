// SHA-256, to tell whether a file of a machine changed between two snapshots
// without keeping its content.
#ifndef WINSIM_TOOL_SHA256_H
#define WINSIM_TOOL_SHA256_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace winsim_tool {

class Sha256 {
 public:
  Sha256();
  void update(const void* data, size_t size);
  void update(std::string_view data) { update(data.data(), data.size()); }
  // The digest as 64 lower-case hex digits; the object is spent afterwards.
  std::string hexDigest();

 private:
  void block(const uint8_t* data);
  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

std::string Sha256Hex(std::string_view data);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_SHA256_H
