#include "registry_file.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "codepage.h"

namespace winsim_tool {
namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";

struct Failure {
  size_t line;
  std::string message;
};

Failure NotAnExport() {
  return Failure{1, "the file does not begin with \"" + std::string(kVersion5Header) +
                        "\", so it is not what a newer regedit exports"};
}

std::string CodePoint(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

// UTF-16LE (after its byte order mark) to code points. Lone surrogates are
// kept as they are, so that the code page conversion names them.
std::u32string DecodeUtf16(std::string_view bytes) {
  if (bytes.size() % 2 != 0) {
    throw Failure{0,
                  "the UTF-16 file has an odd number of bytes; it is cut short or not "
                  "UTF-16: export it again"};
  }
  std::u32string out;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    char32_t unit = static_cast<unsigned char>(bytes[i]) |
                    (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                     (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out += 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
        continue;
      }
    }
    out += unit;
  }
  return out;
}

std::u32string DecodeUtf8(std::string_view bytes) {
  std::u32string out;
  size_t line = 1;
  for (size_t i = 0; i < bytes.size();) {
    unsigned char lead = static_cast<unsigned char>(bytes[i]);
    size_t extra = lead < 0x80             ? 0
                   : (lead & 0xE0) == 0xC0 ? 1
                   : (lead & 0xF0) == 0xE0 ? 2
                   : (lead & 0xF8) == 0xF0 ? 3
                                           : 4;
    if (extra == 4 || i + extra >= bytes.size()) {
      throw Failure{line, "the file is not valid UTF-8 text; save it as UTF-8 or UTF-16"};
    }
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) {
        throw Failure{line, "the file is not valid UTF-8 text; save it as UTF-8 or UTF-16"};
      }
      c = (c << 6) | (next & 0x3F);
    }
    if (c == '\n') ++line;
    out += c;
    i += extra + 1;
  }
  return out;
}

// Lines split at CR LF, LF or CR, without their ends.
std::vector<std::u32string> SplitLines(const std::u32string& text) {
  std::vector<std::u32string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

std::string LineToAnsi(const std::u32string& line, size_t number) {
  std::string out;
  for (char32_t c : line) {
    std::optional<char> ansi = UnicodeToAnsi(c);
    if (!ansi) {
      throw Failure{number, "the character " + CodePoint(c) +
                                " has no place in the machine's ANSI code page (1252); "
                                "replace it in the file"};
    }
    out += *ansi;
  }
  return out;
}

std::string_view TrimmedLeft(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

std::string_view TrimmedRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Where the data of a "name"= or @= line starts (after the blanks); npos
// for a line that is no value.
size_t ValueData(std::string_view line) {
  size_t pos = line.size() - TrimmedLeft(line).size();
  if (pos >= line.size()) return std::string_view::npos;
  if (line[pos] == '@') {
    ++pos;
  } else if (line[pos] == '"') {
    ++pos;
    while (pos < line.size() && line[pos] != '"') pos += line[pos] == '\\' ? 2 : 1;
    if (pos >= line.size()) return std::string_view::npos;
    ++pos;
  } else {
    return std::string_view::npos;
  }
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size() || line[pos] != '=') return std::string_view::npos;
  ++pos;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  return pos;
}

// Where the data of a "name"=hex(N): or @=hex(N): line starts, for N 1, 2
// or 7 (the types whose data version 5.00 writes as UTF-16); npos otherwise.
size_t Utf16ValueData(std::string_view line) {
  size_t pos = ValueData(line);
  if (pos == std::string_view::npos) return pos;
  for (std::string_view prefix : {"hex(1):", "hex(2):", "hex(7):"}) {
    if (line.size() - pos >= prefix.size()) {
      std::string_view candidate = line.substr(pos, prefix.size());
      bool same = true;
      for (size_t i = 0; i < prefix.size(); ++i) {
        char c = candidate[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) same = false;
      }
      if (same) return pos + prefix.size();
    }
  }
  return std::string_view::npos;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "41,00,42,00" to its bytes; nothing when the list is not well formed (the
// REGEDIT4 reader then reports it).
std::optional<std::string> ParseHexList(std::string_view list) {
  std::string bytes;
  list = TrimmedRight(TrimmedLeft(list));
  if (list.empty()) return bytes;
  size_t pos = 0;
  while (true) {
    while (pos < list.size() && (list[pos] == ' ' || list[pos] == '\t')) ++pos;
    if (pos + 2 > list.size()) return std::nullopt;
    int high = HexDigit(list[pos]);
    int low = HexDigit(list[pos + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
    pos += 2;
    while (pos < list.size() && (list[pos] == ' ' || list[pos] == '\t')) ++pos;
    if (pos == list.size()) return bytes;
    if (list[pos] != ',') return std::nullopt;
    ++pos;
  }
}

std::string HexList(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out += ',';
    unsigned char byte = static_cast<unsigned char>(bytes[i]);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

std::string Utf16DataToAnsi(const std::string& data, size_t line) {
  if (data.size() % 2 != 0) {
    throw Failure{line,
                  "the value's data has an odd number of bytes, so it is not the "
                  "UTF-16 text that this format keeps in hex(1), hex(2) and hex(7) "
                  "values"};
  }
  std::u32string text = DecodeUtf16(data);
  return LineToAnsi(text, line);
}

// A string value that holds a newer regedit's escape of a line break or a
// NUL, as hex(1) with those bytes and its NUL; nothing for any other line.
// The other escapes are REGEDIT4's: \\ and \" stand for the character, a
// backslash before anything else stays.
std::optional<std::string> EscapedStringAsHex(std::string_view line) {
  size_t data = ValueData(line);
  if (data == std::string_view::npos || line[data] != '"') return std::nullopt;
  std::string bytes;
  bool escaped = false;
  for (size_t i = data + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      if (!escaped || !TrimmedRight(line.substr(i + 1)).empty()) return std::nullopt;
      return std::string(line.substr(0, data)) + "hex(1):" + HexList(bytes + '\0');
    }
    if (c == '\\' && i + 1 < line.size()) {
      char next = line[i + 1];
      if (next == 'r' || next == 'n' || next == '0') {
        bytes += next == 'r' ? '\r' : next == 'n' ? '\n' : '\0';
        escaped = true;
        ++i;
        continue;
      }
      if (next == '\\' || next == '"') c = line[++i];
    }
    bytes += c;
  }
  return std::nullopt;  // no closing quote: the REGEDIT4 reader says so
}

std::string Version5ToRegedit4(const std::vector<std::string>& lines,
                               const RegistryFileRules& rules) {
  std::string out = "REGEDIT4\r\n";
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (rules.stringEscapes) {
      if (std::optional<std::string> hex = EscapedStringAsHex(line)) {
        out += *hex + "\r\n";
        continue;
      }
    }
    size_t data = Utf16ValueData(line);
    if (data == std::string::npos) {
      out += line + "\r\n";
      continue;
    }
    // The hex list with its continuation lines.
    std::string list;
    size_t last = i;
    std::string_view part = TrimmedRight(std::string_view(line).substr(data));
    while (true) {
      bool continued = !part.empty() && part.back() == '\\';
      if (continued) part.remove_suffix(1);
      list += part;
      if (!continued || last + 1 >= lines.size()) break;
      ++last;
      part = TrimmedRight(TrimmedLeft(lines[last]));
    }
    std::optional<std::string> bytes = ParseHexList(list);
    if (!bytes) {
      out += line + "\r\n";
      continue;
    }
    out += line.substr(0, data) + HexList(Utf16DataToAnsi(*bytes, i + 1)) + "\r\n";
    // Blank lines where the continuation lines were keep the line numbers.
    for (size_t k = i + 1; k <= last; ++k) out += "\r\n";
    i = last;
  }
  return out;
}

// Whether the bytes are to be read as the version 5.00 format (or refused as
// not being it): a byte order mark, or the header after blanks.
bool ReadAsVersion5(std::string_view bytes, const RegistryFileRules& rules) {
  return rules.version5Only || bytes.substr(0, 2) == "\xFF\xFE" ||
         bytes.substr(0, 2) == "\xFE\xFF" || bytes.substr(0, 3) == "\xEF\xBB\xBF" ||
         TrimmedLeft(bytes).substr(0, kVersion5Header.size()) == kVersion5Header;
}

}  // namespace

RegistryFileText ReadRegistryFileText(std::string&& bytes, const RegistryFileRules& rules) {
  if (ReadAsVersion5(bytes, rules)) return ReadRegistryFileText(std::string_view(bytes), rules);
  RegistryFileText result;
  result.regedit4 = std::move(bytes);  // REGEDIT4 (or not a registry file at all)
  return result;
}

RegistryFileText ReadRegistryFileText(std::string_view bytes, const RegistryFileRules& rules) {
  RegistryFileText result;
  try {
    std::u32string text;
    if (bytes.substr(0, 2) == "\xFF\xFE") {
      text = DecodeUtf16(bytes.substr(2));
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
      throw Failure{1,
                    "the file is UTF-16 big-endian text; save it as UTF-16 little-endian "
                    "(what regedit writes) or as a REGEDIT4 file"};
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      text = DecodeUtf8(bytes.substr(3));
    } else if (TrimmedLeft(bytes).substr(0, kVersion5Header.size()) == kVersion5Header) {
      text = DecodeUtf8(bytes);
    } else if (rules.version5Only) {
      throw NotAnExport();
    } else {
      result.regedit4 = std::string(bytes);  // REGEDIT4 (or not a registry file at all)
      return result;
    }
    std::vector<std::u32string> wide = SplitLines(text);
    std::vector<std::string> lines;
    for (size_t i = 0; i < wide.size(); ++i) lines.push_back(LineToAnsi(wide[i], i + 1));
    // Blanks around the header are allowed, as regedit allows them.
    if (!lines.empty() && TrimmedRight(TrimmedLeft(lines[0])) == kVersion5Header) {
      result.version5 = true;
      result.regedit4 = Version5ToRegedit4(lines, rules);
    } else if (rules.version5Only) {
      throw NotAnExport();
    } else {
      for (const std::string& line : lines) result.regedit4 += line + "\r\n";
    }
  } catch (const Failure& failure) {
    result.errorLine = failure.line == 0 ? 1 : failure.line;
    result.error = failure.message;
    result.regedit4.clear();
  }
  return result;
}

}  // namespace winsim_tool
