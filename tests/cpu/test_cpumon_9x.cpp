// Wine reports Windows 98 to this executable (the test prefix's AppDefaults).
#include <doctest.h>

#include "cpu/cpumon.h"
#include "support/support.h"

#include <string>
#include <vector>

namespace {

const char kStatData[] = "PerfStats\\StatData";
const char kValue[] = "KERNEL\\CPUUsage";

std::vector<std::string> reads;

// The real registry underneath, with every read recorded.
WORD RecordingRead(HKEY root, const char* subKey, const char* valueName) {
    reads.push_back(subKey);
    return ReadRegistryWord(root, subKey, valueName);
}

void Publish(DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExA(HKEY_DYN_DATA, kStatData, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == 0);
    REQUIRE(RegSetValueExA(key, kValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())) == 0);
    RegCloseKey(key);
}

void Unpublish() { RegDeleteKeyA(HKEY_DYN_DATA, kStatData); }

}  // namespace

TEST_CASE("This executable sees the 9x family") {
    REQUIRE(PlatformId == VER_PLATFORM_WIN32_WINDOWS);
    TCpuMon mon;
    CHECK(mon.ntdllHandle == nullptr);
    CHECK((mon.querySystemInformation == nullptr));
}

TEST_CASE("The load is the statistic's first two bytes, REG_BINARY only") {
    struct Row {
        const char* what;
        DWORD type;
        std::string bytes;
        uint8_t expected;
    };
    const Row rows[] = {
        {"binary 2A 00 00 00", REG_BINARY, std::string("\x2A\x00\x00\x00", 4), 42},
        {"the same bytes as a DWORD", REG_DWORD, std::string("\x2A\x00\x00\x00", 4), 0},
        {"a one-byte binary", REG_BINARY, std::string("\x2A", 1), 0},
        {"two bytes, low byte taken", REG_BINARY, std::string("\x2C\x01", 2), 44},
        {"above 100 clamps", REG_BINARY, std::string("\xC8\x00", 2), 100},
        {"zero", REG_BINARY, std::string("\x00\x00", 2), 0},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        Publish(row.type, row.bytes);
        TCpuMon mon;
        CHECK(mon.GetUsage() == row.expected);
        CHECK(mon.GetUsage() == row.expected);
    }
    Unpublish();
    TCpuMon mon;
    CHECK(mon.GetUsage() == 0);  // missing key
}

TEST_CASE("StartStat is read once, StopStat by the destructor") {
    Publish(REG_BINARY, std::string("\x07\x00", 2));
    reads.clear();
    SUBCASE("with samples") {
        {
            TCpuMon mon;
            mon.readRegistryWord = RecordingRead;
            CHECK(reads.empty());  // the constructor starts nothing
            CHECK(mon.GetUsage() == 7);
            CHECK(mon.GetUsage() == 7);
            mon.Reset();  // does not start the statistic again
            CHECK(mon.GetUsage() == 7);
        }
        CHECK(reads == std::vector<std::string>{"PerfStats\\StartStat", "PerfStats\\StatData", "PerfStats\\StatData",
                                                "PerfStats\\StatData", "PerfStats\\StopStat"});
    }
    SUBCASE("without any sample") {
        {
            TCpuMon mon;
            mon.readRegistryWord = RecordingRead;
        }
        CHECK(reads == std::vector<std::string>{"PerfStats\\StopStat"});
    }
    Unpublish();
}
