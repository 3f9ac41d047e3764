// Wine reports Windows 98 to this executable (the test prefix's AppDefaults).
#include <doctest.h>

#include "cpu/cpumon.h"
#include "support/support.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> reads;

WORD RecordingRead(HKEY root, const char* subKey, const char* valueName) {  // the real registry, recorded
    reads.push_back(subKey);
    return ReadRegistryWord(root, subKey, valueName);
}

void Publish(DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == 0);
    RegSetValueExA(key, "KERNEL\\CPUUsage", 0, type, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    RegCloseKey(key);
}

}  // namespace

TEST_CASE("The load is the statistic's first two bytes, REG_BINARY only, 100 at most") {
    REQUIRE(PlatformId == VER_PLATFORM_WIN32_WINDOWS);
    const std::pair<DWORD, std::string> rows[] = {{REG_BINARY, std::string("\x2A\0\0\0", 4)}, {REG_DWORD, std::string("\x2A\0\0\0", 4)},
                                                  {REG_BINARY, "\x2A"}, {REG_BINARY, "\x2C\x01"}, {REG_BINARY, std::string("\xC8\0", 2)}};
    const uint8_t expected[] = {42, 0, 0, 44, 100};
    for (int i = 0; i < 5; ++i) {
        Publish(rows[i].first, rows[i].second);
        TCpuMon mon;
        CHECK(mon.GetUsage() == expected[i]);
        CHECK(mon.GetUsage() == expected[i]);
    }
    RegDeleteKeyA(HKEY_DYN_DATA, "PerfStats\\StatData");
    CHECK(TCpuMon().GetUsage() == 0);
}

TEST_CASE("StartStat is read once, by the first sample; StopStat by the destructor, sampled or not") {
    Publish(REG_BINARY, std::string("\x07\0", 2));
    for (const int samples : {2, 0}) {
        reads.clear();
        {
            TCpuMon mon;
            mon.readRegistryWord = RecordingRead;
            for (int i = 0; i < samples; ++i, mon.Reset()) CHECK(mon.GetUsage() == 7);  // Reset starts nothing
        }
        std::vector<std::string> expected = {"PerfStats\\StopStat"};
        if (samples) expected.insert(expected.begin(), {"PerfStats\\StartStat", "PerfStats\\StatData", "PerfStats\\StatData"});
        CHECK(reads == expected);
    }
}
