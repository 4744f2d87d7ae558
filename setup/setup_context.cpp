#include "setup_context.h"

#include <cstring>

namespace rq47set {

SettingField FieldOf(SettingsRecord& record, Setting setting) {
  switch (setting) {
    case Setting::kVersion: return {record.version, sizeof record.version};
    case Setting::kLanguage: return {record.language, sizeof record.language};
    case Setting::kCountry: return {record.country, sizeof record.country};
    case Setting::kPnpId: return {record.pnpId, sizeof record.pnpId};
    case Setting::kMicGain: return {record.micGain, sizeof record.micGain};
    case Setting::kSpkrGain: return {record.spkrGain, sizeof record.spkrGain};
    case Setting::kDosBoxEnabled: return {record.dosBoxEnabled, sizeof record.dosBoxEnabled};
    case Setting::kPortName: return {record.portName, sizeof record.portName};
  }
  return {record.version, sizeof record.version};  // not reached: every setting has its field
}

void StartSetupContext(SetupContext& context) {
  std::memset(&context, 0, sizeof context);
  context.device = DeviceNamed(kNoDeviceInstanceId);
}

}  // namespace rq47set
