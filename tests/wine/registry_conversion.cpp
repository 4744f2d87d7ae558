#include "registry_conversion.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace rq47wine {
namespace {

// Bytes 0x80 to 0x9F of code page 1252. The five bytes the code page leaves
// undefined map to the C1 control of the same number, as Windows maps them.
constexpr char32_t kHighHalf[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

[[noreturn]] void Fail(size_t line, const std::string& what) {
  throw std::runtime_error("exported registry file, line " + std::to_string(line) + ": " + what);
}

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x", value & 0xFF);
  return text;
}

// UTF-16LE code units to code points; a lone surrogate is an error.
std::u32string DecodeUtf16(std::string_view bytes, size_t line) {
  if (bytes.size() % 2 != 0) Fail(line, "UTF-16 data with an odd number of bytes");
  std::u32string text;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    char32_t unit = static_cast<unsigned char>(bytes[i]) |
                    (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                     (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        text += 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) Fail(line, "a lone UTF-16 surrogate");
    text += unit;
  }
  return text;
}

std::string ToCp1252(const std::u32string& text, size_t line) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    unsigned char byte = 0;
    if (!Cp1252FromCodePoint(c, &byte)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      Fail(line, std::string("the character ") + code + " has no place in code page 1252");
    }
    out += static_cast<char>(byte);
  }
  return out;
}

// A line of the export, as code points, with its 1-based number.
struct Line {
  std::u32string text;
  size_t number;
};

std::vector<Line> SplitLines(const std::u32string& text) {
  std::vector<Line> lines;
  std::u32string current;
  size_t number = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c == U'\r' || c == U'\n') {
      lines.push_back({current, number++});
      current.clear();
      if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back({current, number});
  return lines;
}

bool IsBlank(char32_t c) { return c == U' ' || c == U'\t'; }

// Reads a quoted text starting at text[at] == '"'; returns the position after
// the closing quote. Escapes: \\ \" \r \n \0.
size_t ReadQuoted(const std::u32string& text, size_t at, std::u32string* value, size_t line) {
  for (size_t i = at + 1; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c == U'"') return i + 1;
    if (c == U'\\') {
      if (++i >= text.size()) break;
      switch (text[i]) {
        case U'\\': *value += U'\\'; break;
        case U'"': *value += U'"'; break;
        case U'r': *value += U'\r'; break;
        case U'n': *value += U'\n'; break;
        case U'0': *value += U'\0'; break;
        default: Fail(line, "an unknown escape in a quoted text");
      }
    } else {
      *value += c;
    }
  }
  Fail(line, "a quoted text without its closing quote");
}

std::string QuoteForRegedit4(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string HexList(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += ',';
    out += Hex2(static_cast<unsigned char>(bytes[i]));
  }
  return out;
}

// "01,02,ab" to bytes.
std::string ParseHexBytes(const std::u32string& list, size_t line) {
  std::string bytes;
  size_t i = 0;
  auto digit = [&](char32_t c) -> int {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
    return -1;
  };
  while (i < list.size()) {
    while (i < list.size() && IsBlank(list[i])) ++i;
    if (i >= list.size()) break;
    if (i + 1 >= list.size() || digit(list[i]) < 0 || digit(list[i + 1]) < 0) {
      Fail(line, "a hex list with something other than two-digit bytes");
    }
    bytes += static_cast<char>(digit(list[i]) * 16 + digit(list[i + 1]));
    i += 2;
    while (i < list.size() && IsBlank(list[i])) ++i;
    if (i < list.size()) {
      if (list[i] != U',') Fail(line, "a hex list without a comma between two bytes");
      ++i;
    }
  }
  return bytes;
}

// The ANSI bytes of wide registry data (a string, an expandable string or a
// multi-string as Wine keeps it).
std::string WideDataToAnsi(const std::string& wide, size_t line) {
  return ToCp1252(DecodeUtf16(wide, line), line);
}

std::string ConvertValueLine(const std::u32string& text, size_t line) {
  // The name: @ or a quoted text.
  std::string name;
  size_t at = 0;
  if (text[0] == U'@') {
    name = "@";
    at = 1;
  } else {
    std::u32string raw;
    at = ReadQuoted(text, 0, &raw, line);
    name = QuoteForRegedit4(ToCp1252(raw, line));
  }
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at >= text.size() || text[at] != U'=') Fail(line, "a value line without '='");
  ++at;
  while (at < text.size() && IsBlank(text[at])) ++at;
  std::u32string data = text.substr(at);

  if (!data.empty() && data[0] == U'"') {
    std::u32string value;
    size_t end = ReadQuoted(data, 0, &value, line);
    for (size_t i = end; i < data.size(); ++i) {
      if (!IsBlank(data[i])) Fail(line, "text after a quoted string value");
    }
    std::string ansi = ToCp1252(value, line);
    if (ansi.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) {
      return name + "=" + QuoteForRegedit4(ansi);
    }
    return name + "=hex(1):" + HexList(ansi + '\0');
  }
  if (data.rfind(U"hex(", 0) == 0) {
    size_t close = data.find(U"):");
    if (close == std::u32string::npos) Fail(line, "a hex(N) value without \"):\"");
    std::string typeText = ToCp1252(data.substr(4, close - 4), line);
    unsigned long type = 0;
    try {
      size_t used = 0;
      type = std::stoul(typeText, &used, 16);
      if (used != typeText.size()) throw std::invalid_argument(typeText);
    } catch (const std::exception&) {
      Fail(line, "a hex(N) value whose N is not a hex number");
    }
    std::string bytes = ParseHexBytes(data.substr(close + 2), line);
    if (type == 1 || type == 2 || type == 7) bytes = WideDataToAnsi(bytes, line);
    return name + "=hex(" + typeText + "):" + HexList(bytes);
  }
  // dword:, hex:, and the deletion "-" are the same in both formats.
  return name + "=" + ToCp1252(data, line);
}

// A value line whose data is a hex list (and so may go on over lines).
bool IsHexValueLine(const std::u32string& text, size_t line) {
  size_t at = 0;
  if (text.empty()) return false;
  if (text[0] == U'@') {
    at = 1;
  } else if (text[0] == U'"') {
    std::u32string ignored;
    at = ReadQuoted(text, 0, &ignored, line);
  } else {
    return false;
  }
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at >= text.size() || text[at] != U'=') return false;
  ++at;
  while (at < text.size() && IsBlank(text[at])) ++at;
  return text.compare(at, 3, U"hex") == 0;
}

}  // namespace

bool Cp1252FromCodePoint(char32_t codePoint, unsigned char* byte) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    *byte = static_cast<unsigned char>(codePoint);
    return true;
  }
  for (unsigned i = 0; i < 32; ++i) {
    if (kHighHalf[i] == codePoint) {
      *byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

char32_t CodePointFromCp1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighHalf[byte - 0x80];
  return byte;
}

std::string Regedit5ToRegedit4(std::string_view utf16File) {
  if (utf16File.size() < 2 || static_cast<unsigned char>(utf16File[0]) != 0xFF ||
      static_cast<unsigned char>(utf16File[1]) != 0xFE) {
    Fail(1, "it does not start with the UTF-16LE byte order mark FF FE");
  }
  std::vector<Line> lines = SplitLines(DecodeUtf16(utf16File.substr(2), 1));
  if (lines.empty() || lines[0].text != U"Windows Registry Editor Version 5.00") {
    Fail(1, "the first line is not \"Windows Registry Editor Version 5.00\"");
  }
  std::string out = "REGEDIT4\r\n";
  for (size_t i = 1; i < lines.size(); ++i) {
    std::u32string text = lines[i].text;
    size_t number = lines[i].number;
    // A hex list goes on over lines that end in a backslash.
    while (!text.empty() && text.back() == U'\\' && IsHexValueLine(text, number) &&
           i + 1 < lines.size()) {
      text.pop_back();
      std::u32string next = lines[++i].text;
      size_t start = 0;
      while (start < next.size() && IsBlank(next[start])) ++start;
      text += next.substr(start);
    }
    if (text.empty() || text[0] == U';' || text[0] == U'[') {
      out += ToCp1252(text, number);
    } else if (text[0] == U'"' || text[0] == U'@') {
      out += ConvertValueLine(text, number);
    } else {
      Fail(number, "a line that is neither a key, a value, a comment nor blank");
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace rq47wine
