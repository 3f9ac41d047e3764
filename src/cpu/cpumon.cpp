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
// These two hold no pointers: the same sizes for both builds.
constexpr ULONG kPerformanceLength = 312;
// 64-bit Windows 7 and Server 2008 want a larger performance record from a 32-bit process.
constexpr ULONG kPerformanceRetryLength = 512;
constexpr ULONG kTimeOfDayLength = 32;
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

int64_t AsInt64(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

int64_t Difference(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

// Holds the x87 unit at its 64-bit significand with rounding to nearest, and puts the
// caller's control word back. 64-bit Windows starts threads at 53 bits, and a 32-bit
// program cannot count on its runtime either.
class X87Extended {
public:
    X87Extended() {
        asm volatile("fnstcw %0" : "=m"(saved_));
        const unsigned short extended = static_cast<unsigned short>((saved_ & ~0x0F00u) | 0x0300u);
        asm volatile("fldcw %0" : : "m"(extended) : "memory");
    }
    ~X87Extended() { asm volatile("fldcw %0" : : "m"(saved_) : "memory"); }
    X87Extended(const X87Extended&) = delete;
    X87Extended& operator=(const X87Extended&) = delete;

    // Keeps the compiler from moving the arithmetic across the control-word changes.
    template <class T>
    static void Fence(T& value) {
        asm volatile("" : "+m"(value));
    }

private:
    unsigned short saved_;
};

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

uint8_t LoadFromDeltas(int64_t idleDelta, int64_t timeDelta, DWORD processorCount) {
    if (timeDelta == 0 || processorCount == 0) return 0;
    const X87Extended extended;
    X87Extended::Fence(idleDelta);
    long double load = static_cast<long double>(idleDelta) / static_cast<long double>(timeDelta);
    load *= 100;
    load /= processorCount;
    load = 100 - load;
    load += 0.5L;
    // Truncation toward zero maps (-1, 0) to 0 as well; NaN cannot arise after the guard.
    int percent = load < 0 ? 0 : load > 100 ? 100 : static_cast<int>(load);
    X87Extended::Fence(percent);
    return static_cast<uint8_t>(percent);
}

TCpuMon::TCpuMon() {
    startPending = true;
    if (PlatformId != VER_PLATFORM_NT) return;  // the 9x statistic starts with the first sample
    // Its idle, kernel and user times are sums over the same processors, however many the
    // process is shown; the native query's count covers at most 32 for a 32-bit process
    // and one processor group, while its idle time covers them all.
    getSystemTimes = reinterpret_cast<TGetSystemTimes>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimes")));
    ntdllHandle.reset(LoadLibraryA("ntdll.dll"));
    if (!ntdllHandle) return;
    Reset();
    querySystemInformation = reinterpret_cast<TQuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(ntdllHandle.get(), "NtQuerySystemInformation")));
    if (!querySystemInformation) return;
    TSystemBasicInformation basic = {};
    if (querySystemInformation(kBasicInformation, &basic, sizeof basic, nullptr) == 0) {
        processorCount = basic.numberOfProcessors;
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

bool TCpuMon::QueryNative(int64_t& idleTime, int64_t& systemTime) {
    if (!querySystemInformation) return false;
    BYTE timeOfDay[kTimeOfDayLength] = {};
    if (querySystemInformation(kTimeOfDayInformation, timeOfDay, kTimeOfDayLength, nullptr) != 0) return false;

    BYTE performance[kPerformanceRetryLength] = {};
    LONG status = querySystemInformation(kPerformanceInformation, performance, kPerformanceLength, nullptr);
    if (status == STATUS_INFO_LENGTH_MISMATCH_) {
        std::memset(performance, 0, sizeof performance);
        status = querySystemInformation(kPerformanceInformation, performance, kPerformanceRetryLength, nullptr);
    }
    if (status != 0) return false;
    idleTime = ReadInt64(performance + kIdleTimeOffset);
    systemTime = ReadInt64(timeOfDay + kSystemTimeOffset);
    return true;
}

uint8_t TCpuMon::SampleNt() {
    int64_t idleTime = 0, systemTime = 0;
    DWORD processors = 1;  // the system times need no count: kernel time includes idle time
    if (getSystemTimes) {
        FILETIME idle = {}, kernel = {}, user = {};
        if (!getSystemTimes(&idle, &kernel, &user)) return 0;
        idleTime = AsInt64(idle);
        systemTime = static_cast<int64_t>(static_cast<uint64_t>(AsInt64(kernel)) + static_cast<uint64_t>(AsInt64(user)));
    } else {
        if (!QueryNative(idleTime, systemTime)) return 0;
        processors = processorCount;
    }
    uint8_t load = 0;
    if (prevIdleTime != 0) {
        load = LoadFromDeltas(Difference(idleTime, prevIdleTime), Difference(systemTime, prevSystemTime), processors);
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
