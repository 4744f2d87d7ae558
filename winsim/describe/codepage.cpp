#include "codepage.h"

namespace winsim_tool {
namespace {

// 0x80 ... 0x9F of code page 1252; the undefined ones map to themselves.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

char32_t AnsiToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) AppendUtf8(out, AnsiToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::string ShownText(std::string_view ansi) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    unsigned char byte = static_cast<unsigned char>(c);
    char32_t unicode = AnsiToUnicode(byte);
    // C0 and C1 controls and DEL; the bytes 0x80..0x9F that the code page
    // leaves undefined map to C1 controls.
    if ((unicode < 0x20 && c != '\t') || (unicode >= 0x7F && unicode < 0xA0)) {
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 15];
    } else {
      AppendUtf8(out, unicode);
    }
  }
  return out;
}

std::optional<char> UnicodeToAnsi(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (unsigned i = 0; i < 32; ++i) {
    if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

}  // namespace winsim_tool
