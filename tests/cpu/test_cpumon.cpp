#include "testlib.h"

namespace {

constexpr int64_t kSecond = 10000000;  // in 100-nanosecond units
using Calls = std::vector<std::pair<ULONG, ULONG>>;  // native (class, length)

// A scripted machine behind both sources of the sampler. Its native basic information shows
// `shown` processors, as Windows shows a 32-bit process at most 32 and any process one group
// of at most 64; its idle, kernel and user times cover all `processors`.
struct Machine {
    DWORD processors;
    BYTE shown;
    int64_t clock = 5000 * kSecond, idle = 1000 * kSecond, kernel = 3000 * kSecond, user = 2000 * kSecond;
    LONG timeStatus = 0, performanceStatus = 0;
    BOOL timesResult = TRUE;
    bool wantsLargerRecord = false;  // as 64-bit Windows 7 answers a 32-bit process
    Calls calls;
} machine = {1, 1};

LONG WINAPI NativeQuery(ULONG infoClass, void* buffer, ULONG length, ULONG* returnLength) {
    machine.calls.emplace_back(infoClass, length);
    if (returnLength) return static_cast<LONG>(0xC000000D);  // never passed by the sampler
    if (infoClass == 3 && machine.timeStatus) return machine.timeStatus;
    if (infoClass == 3) std::memcpy(static_cast<BYTE*>(buffer) + 8, &machine.clock, 8);
    if (infoClass == 2 && machine.performanceStatus) return machine.performanceStatus;
    if (infoClass == 2 && machine.wantsLargerRecord && length < 344) return STATUS_INFO_LENGTH_MISMATCH_;
    if (infoClass == 2) std::memcpy(buffer, &machine.idle, 8);
    return 0;
}

FILETIME AsFileTime(int64_t value) { return {static_cast<DWORD>(value), static_cast<DWORD>(uint64_t(value) >> 32)}; }

BOOL WINAPI SystemTimes(FILETIME* idle, FILETIME* kernel, FILETIME* user) {
    *idle = AsFileTime(machine.idle);
    *kernel = AsFileTime(machine.kernel);
    *user = AsFileTime(machine.user);
    return machine.timesResult;
}

// A real sampler with the machine behind it, through the system times or, as where they are
// missing, through the native query alone; its first sample taken.
struct ScriptedMon : TCpuMon {
    ScriptedMon(bool withSystemTimes, DWORD processors = 1, int shown = -1) {
        machine = {processors, static_cast<BYTE>(shown < 0 ? processors : shown)};
        querySystemInformation = NativeQuery;
        getSystemTimes = withSystemTimes ? SystemTimes : nullptr;
        processorCount = machine.shown;
        CHECK(GetUsage() == 0);  // a first sample only records the counters
        machine.calls.clear();
    }
    // idleDelta of all processors over timeDelta of the clock; the rest of their time is busy.
    uint8_t Advance(int64_t idleDelta, int64_t timeDelta) {
        const int64_t busy = static_cast<int64_t>(machine.processors) * timeDelta - idleDelta;
        machine.clock += timeDelta;
        machine.idle += idleDelta;
        machine.kernel += idleDelta + busy / 2;  // kernel time includes idle time
        machine.user += busy - busy / 2;
        return GetUsage();
    }
};

unsigned short X87(bool status) {
    unsigned short word;
    if (status) asm volatile("fnstsw %0" : "=m"(word));
    else asm volatile("fnstcw %0" : "=m"(word));
    return word;
}

std::vector<std::string> reads;  // the 9x statistic's keys read, through the real registry
WORD RecordingRead(HKEY root, const char* subKey, const char* valueName) {
    reads.push_back(subKey);
    return ReadRegistryWord(root, subKey, valueName);
}

}  // namespace

TEST_CASE("Worked loads from either source, clamped; undefined divisions give 0 and raise no x87 flag") {
    struct Row {
        DWORD processors;
        int64_t idleDelta, timeDelta;
        uint8_t expected;
    };
    const Row rows[] = {
        {1, 2500000, kSecond, 75},    {2, 15000000, kSecond, 25},  // 75.5 and 25.5 truncate
        {1, 0, kSecond, 100},         {1, 50000, kSecond, 100},    // 100.5 and 99.5 round half up
        {1, 10100000, kSecond, 0},    {1, 10150000, kSecond, 0},   // -0.5 truncates toward 0, -1 would wrap
        {1, 2500000, -kSecond, 100},  {4, 39760000, kSecond, 1},   // the clock went backwards; 1.1 truncates
        {1, 2500000, 0, 0},           {1, 0, 0, 0},                // no time passed
    };
    asm volatile("fnclex");
    for (const bool withSystemTimes : {true, false}) {
        for (const Row& row : rows) {
            CAPTURE(withSystemTimes);
            CAPTURE(row.idleDelta);
            ScriptedMon mon(withSystemTimes, row.processors);
            CHECK(mon.Advance(row.idleDelta, row.timeDelta) == row.expected);
            CHECK(mon.Advance(2500000 * row.processors, kSecond) == 75);  // and sampling goes on
        }
    }
    ScriptedMon noCount(false, 1, 0);  // the basic query failed
    CHECK(noCount.Advance(2500000, kSecond) == 0);
    noCount.querySystemInformation = nullptr;  // no entry point
    CHECK(noCount.Advance(2500000, kSecond) == 0);
    CHECK((X87(true) & 0x05) == 0);  // neither invalid operation nor division by zero
    // Computed at 64 bits whatever precision the caller runs at (64-bit Windows starts threads
    // at 53), which is put back: 100 - 49.5000000000000001 + 0.5 lies just below 51.
    const unsigned short saved = X87(false), doublePrecision = (saved & ~0x0300) | 0x0200;
    asm volatile("fldcw %0" : : "m"(doublePrecision));
    volatile int64_t idle = 495000000000000001, time = 1000000000000000000;
    const uint8_t load = LoadFromDeltas(idle, time, 1);
    const unsigned short after = X87(false);
    asm volatile("fldcw %0" : : "m"(saved));
    CHECK((load == 50 && after == doublePrecision));
}

TEST_CASE("On big machines the load covers the same processors as the idle time; the count at this build's offset") {
    // 48 seen through a 32-processor view; 128 in two groups of 64; 256, whose count wraps.
    for (const Machine& m : {Machine{48, 32}, Machine{128, 64}, Machine{256, 0}}) {
        ScriptedMon mon(true, m.processors, m.shown);
        CHECK(mon.Advance(m.processors * kSecond * 3 / 10, kSecond) == 70);
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const TCpuMon real;  // Wine's own native query
    CHECK((real.getSystemTimes && real.processorCount == info.dwNumberOfProcessors));
}

TEST_CASE("The native query: order and lengths, a short record retried; failed samples give 0; Reset") {
    ScriptedMon native(false);
    CHECK(native.Advance(0, kSecond) == 100);
    machine.wantsLargerRecord = true;
    CHECK(native.Advance(2500000, kSecond) == 75);
    CHECK(machine.calls == Calls{{3, 32}, {2, 312}, {3, 32}, {2, 312}, {2, 512}});
    machine.calls.clear();
    machine.timeStatus = static_cast<LONG>(0xC0000001);
    CHECK(native.Advance(0, kSecond) == 0);
    CHECK(machine.calls == Calls{{3, 32}});  // no performance query after a failed time of day
    for (const bool withSystemTimes : {true, false}) {
        ScriptedMon mon(withSystemTimes);
        machine.timesResult = FALSE;
        machine.performanceStatus = STATUS_INFO_LENGTH_MISMATCH_;  // even the larger record refused
        CHECK(mon.Advance(9 * kSecond, 10 * kSecond) == 0);
        machine.timesResult = TRUE;
        machine.performanceStatus = 0;
        CHECK(mon.Advance(kSecond, 10 * kSecond) == 50);  // 10 s idle over 20 s since the last good one
        mon.Reset();
        CHECK(mon.Advance(0, kSecond) == 0);
        CHECK(mon.Advance(0, kSecond) == 100);
    }
}

TEST_CASE("On the 9x family the load is the statistic's first two bytes; StartStat read once, StopStat at the end") {
    PlatformId = VER_PLATFORM_WIN32_WINDOWS;
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    struct Row {
        DWORD type;
        std::string bytes;
        uint8_t load;  // REG_BINARY of two bytes or more; the low byte; 100 at most
    };
    for (const Row& row : {Row{REG_BINARY, std::string("\x2A\0\0\0", 4), 42}, Row{REG_DWORD, std::string("\x2A\0\0\0", 4), 0},
                           Row{REG_BINARY, "\x2A", 0}, Row{REG_BINARY, "\x2C\x01", 44}, Row{REG_BINARY, std::string("\xC8\0", 2), 100}}) {
        RegSetValueExA(key, "KERNEL\\CPUUsage", 0, row.type, reinterpret_cast<const BYTE*>(row.bytes.data()), row.bytes.size());
        reads.clear();
        {
            TCpuMon mon;
            mon.readRegistryWord = RecordingRead;
            for (int sample = 0; sample < 2; ++sample, mon.Reset()) CHECK(mon.GetUsage() == row.load);
        }
        CHECK(reads == std::vector<std::string>{"PerfStats\\StartStat", "PerfStats\\StatData", "PerfStats\\StatData",
                                                "PerfStats\\StopStat"});
    }
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_DYN_DATA, "PerfStats\\StatData");
    CHECK(TCpuMon().GetUsage() == 0);
    PlatformId = VER_PLATFORM_NT;
}
