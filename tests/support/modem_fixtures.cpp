#include "modem_fixtures.h"

#include <windows.h>

namespace rq47test {

std::string Padded(std::string_view text, size_t count) {
  std::string bytes(text);
  bytes.resize(count, '\0');
  return bytes;
}

std::string Kept(std::string_view text) { return std::string(text) + '\0'; }

void PrintTo(const StoredValue& value, std::ostream* out) {
  *out << value.name << " (type " << value.type << ", " << value.bytes.size() << " bytes: \"";
  for (char c : value.bytes) {
    if (c == '\0') {
      *out << "\\0";
    } else {
      *out << c;
    }
  }
  *out << "\")";
}

StoredValue TextValue(const std::string& name, std::string_view text, size_t count) {
  return {name, REG_SZ, Padded(text, count)};
}

StoredValue KeptText(const std::string& name, std::string_view text) {
  return {name, REG_SZ, Kept(text)};
}

StoredValue ByteValue(const std::string& name, uint8_t byte) {
  return {name, REG_BINARY, std::string(1, static_cast<char>(byte))};
}

std::vector<StoredValue> StoredValues(const winsim::Registry& registry, const std::string& key) {
  std::vector<StoredValue> values;
  const winsim::RegKey* found = registry.find(key);
  if (found == nullptr) return values;
  for (const winsim::RegValue& value : found->values()) {
    values.push_back({value.name, value.type, value.data});
  }
  return values;
}

}  // namespace rq47test
