#include <doctest.h>

#include "cpu/cpumon.h"
#include "helpers.h"
#include "screen.h"
#include "support/support.h"

#include <cstring>
#include <vector>

namespace {

constexpr int64_t kSecond = 10000000;  // in 100-nanosecond units

// A scripted machine behind both sources of the sampler: the system times and the native
// query. The native basic information shows `shown` of its `processors`, as Windows shows
// a 32-bit process at most 32 and any process one group of at most 64.
struct Machine {
    DWORD processors = 1;
    BYTE shown = 1;
    int64_t timeOfDay = 5000 * kSecond;
    int64_t idle = 1000 * kSecond;  // summed over all processors
    int64_t kernel = 3000 * kSecond;
    int64_t user = 2000 * kSecond;
    LONG timeStatus = 0;
    LONG performanceStatus = 0;
    BOOL timesResult = TRUE;
    bool wantsLargerRecord = false;  // as 64-bit Windows 7 answers a 32-bit process
    std::vector<std::pair<ULONG, ULONG>> calls;  // native (class, length)

    // idleDelta of all processors over timeDelta of the clock; the rest of their time is busy.
    void Run(int64_t idleDelta, int64_t timeDelta) {
        const int64_t busy = static_cast<int64_t>(processors) * timeDelta - idleDelta;
        timeOfDay += timeDelta;
        idle += idleDelta;
        kernel += idleDelta + busy / 2;  // kernel time includes idle time
        user += busy - busy / 2;
    }
};
Machine machine;

LONG WINAPI NativeQuery(ULONG infoClass, void* buffer, ULONG length, ULONG* returnLength) {
    machine.calls.emplace_back(infoClass, length);
    if (returnLength) return static_cast<LONG>(0xC000000D);  // never passed by the sampler
    auto* bytes = static_cast<BYTE*>(buffer);
    switch (infoClass) {
        case 0: static_cast<TSystemBasicInformation*>(buffer)->numberOfProcessors = machine.shown; return 0;
        case 2:
            if (machine.performanceStatus != 0) return machine.performanceStatus;
            if (machine.wantsLargerRecord && length < 344) return STATUS_INFO_LENGTH_MISMATCH_;
            std::memcpy(bytes, &machine.idle, 8);
            return 0;
        case 3:
            if (machine.timeStatus != 0) return machine.timeStatus;
            std::memcpy(bytes + 8, &machine.timeOfDay, 8);
            return 0;
    }
    return static_cast<LONG>(0xC0000003);
}

FILETIME AsFileTime(int64_t value) {
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(static_cast<uint64_t>(value) >> 32)};
}

BOOL WINAPI SystemTimes(FILETIME* idle, FILETIME* kernel, FILETIME* user) {
    if (!machine.timesResult) return FALSE;
    *idle = AsFileTime(machine.idle);
    *kernel = AsFileTime(machine.kernel);
    *user = AsFileTime(machine.user);
    return TRUE;
}

// A real sampler with the machine behind it, through the system times or, where they are
// missing, through the native query alone. Its first sample is taken.
struct ScriptedMon : TCpuMon {
    ScriptedMon(const Machine& m, bool withSystemTimes) {
        machine = m;
        querySystemInformation = NativeQuery;
        getSystemTimes = withSystemTimes ? SystemTimes : nullptr;
        processorCount = m.shown;
        CHECK(GetUsage() == 0);  // a first sample only records the counters
        machine.calls.clear();
    }
    uint8_t Advance(int64_t idleDelta, int64_t timeDelta) {
        machine.Run(idleDelta, timeDelta);
        return GetUsage();
    }
};

Machine OneProcessor(DWORD processors = 1) {
    Machine m;
    m.processors = processors;
    m.shown = static_cast<BYTE>(processors);
    return m;
}

unsigned short X87Status() {
    unsigned short status;
    asm volatile("fnstsw %0" : "=m"(status));
    return status;
}
unsigned short X87Control() {
    unsigned short control;
    asm volatile("fnstcw %0" : "=m"(control));
    return control;
}
void SetX87Control(unsigned short control) { asm volatile("fldcw %0" : : "m"(control)); }

constexpr unsigned short kInvalid = 0x01, kZeroDivide = 0x04;

}  // namespace

TEST_CASE("Worked loads, from either source, with clamping") {
    struct Row {
        const char* what;
        DWORD processors;
        int64_t idleDelta;
        int64_t timeDelta;
        uint8_t expected;
    };
    const Row rows[] = {
        {"75.5 truncates", 1, 2500000, kSecond, 75},
        {"two processors 25.5", 2, 15000000, kSecond, 25},
        {"idle delta 0", 1, 0, kSecond, 100},
        {"-0.5 truncates toward zero", 1, 10100000, kSecond, 0},
        {"-1 would wrap to 255", 1, 10150000, kSecond, 0},
        {"time went backwards", 1, 2500000, -kSecond, 100},
        {"99.5 rounds half up", 1, 50000, kSecond, 100},
        {"0.49 truncates to 0", 4, 40004000, kSecond, 0},
        {"1.1 truncates to 1", 4, 39760000, kSecond, 1},
    };
    bool withSystemTimes = true;
    SUBCASE("system times") {}
    SUBCASE("native query") { withSystemTimes = false; }
    for (const Row& row : rows) {
        CAPTURE(row.what);
        ScriptedMon mon(OneProcessor(row.processors), withSystemTimes);
        CHECK(mon.Advance(row.idleDelta, row.timeDelta) == row.expected);
        CHECK(LoadFromDeltas(row.idleDelta, row.timeDelta, row.processors) == row.expected);
    }
}

TEST_CASE("On big machines the load covers the same processors as the idle time") {
    struct Row {
        const char* what;
        DWORD processors;
        BYTE shown;
        int percent;
    };
    const Row rows[] = {
        {"48 seen through a 32-processor view", 48, 32, 50},
        {"128 in two groups of 64", 128, 64, 75},
        {"256, whose count wraps to 0 in a byte", 256, 0, 50},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        Machine m;
        m.processors = row.processors;
        m.shown = row.shown;
        ScriptedMon mon(m, true);
        const int64_t idle = static_cast<int64_t>(row.processors) * kSecond * (100 - row.percent) / 100;
        CHECK(mon.Advance(idle, kSecond) == row.percent);
        CHECK(mon.Advance(idle, kSecond) == row.percent);
    }
}

TEST_CASE("Undefined divisions yield 0 without touching the x87 flags") {
    asm volatile("fnclex");
    for (const bool withSystemTimes : {true, false}) {
        ScriptedMon mon(OneProcessor(), withSystemTimes);
        CHECK(mon.Advance(2500000, 0) == 0);
        CHECK(mon.Advance(0, 0) == 0);
        CHECK(mon.Advance(2500000, kSecond) == 75);  // and sampling goes on
    }
    ScriptedMon mon(OneProcessor(), false);
    mon.processorCount = 0;  // the basic query failed
    CHECK(mon.Advance(2500000, kSecond) == 0);
    CHECK(mon.Advance(0, kSecond) == 0);
    mon.querySystemInformation = nullptr;
    CHECK(mon.Advance(0, kSecond) == 0);
    CHECK((X87Status() & (kInvalid | kZeroDivide)) == 0);
}

TEST_CASE("The load is computed at 64 bits whatever precision the caller runs at, which is put back") {
    const unsigned short saved = X87Control();
    const unsigned short doublePrecision = static_cast<unsigned short>((saved & ~0x0300u) | 0x0200u);
    SetX87Control(doublePrecision);  // as 64-bit Windows starts a thread
    // 100 - 49.5000000000000001 + 0.5 lies just below 51; at 53 bits it rounds up to 51.
    volatile int64_t idle = 495000000000000001, time = 1000000000000000000;
    const uint8_t load = LoadFromDeltas(idle, time, 1);
    const unsigned short after = X87Control();
    SetX87Control(saved);
    CHECK(load == 50);
    CHECK(after == doublePrecision);
}

TEST_CASE("The native query: time of day first, a failed query yields 0, a short record is retried") {
    ScriptedMon mon(OneProcessor(), false);
    SUBCASE("the order and the lengths") {
        mon.Advance(0, kSecond);
        CHECK(machine.calls == std::vector<std::pair<ULONG, ULONG>>{{3, 32}, {2, 312}});
    }
    SUBCASE("a length mismatch is retried once with 512 bytes") {
        machine.wantsLargerRecord = true;
        CHECK(mon.Advance(2500000, kSecond) == 75);
        CHECK(machine.calls == std::vector<std::pair<ULONG, ULONG>>{{3, 32}, {2, 312}, {2, 512}});
        machine.performanceStatus = STATUS_INFO_LENGTH_MISMATCH_;  // even the larger record is refused
        CHECK(mon.Advance(0, kSecond) == 0);
    }
    SUBCASE("a failed time of day skips the performance query") {
        machine.timeStatus = static_cast<LONG>(0xC0000001);
        CHECK(mon.Advance(0, kSecond) == 0);
        CHECK(machine.calls == std::vector<std::pair<ULONG, ULONG>>{{3, 32}});
    }
}

TEST_CASE("A failed sample yields 0 and the next measures from the last good one; Reset starts afresh") {
    bool withSystemTimes = true;
    SUBCASE("system times") {}
    SUBCASE("native query") { withSystemTimes = false; }
    ScriptedMon mon(OneProcessor(), withSystemTimes);
    machine.timesResult = FALSE;
    machine.performanceStatus = static_cast<LONG>(0xC0000001);
    CHECK(mon.Advance(9 * kSecond, 10 * kSecond) == 0);
    machine.timesResult = TRUE;
    machine.performanceStatus = 0;
    // 9 s + 1 s idle over 10 s + 10 s: 50 % idle since the last good sample.
    CHECK(mon.Advance(kSecond, 10 * kSecond) == 50);
    mon.Reset();
    CHECK(mon.Advance(0, kSecond) == 0);
    CHECK(mon.Advance(0, kSecond) == 100);
}

TEST_CASE("Against Wine's own counters, through either source") {
    REQUIRE(PlatformId == VER_PLATFORM_NT);
    TCpuMon mon;
    REQUIRE((mon.querySystemInformation != nullptr));
    REQUIRE((mon.getSystemTimes != nullptr));
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    CHECK(mon.processorCount == info.dwNumberOfProcessors);  // read at this build's offset

    SUBCASE("system times") {}
    SUBCASE("native query") { mon.getSystemTimes = nullptr; }
    mon.Reset();
    CHECK(mon.GetUsage() == 0);
    Sleep(200);
    CHECK(mon.GetUsage() <= 100);
    if (Emulated()) return;  // busy threads never end under emulation
    uint8_t load = 0;
    {
        FullLoad busy;
        Sleep(200);  // let the threads get going before the window opens
        mon.Reset();
        CHECK(mon.GetUsage() == 0);
        Sleep(1000);
        load = mon.GetUsage();
    }
    CHECK(load >= 90);
    CHECK(load <= 100);
}
