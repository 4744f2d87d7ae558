#include "registry_generator.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "random_numbers.h"

namespace rq47bench {
namespace {

constexpr size_t kDeepest = 12;  // levels below a root; real registries rarely go further
constexpr std::string_view kHexDigits = "0123456789abcdef";

// Words of key and value names; none ends in a digit and none equals
// another without regard to case, so a word and a number make unique names.
constexpr std::array<std::string_view, 40> kWords = {
    "Software",    "Classes",      "CurrentVersion", "Enum",         "Control",     "Services",
    "DisplayName", "DriverDesc",   "InfPath",        "InfSection",   "Class",       "HardwareID",
    "ConfigFlags", "Mfg",          "ProviderName",   "DevLoader",    "Settings",    "Properties",
    "PortName",    "FriendlyName", "Version",        "Path",         "InstallDir",  "Flags",
    "Type",        "Start",        "ErrorControl",   "inprocServer", "shellex",     "DefaultIcon",
    "Policies",    "Explorer",     "Zelvaran",       "MODEMWAVE",    "Description", "Language",
    "country",     "Driver",       "Device_Param",   "Help"};

constexpr std::array<std::string_view, 12> kFileNames = {
    "SYSTEM\\UNIMODEM.VXD", "SYSTEM\\SERIAL.VXD",  "ZELVCD.VXD",   "SYSTEM\\MMSYSTEM.DLL",
    "INF\\MDMZEL.INF",      "SYSTEM\\SHELL32.DLL", "EXPLORER.EXE", "SYSTEM\\OLE32.DLL",
    "HELP\\RQ47.HLP",       "SYSTEM\\WAVEMAP.DRV", "SYSTEM.INI",   "SYSTEM\\KERNEL32.DLL"};

// Case-insensitive order of registry names: ASCII letters as upper case.
bool NameLess(const std::string& a, const std::string& b) {
  auto fold = [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return static_cast<unsigned char>(u >= 'a' && u <= 'z' ? u - 'a' + 'A' : u);
  };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return fold(x) < fold(y); });
}

bool NameEqual(const std::string& a, const std::string& b) {
  return !NameLess(a, b) && !NameLess(b, a);
}

struct Node {
  size_t parent = 0;
  size_t depth = 0;  // 0 for a root
  std::string name;
  std::vector<size_t> children;
  size_t values = 0;
};

class Generator {
 public:
  explicit Generator(const RegistryShape& shape) : shape_(shape), random_(shape.seed) {}

  std::string run() {
    buildTree();
    spreadValues();
    out_.reserve(shape_.keys * 64 + shape_.values * 56 + 64);
    out_ = "REGEDIT4\r\n";
    for (size_t root : {kMachine, kUsers}) {
      std::string path = nodes_[root].name;
      writeKey(root, path);
    }
    out_ += "\r\n";
    return std::move(out_);
  }

 private:
  static constexpr size_t kMachine = 0;
  static constexpr size_t kUsers = 1;

  size_t add(size_t parent, std::string name) {
    Node node;
    node.parent = parent;
    node.depth = nodes_[parent].depth + 1;
    node.name = std::move(name);
    nodes_.push_back(std::move(node));
    nodes_[parent].children.push_back(nodes_.size() - 1);
    return nodes_.size() - 1;
  }

  size_t keyCount() const { return nodes_.size() - 2; }

  void buildTree() {
    nodes_.push_back(Node{0, 0, "HKEY_LOCAL_MACHINE", {}, 0});
    nodes_.push_back(Node{1, 0, "HKEY_USERS", {}, 0});
    // The keys every Windows 98 registry has, parents before children.
    struct Fixed {
      size_t parent;  // index into fixed_ (or a root when below 2 and fixed_ is empty)
      bool parentIsRoot;
      const char* name;
    };
    const Fixed fixed[] = {
        {kMachine, true, "Enum"},        {kMachine, true, "Software"},
        {1, false, "Classes"},           {2, false, "CLSID"},
        {1, false, "SharedDLLs"},        {kMachine, true, "System"},
        {5, false, "CurrentControlSet"}, {6, false, "Services"},
        {kUsers, true, ".DEFAULT"},      {8, false, "Software"},
    };
    for (const Fixed& key : fixed) {
      if (keyCount() == shape_.keys) break;
      size_t parent = key.parentIsRoot ? key.parent : fixed_[key.parent];
      fixed_.push_back(add(parent, key.name));
    }
    while (keyCount() < shape_.keys) {
      size_t parent = pickParent();
      add(parent, childName(parent));
    }
    for (Node& node : nodes_) {
      std::sort(node.children.begin(), node.children.end(),
                [&](size_t a, size_t b) { return NameLess(nodes_[a].name, nodes_[b].name); });
      // Random class ids could meet; a name must be unique among its siblings.
      for (size_t i = 1; i < node.children.size(); ++i) {
        std::string& name = nodes_[node.children[i]].name;
        if (NameEqual(name, nodes_[node.children[i - 1]].name)) name += "_" + std::to_string(i);
      }
    }
  }

  // Any key may get a subkey, the shallower ones more often (most keys of a
  // real registry lie four to seven levels down).
  size_t pickParent() {
    if (fixed_.size() > 3 && random_.chance(20)) return fixed_[3];  // the class id list
    size_t candidate = 2 + random_.below(keyCount());
    while (nodes_[candidate].depth >= kDeepest ||
           (nodes_[candidate].depth > 3 && random_.chance(40))) {
      candidate = nodes_[candidate].parent;
    }
    return candidate;
  }

  std::string childName(size_t parent) {
    size_t index = nodes_[parent].children.size();
    if (fixed_.size() > 3 && parent == fixed_[3]) return classId();
    if (random_.chance(30)) {
      std::string number = std::to_string(index);
      return std::string(number.size() < 4 ? 4 - number.size() : 0, '0') + number;
    }
    return std::string(kWords[random_.below(kWords.size())]) + std::to_string(index);
  }

  std::string classId() {
    static constexpr std::string_view kUpperHex = "0123456789ABCDEF";
    std::string id = "{";
    for (int i = 0; i < 32; ++i) {
      if (i == 8 || i == 12 || i == 16 || i == 20) id += '-';
      id += kUpperHex[random_.below(16)];
    }
    return id + "}";
  }

  void spreadValues() {
    size_t left = shape_.values;
    if (keyCount() == 0) return;  // no key can hold a value; the shape asks for none then
    if (fixed_.size() > 4) {
      size_t many = std::min(left, shape_.values / 50);
      nodes_[fixed_[4]].values += many;
      left -= many;
    }
    for (; left > 0; --left) nodes_[2 + random_.below(keyCount())].values += 1;
  }

  void writeKey(size_t index, std::string& path) {
    const Node& node = nodes_[index];
    if (node.depth > 0 || !node.children.empty() || node.values > 0) {
      out_ += "\r\n[";
      out_ += path;
      out_ += "]\r\n";
    }
    bool withDefault = node.values > 0 && random_.chance(10);
    for (size_t i = 0; i < node.values; ++i) writeValue(i, withDefault && i == 0);
    for (size_t child : node.children) {
      size_t mark = path.size();
      path += '\\';
      path += nodes_[child].name;
      writeKey(child, path);
      path.resize(mark);
    }
  }

  void writeValue(size_t index, bool isDefault) {
    if (isDefault) {
      out_ += '@';
    } else {
      out_ += '"';
      out_ += kWords[random_.below(kWords.size())];
      if (index > 0) out_ += std::to_string(index);
      out_ += '"';
    }
    out_ += '=';
    size_t kind = random_.below(100);
    if (kind < 55) {
      writeString();
    } else if (kind < 75) {
      out_ += "dword:";
      uint64_t number = random_.chance(50) ? random_.below(16) : random_.next();
      for (int shift = 28; shift >= 0; shift -= 4) out_ += kHexDigits[(number >> shift) & 15];
    } else if (kind < 92) {
      writeHex("hex:", randomBytes(1 + random_.below(12)));
    } else if (kind < 94) {
      writeHex("hex:", randomBytes(20 + random_.below(100)));
    } else if (kind < 97) {
      std::string text =
          "%SystemRoot%\\" + std::string(kFileNames[random_.below(kFileNames.size())]);
      writeHex("hex(2):", text + '\0');
    } else if (kind < 99) {
      std::string list;
      size_t strings = 1 + random_.below(4);
      for (size_t i = 0; i < strings; ++i) {
        list += kWords[random_.below(kWords.size())];
        list += '\0';
      }
      writeHex("hex(7):", list + '\0');
    } else {
      writeHex("hex(1):", std::string("COM2\0\0\x17\x01", 8));
    }
    out_ += "\r\n";
  }

  void writeString() {
    out_ += '"';
    size_t kind = random_.below(100);
    if (kind < 40) {
      size_t words = 1 + random_.below(3);
      for (size_t i = 0; i < words; ++i) {
        if (i > 0) out_ += ' ';
        out_ += kWords[random_.below(kWords.size())];
      }
    } else if (kind < 65) {
      out_ += "C:\\\\WINDOWS\\\\";
      std::string_view file = kFileNames[random_.below(kFileNames.size())];
      for (char c : file) {
        if (c == '\\') out_ += '\\';
        out_ += c;
      }
    } else if (kind < 80) {
      out_ += std::to_string(random_.below(100000));
    } else if (kind < 90) {
      // empty
    } else if (kind < 95) {
      out_ += "The \\\"";
      out_ += kWords[random_.below(kWords.size())];
      out_ += "\\\" entry, kept for older programs that read it at start-up; do not change it";
    } else {
      out_ += "Modem driver for Windows 95 and Windows 98";
    }
    out_ += '"';
  }

  std::string randomBytes(size_t count) {
    std::string bytes(count, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random_.below(256));
    return bytes;
  }

  // Two hex digits a byte, comma-separated; a line that would pass the 76th
  // column ends in ",\" and the list goes on, indented by two blanks.
  void writeHex(std::string_view prefix, const std::string& bytes) {
    size_t lineStart = out_.rfind('\n') + 1;
    out_ += prefix;
    for (size_t i = 0; i < bytes.size(); ++i) {
      unsigned char byte = static_cast<unsigned char>(bytes[i]);
      out_ += kHexDigits[byte >> 4];
      out_ += kHexDigits[byte & 15];
      if (i + 1 == bytes.size()) break;
      out_ += ',';
      if (out_.size() - lineStart >= 76) {
        out_ += "\\\r\n  ";
        lineStart = out_.size() - 2;
      }
    }
  }

  RegistryShape shape_;
  RandomNumbers random_;
  std::vector<Node> nodes_;
  std::vector<size_t> fixed_;  // the keys every registry has, in the order of the table above
  std::string out_;
};

}  // namespace

std::string GenerateRegistry(const RegistryShape& shape) { return Generator(shape).run(); }

RegistryShape ShapeForBytes(size_t bytes) {
  // Bytes a key takes in a generated file with its five values (measured on
  // the 200,000-key reference file).
  constexpr size_t kBytesPerKey = 310;
  RegistryShape shape;
  shape.keys = std::max<size_t>(1, bytes / kBytesPerKey);
  shape.values = shape.keys * 5;
  return shape;
}

}  // namespace rq47bench
