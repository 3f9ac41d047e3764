#include "settings.h"

#include "state/state.h"
#include "support/support.h"

#include <windows.h>

namespace {

constexpr DWORD kReadBufferSize = 1024;
constexpr int32_t kMissingThreshold = 255;
const char* const BoolIniText[2] = {"0", "1"};

}  // namespace

std::string SettingsPath() { return AppState.exeDir + kSettingsFileName; }

std::string IniReadString(const std::string& file, const std::string& section, const std::string& key) {
    char buffer[kReadBufferSize] = {};
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, kReadBufferSize, file.c_str());
    return std::string(buffer, n < kReadBufferSize ? n : kReadBufferSize - 1);
}

int32_t IniReadInteger(const std::string& file, const std::string& section, const std::string& key, int32_t fallback) {
    return ParseIntOr(IniReadString(file, section, key), fallback);
}

bool IniReadBool(const std::string& file, const std::string& section, const std::string& key, bool fallback) {
    return IniReadInteger(file, section, key, fallback ? 1 : 0) != 0;
}

bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

bool IniWriteInteger(const std::string& file, const std::string& section, const std::string& key, int32_t value) {
    return IniWriteString(file, section, key, FormatInt(value));
}

bool IniWriteBool(const std::string& file, const std::string& section, const std::string& key, bool value) {
    return IniWriteString(file, section, key, BoolIniText[value ? 1 : 0]);
}

bool IniEraseSection(const std::string& file, const std::string& section) {
    return WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, file.c_str()) != 0;
}

uint8_t ThresholdFromStored(int32_t stored) {
    const uint8_t lowByte = static_cast<uint8_t>(stored & 0xFF);
    return lowByte == 0 || lowByte > 100 ? kDefaultThreshold : lowByte;
}

void LoadSettings() {
    const std::string path = SettingsPath();
    AppState.blinkEnabled = IniReadBool(path, kOptionSection, kBlinkKey, false);
    AppState.threshold = ThresholdFromStored(IniReadInteger(path, kOptionSection, kThresholdKey, kMissingThreshold));
}
