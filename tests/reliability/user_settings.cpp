#include "user_settings.h"

#include <sstream>

namespace rq47test {

const std::string kVendorKey = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV";
const std::string kServiceKey = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\RQ31DFV";
const std::string kTempSettingsKey = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31";
const std::vector<std::string> kSettingsKeys = {kVendorKey, kServiceKey, kTempSettingsKey};

namespace {

std::optional<std::string> Text(const winsim::Registry& registry, const std::string& key,
                                const char* name) {
  const winsim::RegValue* value = registry.value(key, name);
  if (value == nullptr) return std::nullopt;
  return value->text();
}

std::optional<uint8_t> Byte(const winsim::Registry& registry, const std::string& key,
                            const char* name) {
  const winsim::RegValue* value = registry.value(key, name);
  if (value == nullptr || value->data.empty()) return std::nullopt;
  return static_cast<uint8_t>(value->data[0]);
}

}  // namespace

bool UserSettings::operator==(const UserSettings& other) const {
  return language == other.language && country == other.country && micGain == other.micGain &&
         spkrGain == other.spkrGain && dosBoxEnabled == other.dosBoxEnabled &&
         portName == other.portName;
}

std::string UserSettings::describe() const {
  std::ostringstream out;
  out << "Language \"" << language << "\", Country " << int{country} << ", MicGain " << int{micGain}
      << ", SpkrGain " << int{spkrGain} << ", DOSboxEnabled \"" << dosBoxEnabled
      << "\", PortName \"" << portName << "\"";
  return out.str();
}

void PrintTo(const UserSettings& settings, std::ostream* out) { *out << settings.describe(); }

std::optional<UserSettings> ReadSettings(const winsim::Registry& registry, const std::string& key) {
  auto language = Text(registry, key, "Language");
  auto country = Byte(registry, key, "Country");
  auto micGain = Byte(registry, key, "MicGain");
  auto spkrGain = Byte(registry, key, "SpkrGain");
  auto dosBox = Text(registry, key, "DOSboxEnabled");
  auto portName = Text(registry, key, "PortName");
  if (!language || !country || !micGain || !spkrGain || !dosBox || !portName) return std::nullopt;
  return UserSettings{*language, *country, *micGain, *spkrGain, *dosBox, *portName};
}

std::string KeyHolding(const winsim::Registry& registry, const UserSettings& settings) {
  for (const std::string& key : kSettingsKeys) {
    std::optional<UserSettings> found = ReadSettings(registry, key);
    if (found && *found == settings) return key;
  }
  return {};
}

void WriteSettings(winsim::RegKey& key, const UserSettings& settings) {
  auto padded = [](std::string text, size_t count) {
    text.resize(count, '\0');
    return text;
  };
  auto byte = [](uint8_t value) { return std::string(1, static_cast<char>(value)); };
  constexpr uint32_t kString = 1;  // REG_SZ
  constexpr uint32_t kBinary = 3;  // REG_BINARY
  key.setValue("Language", kString, padded(settings.language, 22));
  key.setValue("Country", kBinary, byte(settings.country));
  key.setValue("MicGain", kBinary, byte(settings.micGain));
  key.setValue("SpkrGain", kBinary, byte(settings.spkrGain));
  key.setValue("DOSboxEnabled", kString, padded(settings.dosBoxEnabled, 10));
  key.setValue("PortName", kString, padded(settings.portName, 20));
}

UserSettings DefaultSettings(const std::string& portName) {
  return UserSettings{"Domestic English", 1, 80, 80, "FALSE", portName};
}

}  // namespace rq47test
