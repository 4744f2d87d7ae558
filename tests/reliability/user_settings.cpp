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
  // As Windows 95/98 keep each text, whatever count it was written with.
  auto kept = [](const std::string& text) { return text + '\0'; };
  auto byte = [](uint8_t value) { return std::string(1, static_cast<char>(value)); };
  constexpr uint32_t kString = 1;  // REG_SZ
  constexpr uint32_t kBinary = 3;  // REG_BINARY
  key.setValue("Language", kString, kept(settings.language));
  key.setValue("Country", kBinary, byte(settings.country));
  key.setValue("MicGain", kBinary, byte(settings.micGain));
  key.setValue("SpkrGain", kBinary, byte(settings.spkrGain));
  key.setValue("DOSboxEnabled", kString, kept(settings.dosBoxEnabled));
  key.setValue("PortName", kString, kept(settings.portName));
}

bool MoveDevicePort(winsim::Registry& registry, const std::string& portName) {
  const winsim::RegValue* pnpId = registry.value(kVendorKey, "PNP ID");
  if (pnpId == nullptr) return false;
  winsim::RegKey* device = registry.find("HKEY_LOCAL_MACHINE\\Enum\\PCI\\" + pnpId->text());
  if (device == nullptr || device->subkeyCount() == 0) return false;
  for (size_t i = 0; i < device->subkeyCount(); ++i) {
    device->subkey(i)->setValue("PortName", 1 /* REG_SZ */, portName + '\0');
  }
  return true;
}

UserSettings DefaultSettings(const std::string& portName) {
  return UserSettings{"Domestic English", 1, 80, 80, "FALSE", portName};
}

}  // namespace rq47test
