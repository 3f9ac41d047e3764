#include "cpumon.h"

#include "support/support.h"

#include <cstring>
#include <limits>
#include <new>

static_assert(std::numeric_limits<long double>::digits == 64, "the load arithmetic needs the x87 extended type");

namespace {

constexpr ULONG kBasicInformation = 0;
constexpr ULONG kPerformanceInformation = 2;
constexpr ULONG kTimeOfDayInformation = 3;
constexpr ULONG kBasicLength = 44;
constexpr ULONG kPerformanceLength = 312;
// 64-bit Windows 7 and Server 2008 want a larger performance record from a 32-bit process.
constexpr ULONG kPerformanceRetryLength = 512;
constexpr ULONG kTimeOfDayLength = 32;
constexpr size_t kProcessorCountOffset = 40;
constexpr size_t kIdleTimeOffset = 0;
constexpr size_t kSystemTimeOffset = 8;

const char kUsageValue[] = "KERNEL\\CPUUsage";
const char kStartStat[] = "PerfStats\\StartStat";
const char kStatData[] = "PerfStats\\StatData";
const char kStopStat[] = "PerfStats\\StopStat";

int64_t ReadInt64(const BYTE* bytes) {
    int64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

int64_t Difference(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

}  // namespace

TRegistryValue ReadRegistryValue(HKEY root, const char* subKey, const char* valueName) {
    TRegistryValue result;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return result;
    const unique_hkey key(opened);
    DWORD type = 0, size = 0;
    RegQueryValueExA(opened, valueName, nullptr, &type, nullptr, &size);
    if (size == 0) return result;
    std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[size]);
    if (!data) return result;
    if (RegQueryValueExA(opened, valueName, nullptr, &type, data.get(), &size) == ERROR_SUCCESS) {
        result.ok = true;
        result.type = type;
        result.data = std::move(data);
        result.size = size;
    }
    return result;
}

WORD ReadRegistryWord(HKEY root, const char* subKey, const char* valueName) {
    const TRegistryValue value = ReadRegistryValue(root, subKey, valueName);
    if (!value.ok || value.type != REG_BINARY || value.size < 2) return 0;
    return static_cast<WORD>(value.data[0] | (value.data[1] << 8));
}

uint8_t LoadFromDeltas(int64_t idleDelta, int64_t timeDelta, uint8_t processorCount) {
    if (timeDelta == 0 || processorCount == 0) return 0;
    long double load = static_cast<long double>(idleDelta) / static_cast<long double>(timeDelta);
    load *= 100;
    load /= processorCount;
    load = 100 - load;
    load += 0.5L;
    // Truncation toward zero maps (-1, 0) to 0 as well; NaN cannot arise after the guard.
    if (load < 0) return 0;
    if (load > 100) return 100;
    return static_cast<uint8_t>(static_cast<int>(load));
}

TCpuMon::TCpuMon() {
    startPending = true;
    if (PlatformId != VER_PLATFORM_NT) return;  // the 9x statistic starts with the first sample
    ntdllHandle.reset(LoadLibraryA("ntdll.dll"));
    if (!ntdllHandle) return;
    Reset();
    querySystemInformation = reinterpret_cast<TQuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(ntdllHandle.get(), "NtQuerySystemInformation")));
    if (!querySystemInformation) return;
    BYTE basic[kBasicLength] = {};
    if (querySystemInformation(kBasicInformation, basic, kBasicLength, nullptr) == 0) {
        processorCount = basic[kProcessorCountOffset];
    }
}

TCpuMon::~TCpuMon() {
    if (PlatformId != VER_PLATFORM_NT) readRegistryWord(HKEY_DYN_DATA, kStopStat, kUsageValue);
}

void TCpuMon::Reset() {
    if (PlatformId != VER_PLATFORM_NT) return;
    prevIdleTime = 0;
    prevSystemTime = 0;
}

uint8_t TCpuMon::GetUsage() { return PlatformId == VER_PLATFORM_NT ? SampleNt() : Sample9x(); }

uint8_t TCpuMon::SampleNt() {
    if (!querySystemInformation) return 0;
    BYTE timeOfDay[kTimeOfDayLength] = {};
    if (querySystemInformation(kTimeOfDayInformation, timeOfDay, kTimeOfDayLength, nullptr) != 0) return 0;

    BYTE performance[kPerformanceRetryLength] = {};
    LONG status = querySystemInformation(kPerformanceInformation, performance, kPerformanceLength, nullptr);
    if (status == STATUS_INFO_LENGTH_MISMATCH_) {
        std::memset(performance, 0, sizeof performance);
        status = querySystemInformation(kPerformanceInformation, performance, kPerformanceRetryLength, nullptr);
    }
    if (status != 0) return 0;

    const int64_t idleTime = ReadInt64(performance + kIdleTimeOffset);
    const int64_t systemTime = ReadInt64(timeOfDay + kSystemTimeOffset);
    uint8_t load = 0;
    if (prevIdleTime != 0) {
        load =
            LoadFromDeltas(Difference(idleTime, prevIdleTime), Difference(systemTime, prevSystemTime), processorCount);
    }
    prevIdleTime = idleTime;
    prevSystemTime = systemTime;
    return load;
}

uint8_t TCpuMon::Sample9x() {
    if (startPending) {
        readRegistryWord(HKEY_DYN_DATA, kStartStat, kUsageValue);
        startPending = false;
    }
    const WORD usage = readRegistryWord(HKEY_DYN_DATA, kStatData, kUsageValue);
    const uint8_t lowByte = static_cast<uint8_t>(usage & 0xFF);
    return lowByte > 100 ? 100 : lowByte;
}
