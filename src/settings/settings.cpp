#include "settings.h"

#include "state/state.h"
#include "support/support.h"

#include <windows.h>

namespace {

constexpr DWORD kReadBufferSize = 1024;
constexpr int32_t kMissingThreshold = 255;
const char* const BoolIniText[2] = {"0", "1"};

// The profile write by the file's wide name where there is one; a null key or value as given.
// No name, no write: the profile functions would take one without a folder as a file of the
// Windows folder.
bool WriteProfile(const char* section, const char* key, const char* value, const TWide& file) {
    if (file.empty()) return false;
    if (!WideApi.writePrivateProfileStringW) {
        return WritePrivateProfileStringA(section, key, value, Narrow(file).c_str()) != 0;
    }
    return WideApi.writePrivateProfileStringW(Widen(section).c_str(), key ? Widen(key).c_str() : nullptr,
                                              value ? Widen(value).c_str() : nullptr, file.c_str()) != 0;
}

}  // namespace

TWide InProgramFolder(const char* name) { return AppState.exeDir.empty() ? TWide() : AppState.exeDir + Widen(name); }

TWide SettingsPath() { return InProgramFolder(kSettingsFileName); }

TAnsi IniReadString(const TWide& file, const char* section, const char* key) {
    // The platform cuts a longer value to what the buffer holds, which the caller expects.
    static_assert(TWide::kCapacity + 1 >= kReadBufferSize && TAnsi::kCapacity + 1 >= kReadBufferSize, "room for a value");
    if (file.empty()) return {};  // as a missing file
    if (!WideApi.getPrivateProfileStringW) {
        TAnsi value;
        const DWORD n = GetPrivateProfileStringA(section, key, "", value.Room(), kReadBufferSize, Narrow(file).c_str());
        return value.Keep(n < kReadBufferSize ? n : kReadBufferSize - 1);
    }
    TWide value;
    const DWORD n = WideApi.getPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), L"", value.Room(),
                                                     kReadBufferSize, file.c_str());
    return Narrow(value.Keep(n < kReadBufferSize ? n : kReadBufferSize - 1));
}

int32_t IniReadInteger(const TWide& file, const char* section, const char* key, int32_t fallback) {
    return ParseIntOr(IniReadString(file, section, key).c_str(), fallback);
}

bool IniReadBool(const TWide& file, const char* section, const char* key, bool fallback) {
    return IniReadInteger(file, section, key, fallback ? 1 : 0) != 0;
}

bool IniWriteString(const TWide& file, const char* section, const char* key, const char* value) {
    return WriteProfile(section, key, value, file);
}

bool IniWriteInteger(const TWide& file, const char* section, const char* key, int32_t value) {
    return IniWriteString(file, section, key, FormatInt(value).c_str());
}

bool IniWriteBool(const TWide& file, const char* section, const char* key, bool value) {
    return IniWriteString(file, section, key, BoolIniText[value ? 1 : 0]);
}

bool IniEraseSection(const TWide& file, const char* section) {
    return WriteProfile(section, nullptr, nullptr, file);
}

TFileSnapshot SnapshotSettings(const TWide& file) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);  // flushes the cache
    return SnapshotFile(file);
}

bool RestoreSettings(const TFileSnapshot& snapshot) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
    return RestoreFile(snapshot);
}

uint8_t ThresholdFromStored(int32_t stored) {
    const uint8_t lowByte = static_cast<uint8_t>(stored & 0xFF);
    return lowByte == 0 || lowByte > 100 ? kDefaultThreshold : lowByte;
}

void LoadSettings() {
    const TWide path = SettingsPath();
    AppState.blinkEnabled = IniReadBool(path, kOptionSection, kBlinkKey, false);
    AppState.threshold = ThresholdFromStored(IniReadInteger(path, kOptionSection, kThresholdKey, kMissingThreshold));
}
