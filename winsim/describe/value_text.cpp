#include "value_text.h"

#include <cstdio>
#include <vector>

#include "codepage.h"

namespace winsim_tool {
namespace {

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegDwordBigEndian = 5;
constexpr uint32_t kRegLink = 6;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegResourceList = 8;
constexpr uint32_t kRegFullResourceDescriptor = 9;
constexpr uint32_t kRegResourceRequirementsList = 10;
constexpr uint32_t kRegQword = 11;

std::string HexBytes(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (!hex.empty()) hex += ' ';
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

uint64_t LittleEndian(std::string_view bytes) {
  uint64_t number = 0;
  for (size_t i = bytes.size(); i > 0; --i) {
    number = (number << 8) | static_cast<unsigned char>(bytes[i - 1]);
  }
  return number;
}

std::string Number(uint64_t number, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "0x%0*llx (%llu)", digits,
                static_cast<unsigned long long>(number), static_cast<unsigned long long>(number));
  return text;
}

std::string StringText(const std::string& data) {
  size_t end = data.find('\0');
  std::string shown = QuotedText(std::string_view(data).substr(0, end));
  if (end == std::string::npos) return shown + " (" + ByteCount(data.size()) + ", no terminator)";
  std::string_view after = std::string_view(data).substr(end + 1);
  if (after.find_first_not_of('\0') == std::string_view::npos) {
    return shown + " (" + ByteCount(data.size()) + ")";
  }
  return shown + " (" + ByteCount(data.size()) + "; after the terminator: " + HexBytes(after) + ")";
}

std::string MultiStringText(const std::string& data) {
  std::vector<std::string_view> parts;
  std::string_view rest = data;
  while (!rest.empty()) {
    size_t end = rest.find('\0');
    if (end == 0) break;  // the empty string that ends the list
    parts.push_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  std::string shown;
  for (std::string_view part : parts) {
    if (!shown.empty()) shown += ", ";
    shown += QuotedText(part);
  }
  if (parts.empty()) shown = "(no strings)";
  return shown + " (" + ByteCount(data.size()) + ")";
}

std::string BinaryText(const std::string& data) {
  if (data.empty()) return "(0 bytes)";
  return HexBytes(data) + " (" + ByteCount(data.size()) + ")";
}

}  // namespace

std::string RegTypeName(uint32_t type) {
  switch (type) {
    case kRegNone: return "REG_NONE";
    case kRegSz: return "REG_SZ";
    case kRegExpandSz: return "REG_EXPAND_SZ";
    case kRegBinary: return "REG_BINARY";
    case kRegDword: return "REG_DWORD";
    case kRegDwordBigEndian: return "REG_DWORD_BIG_ENDIAN";
    case kRegLink: return "REG_LINK";
    case kRegMultiSz: return "REG_MULTI_SZ";
    case kRegResourceList: return "REG_RESOURCE_LIST";
    case kRegFullResourceDescriptor: return "REG_FULL_RESOURCE_DESCRIPTOR";
    case kRegResourceRequirementsList: return "REG_RESOURCE_REQUIREMENTS_LIST";
    case kRegQword: return "REG_QWORD";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "type 0x%x", static_cast<unsigned>(type));
      return text;
    }
  }
}

std::string ValueDataText(const winsim::RegValue& value) {
  const std::string& data = value.data;
  switch (value.type) {
    case kRegSz:
    case kRegExpandSz: return StringText(data);
    case kRegMultiSz: return MultiStringText(data);
    case kRegDword:
      if (data.size() == 4) return Number(LittleEndian(data), 8);
      break;
    case kRegDwordBigEndian:
      if (data.size() == 4) {
        std::string reversed(data.rbegin(), data.rend());
        return Number(LittleEndian(reversed), 8);
      }
      break;
    case kRegQword:
      if (data.size() == 8) return Number(LittleEndian(data), 16);
      break;
    default: break;
  }
  return BinaryText(data);
}

std::string ValueText(const winsim::RegValue& value) {
  return RegTypeName(value.type) + " " + ValueDataText(value);
}

std::string ValueNameText(const std::string& name) {
  return name.empty() ? std::string("(Default)") : ShownText(name);
}

std::string QuotedText(std::string_view ansi) {
  std::string out = "\"";
  for (char c : ansi) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += ShownText(std::string_view(&c, 1));
    }
  }
  return out + "\"";
}

std::string GroupedNumber(uint64_t number) {
  std::string digits = std::to_string(number);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string ByteCount(uint64_t count) {
  return GroupedNumber(count) + (count == 1 ? " byte" : " bytes");
}

}  // namespace winsim_tool
