#include "winsim/regedit4.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace winsim {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// ---------------------------------------------------------------------------
// Reading

struct Failure {
  size_t line;
  std::string message;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

// Text of the file as a message shows it: short, control bytes made visible.
std::string Shown(std::string_view text) {
  constexpr size_t kLongest = 40;
  std::string shown = "\"";
  for (size_t i = 0; i < text.size() && i < kLongest; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      static const char kDigits[] = "0123456789abcdef";
      shown += "\\x";
      shown += kDigits[c >> 4];
      shown += kDigits[c & 15];
    } else {
      shown += static_cast<char>(c);
    }
  }
  if (text.size() > kLongest) shown += "...";
  return shown + "\"";
}

constexpr std::array<int8_t, 256> MakeHexTable() {
  std::array<int8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = static_cast<int8_t>(c >= '0' && c <= '9'   ? c - '0'
                                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                          : -1);
  }
  return table;
}
constexpr std::array<int8_t, 256> kHexValues = MakeHexTable();

// The value of a hex digit, or -1.
inline int HexDigit(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

// The first quote or backslash at or after `from`, or the size. (A plain
// loop: find_first_of tests each byte against the set with a call.)
size_t FindQuoteOrBackslash(std::string_view text, size_t from) {
  while (from < text.size() && text[from] != '"' && text[from] != '\\') ++from;
  return from;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && NamesEqual(text.substr(0, prefix.size()), prefix);
}

// Physical lines of the text; a line ends at CR LF, LF or a lone CR.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  bool next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const char* begin = text_.data() + pos_;
    size_t rest = text_.size() - pos_;
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', rest));
    size_t lfAt = lf != nullptr ? static_cast<size_t>(lf - begin) : rest;
    const char* cr = static_cast<const char*>(std::memchr(begin, '\r', lfAt));
    size_t length;
    size_t skip;
    if (cr != nullptr) {
      length = static_cast<size_t>(cr - begin);
      skip = length + 1 < rest && begin[length + 1] == '\n' ? 2 : 1;
    } else {
      length = lfAt;
      skip = lf != nullptr ? 1 : 0;
    }
    line = std::string_view(begin, length);
    pos_ += length + skip;
    ++number_;
    return true;
  }
  size_t number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

// Reads the file and tells the handler what each line asks for:
//   openKey(root, parts, n)   [path]     parts[0] is the root's name; about n
//                                        value lines follow before the next key
//   deleteKey(root, parts)    [-path]
//   setValue(name, type, bytes)
//   deleteValue(name)
// The views it passes are valid only during the call.
template <class Handler>
class Parser {
 public:
  Parser(std::string_view text, Handler& handler) : lines_(text), text_(text), handler_(handler) {}

  void run() {
    checkHeader();
    std::string_view line;
    while (lines_.next(line)) {
      line = TrimRight(line);
      size_t pos = 0;
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      if (pos == line.size() || line[pos] == ';') continue;
      if (line[pos] == '[') {
        keyLine(line.substr(pos + 1));
      } else if (line[pos] == '"' || line[pos] == '@') {
        valueLine(line, pos);
      } else {
        fail(
            "this line is not a [key] line, a \"name\"=value or @=value line, a ; comment or "
            "a blank line; found " +
            Shown(line.substr(pos)));
      }
    }
  }

 private:
  [[noreturn]] void fail(std::string message) const {
    throw Failure{lines_.number() == 0 ? 1 : lines_.number(), std::move(message)};
  }

  void checkHeader() {
    if (text_.substr(0, 2) == "\xFF\xFE" || text_.substr(0, 2) == "\xFE\xFF") {
      throw Failure{1,
                    "the file is UTF-16 text (regedit's version 5.00 format); a REGEDIT4 file "
                    "is ANSI text that starts with the line REGEDIT4"};
    }
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
      throw Failure{1,
                    "the file starts with a UTF-8 byte order mark; save it as ANSI text "
                    "without one, starting with the line REGEDIT4"};
    }
    std::string_view first;
    if (!lines_.next(first)) {
      throw Failure{1, "the file is empty; a registry file starts with the line REGEDIT4"};
    }
    first = TrimRight(first);
    if (first == "REGEDIT4") return;
    if (StartsWithNoCase(first, "Windows Registry Editor")) {
      fail(
          "this is a file of regedit's version 5.00 format; this machine reads REGEDIT4 files: "
          "make the first line REGEDIT4 and keep the file ANSI text");
    }
    fail("the first line must be REGEDIT4 (in capitals, alone on the line); found " + Shown(first));
  }

  // The rest of a line that starts with '['.
  void keyLine(std::string_view rest) {
    size_t close = rest.rfind(']');
    if (close == std::string_view::npos) {
      fail("the key line has no closing ]; write it as [HKEY_LOCAL_MACHINE\\Path]");
    }
    if (close + 1 != rest.size()) {
      fail("unexpected text " + Shown(rest.substr(close + 1)) + " after the key's closing ]");
    }
    std::string_view path = rest.substr(0, close);
    bool remove = !path.empty() && path[0] == '-';
    if (remove) path.remove_prefix(1);
    splitPath(path);
    if (parts_.empty()) fail("the key line names no key; write it as [HKEY_LOCAL_MACHINE\\Path]");
    std::optional<Root> root = ParseRootName(parts_[0]);
    if (!root) {
      fail(Shown(parts_[0]) +
           " is not a registry root; a key path starts with HKEY_LOCAL_MACHINE, "
           "HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG or "
           "HKEY_DYN_DATA");
    }
    if (parts_.size() - 1 > kMaxKeyDepth) {
      fail("the key lies " + std::to_string(parts_.size() - 1) +
           " levels below its root; the registry holds at most " + std::to_string(kMaxKeyDepth));
    }
    if (remove) {
      if (parts_.size() == 1) {
        fail("a root key cannot be deleted; name a key below " + std::string(RootName(*root)));
      }
      handler_.deleteKey(*root, parts_);
      state_ = KeyState::Deleted;
    } else {
      handler_.openKey(*root, parts_, valueLinesAhead());
      state_ = KeyState::Open;
    }
  }

  // How many value lines follow before the next key line (a quick look that
  // lets a key size its values once).
  size_t valueLinesAhead() const {
    if (!Handler::kWantsValueCounts) return 0;
    Lines ahead = lines_;
    std::string_view line;
    size_t count = 0;
    while (ahead.next(line)) {
      size_t pos = 0;
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      if (pos == line.size()) continue;
      if (line[pos] == '[') break;
      if (line[pos] == '"' || line[pos] == '@') ++count;
    }
    return count;
  }

  void splitPath(std::string_view path) {
    parts_.clear();
    size_t start = 0;
    while (start < path.size()) {
      size_t end = path.find('\\', start);
      if (end == std::string_view::npos) end = path.size();
      if (end > start) parts_.push_back(path.substr(start, end - start));
      start = end + 1;
    }
  }

  void valueLine(std::string_view line, size_t pos) {
    if (state_ == KeyState::None) {
      fail("a value line must follow a [key] line; put the key it belongs to above it");
    }
    if (state_ == KeyState::Deleted) {
      fail(
          "a value line must follow a [key] line, but the key line above it deletes its key "
          "([-...])");
    }
    std::string_view name;
    if (line[pos] == '@') {
      ++pos;
    } else {
      name = quoted(line, pos, nameScratch_,
                    "the value name has no closing quote (write a quote inside a name as \\\" "
                    "and a backslash as \\\\)");
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size() || line[pos] != '=') {
      fail("expected = after the value name; found " + Shown(line.substr(pos)));
    }
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    std::string_view data = line.substr(pos);

    if (!data.empty() && data[0] == '"') {
      std::string_view text =
          quoted(line, pos, dataScratch_,
                 "the string has no closing quote (write a quote inside it as \\\" and a "
                 "backslash as \\\\)");
      if (pos != line.size()) {
        fail("unexpected text " + Shown(line.substr(pos)) + " after the string's closing quote");
      }
      if (text.data() != dataScratch_.data()) dataScratch_.assign(text);
      dataScratch_.push_back('\0');
      handler_.setValue(name, kRegSz, dataScratch_);
    } else if (data == "-") {
      handler_.deleteValue(name);
    } else if (StartsWithNoCase(data, "dword:")) {
      handler_.setValue(name, kRegDword, dword(data.substr(6)));
    } else if (StartsWithNoCase(data, "hex:")) {
      hexList(line, pos + 4);
      handler_.setValue(name, kRegBinary, dataScratch_);
    } else if (StartsWithNoCase(data, "hex(")) {
      size_t at = pos + 4;
      uint32_t type = hexType(line, at);
      hexList(line, at);
      handler_.setValue(name, type, dataScratch_);
    } else {
      fail("the value is not \"text\", dword:, hex:, hex(N): or - (to delete it); found " +
           Shown(data));
    }
  }

  // A quoted string at line[pos]; pos moves past its closing quote. The only
  // escapes are a doubled backslash and a backslash before a quote; a
  // backslash before any other character stays, as regedit keeps it.
  std::string_view quoted(std::string_view line, size_t& pos, std::string& scratch,
                          const char* unterminated) {
    size_t start = ++pos;
    size_t stop = FindQuoteOrBackslash(line, start);
    if (stop < line.size() && line[stop] == '"') {
      pos = stop + 1;
      return line.substr(start, stop - start);
    }
    scratch.clear();
    for (size_t i = start; i < line.size(); ++i) {
      char c = line[i];
      if (c == '"') {
        pos = i + 1;
        return scratch;
      }
      if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '\\' || line[i + 1] == '"')) {
        c = line[++i];
      }
      scratch.push_back(c);
    }
    fail(unterminated);
  }

  std::string_view dword(std::string_view digits) {
    size_t count = 0;
    uint32_t value = 0;
    while (count < digits.size() && HexDigit(digits[count]) >= 0) {
      value = (value << 4) | static_cast<uint32_t>(HexDigit(digits[count]));
      ++count;
    }
    if (count == 0 || count > 8 || count != digits.size()) {
      fail("dword: needs 1 to 8 hex digits and nothing after them, as in dword:0000001a; found " +
           Shown(digits));
    }
    dataScratch_.clear();
    for (int shift = 0; shift < 32; shift += 8) {
      dataScratch_.push_back(static_cast<char>((value >> shift) & 0xff));
    }
    return dataScratch_;
  }

  // The N of "hex(N):" at line[at]; at moves past the colon.
  uint32_t hexType(std::string_view line, size_t& at) {
    size_t start = at;
    uint32_t type = 0;
    while (at < line.size() && HexDigit(line[at]) >= 0 && at - start < 9) {
      type = (type << 4) | static_cast<uint32_t>(HexDigit(line[at]));
      ++at;
    }
    size_t digits = at - start;
    if (digits == 0 || digits > 8 || line.substr(at, 2) != "):") {
      fail(
          "hex( must be followed by the type in 1 to 8 hex digits and ):, as in hex(7):; "
          "found " +
          Shown(line.substr(start > 4 ? start - 4 : 0)));
    }
    at += 2;
    return type;
  }

  // A comma-separated list of hex bytes from line[at] into dataScratch_; a
  // backslash at the end of a line continues the list on the next line.
  void hexList(std::string_view line, size_t at) {
    dataScratch_.clear();
    for (;;) {
      while (at < line.size() && IsBlank(line[at])) ++at;
      if (at == line.size()) return;
      if (line[at] == '\\') {
        if (at + 1 != line.size()) {
          fail("a \\ in a hex list must end its line; found " + Shown(line.substr(at)));
        }
        if (!lines_.next(line)) {
          fail(
              "the hex list ends with \\ but the file ends there; remove the \\ or add the "
              "line that continues the list");
        }
        line = TrimRight(line);
        at = 0;
        continue;
      }
      int high = HexDigit(line[at]);
      if (high < 0) {
        fail(Shown(line.substr(at, 2)) +
             " is not a hex byte; write bytes as two hex digits separated by commas, as in "
             "hex:01,ff");
      }
      int value = high;
      ++at;
      if (at < line.size() && HexDigit(line[at]) >= 0) {
        value = value * 16 + HexDigit(line[at]);
        ++at;
        if (at < line.size() && HexDigit(line[at]) >= 0) {
          fail("a hex byte has one or two digits; found " + Shown(line.substr(at - 2, 3)));
        }
      }
      dataScratch_.push_back(static_cast<char>(value));
      while (at < line.size() && IsBlank(line[at])) ++at;
      if (at < line.size()) {
        if (line[at] == ',') {
          ++at;
        } else if (line[at] != '\\') {
          fail("expected a comma between hex bytes; found " + Shown(line.substr(at)));
        }
      }
    }
  }

  enum class KeyState { None, Open, Deleted };

  Lines lines_;
  std::string_view text_;
  Handler& handler_;
  KeyState state_ = KeyState::None;
  std::vector<std::string_view> parts_;
  std::string nameScratch_;
  std::string dataScratch_;
};

// A reading that only checks the file.
class Checker {
 public:
  static constexpr bool kWantsValueCounts = false;
  void openKey(Root, const std::vector<std::string_view>&, size_t) {}
  void deleteKey(Root, const std::vector<std::string_view>&) {}
  void setValue(std::string_view, uint32_t, std::string_view) {}
  void deleteValue(std::string_view) {}
};

// The second reading: applies every line to the registry.
class Applier {
 public:
  static constexpr bool kWantsValueCounts = true;
  explicit Applier(Registry& registry) : registry_(registry) {}

  void openKey(Root root, const std::vector<std::string_view>& parts, size_t valueLines) {
    // Consecutive key lines mostly share most of their path: start from the
    // deepest key the previous line reached that is still on this path.
    if (chain_.empty() || root != chainRoot_) {
      chain_.assign(1, &registry_.root(root));
      names_.clear();
      chainRoot_ = root;
    }
    size_t common = 0;
    size_t limit = std::min(names_.size(), parts.size() - 1);
    while (common < limit && NamesEqual(names_[common], parts[common + 1])) ++common;
    chain_.resize(common + 1);
    names_.resize(common);
    for (size_t i = common + 1; i < parts.size(); ++i) {
      bool created = false;
      RegKey& key = chain_.back()->createSubkey(parts[i], &created);
      if (created) registry_.modified = true;
      chain_.push_back(&key);
      names_.push_back(parts[i]);
    }
    current_ = chain_.back();
    current_->reserveValues(valueLines);
  }

  void deleteKey(Root root, const std::vector<std::string_view>& parts) {
    chain_.clear();
    current_ = nullptr;
    RegKey* parent = &registry_.root(root);
    for (size_t i = 1; i + 1 < parts.size() && parent != nullptr; ++i) {
      parent = parent->findSubkey(parts[i]);
    }
    if (parent != nullptr && parent->deleteSubkey(parts.back())) registry_.modified = true;
  }

  void setValue(std::string_view name, uint32_t type, std::string_view data) {
    current_->setValue(name, type, std::string(data));
    registry_.modified = true;
  }

  void deleteValue(std::string_view name) {
    if (current_->deleteValue(name)) registry_.modified = true;
  }

 private:
  Registry& registry_;
  Root chainRoot_ = Root::LocalMachine;
  std::vector<RegKey*> chain_;  // chain_[0] is the root; chain_[i + 1] is named names_[i]
  std::vector<std::string_view> names_;
  RegKey* current_ = nullptr;
};

// ---------------------------------------------------------------------------
// Writing

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr size_t kWrapColumn = 77;

// A string that reads back exactly from "text": its text and one terminator,
// and nothing in the text that a line cannot hold.
bool IsPlainString(const std::string& data) {
  if (data.empty() || data.back() != '\0') return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (static_cast<unsigned char>(data[i]) < 0x20) return false;
  }
  return true;
}

class Writer {
 public:
  std::string out = "REGEDIT4\r\n";

  void key(const RegKey& key, std::string& path) {
    out += "\r\n[";
    out += path;
    out += "]\r\n";
    for (const RegValue& value : key.values()) this->value(value);
    for (size_t i = 0; i < key.subkeyCount(); ++i) {
      const RegKey& child = *key.subkey(i);
      size_t mark = path.size();
      path += '\\';
      path += child.name();
      this->key(child, path);
      path.resize(mark);
    }
  }

 private:
  void escaped(std::string_view text) {
    size_t start = 0;
    for (;;) {
      size_t special = FindQuoteOrBackslash(text, start);
      if (special == text.size()) break;
      out.append(text, start, special - start);
      out += '\\';
      out += text[special];
      start = special + 1;
    }
    out.append(text, start, std::string_view::npos);
  }

  void value(const RegValue& value) {
    size_t lineStart = out.size();
    if (value.name.empty()) {
      out += '@';
    } else {
      out += '"';
      escaped(value.name);
      out += '"';
    }
    out += '=';
    if (value.type == kRegSz && IsPlainString(value.data)) {
      out += '"';
      escaped(std::string_view(value.data).substr(0, value.data.size() - 1));
      out += '"';
    } else if (value.type == kRegDword && value.data.size() == 4) {
      uint32_t number = 0;
      for (int i = 3; i >= 0; --i) {
        number = (number << 8) | static_cast<unsigned char>(value.data[static_cast<size_t>(i)]);
      }
      out += "dword:";
      for (int shift = 28; shift >= 0; shift -= 4) out += kHexDigits[(number >> shift) & 15];
    } else {
      if (value.type == kRegBinary) {
        out += "hex:";
      } else {
        out += "hex(";
        bool started = false;
        for (int shift = 28; shift >= 0; shift -= 4) {
          unsigned digit = (value.type >> shift) & 15;
          if (digit != 0 || started || shift == 0) {
            out += kHexDigits[digit];
            started = true;
          }
        }
        out += "):";
      }
      hexList(value.data, out.size() - lineStart);
    }
    out += "\r\n";
  }

  // Bytes as "01,02,..." wrapped before the 80th column with ",\" and a
  // continuation line indented by two blanks.
  void hexList(const std::string& data, size_t column) {
    // Room for the longest this can be: three characters a byte and a
    // continuation (five characters) at most every 25 bytes, plus the first.
    size_t start = out.size();
    out.resize(start + data.size() * 3 + (data.size() / 25 + 2) * 5);
    char* p = &out[start];
    for (size_t i = 0; i < data.size(); ++i) {
      unsigned char byte = static_cast<unsigned char>(data[i]);
      *p++ = kHexDigits[byte >> 4];
      *p++ = kHexDigits[byte & 15];
      if (i + 1 == data.size()) break;
      *p++ = ',';
      column += 3;
      if (column >= kWrapColumn) {
        std::memcpy(p, "\\\r\n  ", 5);
        p += 5;
        column = 2;
      }
    }
    out.resize(static_cast<size_t>(p - out.data()));
  }
};

bool HoldsAnything(const RegKey& key) { return key.subkeyCount() != 0 || !key.values().empty(); }

// At least the size of the key's text and that of its subkeys, so that the
// text is written into one buffer that never moves (what is reserved but not
// written is never touched, so it costs no memory).
size_t UpperBoundOfText(const RegKey& key, size_t pathLength) {
  size_t size = pathLength + 8;
  for (const RegValue& value : key.values()) {
    size += 2 * value.name.size() + 24 + 3 * value.data.size() + (value.data.size() / 25 + 2) * 5;
  }
  for (size_t i = 0; i < key.subkeyCount(); ++i) {
    const RegKey& child = *key.subkey(i);
    size += UpperBoundOfText(child, pathLength + 1 + child.name().size());
  }
  return size;
}

}  // namespace

std::optional<Regedit4Error> ImportRegedit4(std::string_view text, Registry& registry) {
  // Nothing of a bad file may be applied. A registry that holds something
  // has the file checked first; an empty one (a machine being loaded) takes
  // the file in one reading and is emptied again if the file is bad.
  bool wasEmpty = true;
  for (Root which : Registry::kRoots) wasEmpty = wasEmpty && !HoldsAnything(registry.root(which));
  bool wasModified = registry.modified;
  try {
    if (!wasEmpty) {
      Checker checker;
      Parser<Checker>(text, checker).run();
    }
    Applier applier(registry);
    Parser<Applier>(text, applier).run();
  } catch (const Failure& failure) {
    if (wasEmpty) {
      for (Root which : Registry::kRoots) registry.root(which).clear();
      registry.modified = wasModified;
    }
    return Regedit4Error{failure.line, failure.message};
  } catch (...) {
    // Out of memory half way: still leave nothing of the file.
    if (wasEmpty) {
      for (Root which : Registry::kRoots) registry.root(which).clear();
      registry.modified = wasModified;
    }
    throw;
  }
  return std::nullopt;
}

std::string ExportRegedit4(const Registry& registry) {
  Writer writer;
  size_t bound = writer.out.size() + 2;
  for (Root which : Registry::kRoots) {
    bound += UpperBoundOfText(registry.root(which), std::strlen(RootName(which)));
  }
  writer.out.reserve(bound);
  std::string path;
  for (Root which : Registry::kRoots) {
    const RegKey& root = registry.root(which);
    if (!HoldsAnything(root)) continue;
    path = RootName(which);
    writer.key(root, path);
  }
  writer.out += "\r\n";
  return std::move(writer.out);
}

std::string ExportRegedit4(const RegKey& key) {
  Writer writer;
  std::string path = key.path();
  writer.out.reserve(writer.out.size() + 2 + UpperBoundOfText(key, path.size()));
  writer.key(key, path);
  writer.out += "\r\n";
  return std::move(writer.out);
}

}  // namespace winsim
