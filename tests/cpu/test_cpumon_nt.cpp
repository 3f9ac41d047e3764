#include <doctest.h>

#include "cpu/cpumon.h"
#include "helpers.h"
#include "support/support.h"

#include <float.h>

#include <cstring>
#include <vector>

namespace {

constexpr int64_t kSecond = 10000000;  // in 100-nanosecond units

// A scripted native query: statuses and counters chosen by the test, calls recorded.
struct Script {
    LONG timeStatus = 0;
    LONG performanceStatus = 0;
    bool wantsLargerRecord = false;  // as 64-bit Windows 7 answers a 32-bit process
    int64_t idleTime = 0;
    int64_t systemTime = 0;
    std::vector<std::pair<ULONG, ULONG>> calls;  // (class, length)
};
Script script;

LONG WINAPI ScriptedQuery(ULONG infoClass, void* buffer, ULONG length, ULONG* returnLength) {
    script.calls.emplace_back(infoClass, length);
    if (returnLength) return static_cast<LONG>(0xC000000D);  // never passed by the sampler
    auto* bytes = static_cast<BYTE*>(buffer);
    if (infoClass == 3) {
        if (script.timeStatus != 0) return script.timeStatus;
        std::memcpy(bytes + 8, &script.systemTime, 8);
        return 0;
    }
    if (infoClass == 2) {
        if (script.performanceStatus != 0) return script.performanceStatus;
        if (script.wantsLargerRecord && length < 344) return STATUS_INFO_LENGTH_MISMATCH_;
        std::memcpy(bytes, &script.idleTime, 8);
        return 0;
    }
    return static_cast<LONG>(0xC0000003);
}

struct ScriptedMon : TCpuMon {
    explicit ScriptedMon(uint8_t processors) {
        script = Script{};
        script.idleTime = 1000 * kSecond;
        script.systemTime = 5000 * kSecond;
        querySystemInformation = ScriptedQuery;
        processorCount = processors;
    }
    uint8_t Advance(int64_t idleDelta, int64_t timeDelta) {
        script.idleTime += idleDelta;
        script.systemTime += timeDelta;
        return GetUsage();
    }
};

// Unmasks the x87 zero-divide and invalid-operation exceptions, so that an unguarded
// division faults instead of quietly producing an infinity or a NaN.
struct FpuTraps {
    unsigned saved = _controlfp(0, 0);
    FpuTraps() {
        _clearfp();
        _controlfp(saved & ~(_EM_ZERODIVIDE | _EM_INVALID), _MCW_EM);
    }
    ~FpuTraps() {
        _clearfp();
        _controlfp(saved, _MCW_EM);
    }
};

}  // namespace

TEST_CASE("The x87 unit computes with a 64-bit significand") {
    CHECK((_controlfp(0, 0) & _MCW_PC) == _PC_64);
    volatile long double third = 1.0L / 3.0L;
    CHECK(third * 3.0L == 1.0L);
    CHECK((1.0L + 0x1p-63L) != 1.0L);  // lost at double precision
}

TEST_CASE("Worked loads, with clamping") {
    struct Row {
        const char* what;
        uint8_t processors;
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
        {"far below 0", 1, 20 * kSecond, kSecond, 0},
        {"time went backwards", 1, 2500000, -kSecond, 100},
        {"idle went backwards", 1, -2500000, kSecond, 100},
        {"exactly half", 2, kSecond, kSecond, 50},
        {"99.5 rounds half up", 1, 50000, kSecond, 100},
        {"0.49 truncates to 0", 4, 40004000, kSecond, 0},
        {"1.1 truncates to 1", 4, 39760000, kSecond, 1},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        ScriptedMon mon(row.processors);
        CHECK(mon.GetUsage() == 0);  // a first sample only records the counters
        CHECK(mon.Advance(row.idleDelta, row.timeDelta) == row.expected);
        CHECK(LoadFromDeltas(row.idleDelta, row.timeDelta, row.processors) == row.expected);
    }
}

TEST_CASE("Undefined divisions yield 0 without a floating-point fault") {
    FpuTraps traps;
    SUBCASE("time delta 0") {
        ScriptedMon mon(1);
        mon.GetUsage();
        CHECK(mon.Advance(2500000, 0) == 0);
        CHECK(mon.Advance(0, 0) == 0);
        CHECK(mon.Advance(2500000, kSecond) == 75);  // and sampling goes on
    }
    SUBCASE("processor count 0") {
        ScriptedMon mon(0);
        mon.GetUsage();
        CHECK(mon.Advance(2500000, kSecond) == 0);
        CHECK(mon.Advance(0, kSecond) == 0);
    }
    SUBCASE("no entry point") {
        ScriptedMon mon(1);
        mon.querySystemInformation = nullptr;
        CHECK(mon.GetUsage() == 0);
        CHECK(mon.GetUsage() == 0);
    }
    CHECK((_statusfp() & (_EM_ZERODIVIDE | _EM_INVALID)) == 0);
}

TEST_CASE("Each sample asks for the time of day first, then the performance record") {
    ScriptedMon mon(1);
    mon.GetUsage();
    CHECK(script.calls == std::vector<std::pair<ULONG, ULONG>>{{3, 32}, {2, 312}});
}

TEST_CASE("A failed query yields 0 and the next sample measures from the last good one") {
    ScriptedMon mon(1);
    mon.GetUsage();
    SUBCASE("time of day") {
        script.timeStatus = static_cast<LONG>(0xC0000001);
        CHECK(mon.Advance(9 * kSecond, 10 * kSecond) == 0);
        CHECK(script.calls.back().first == 3);  // the performance query is not made
    }
    SUBCASE("performance") {
        script.performanceStatus = static_cast<LONG>(0xC0000001);
        CHECK(mon.Advance(9 * kSecond, 10 * kSecond) == 0);
    }
    script.timeStatus = 0;
    script.performanceStatus = 0;
    // 9 s + 1 s idle over 10 s + 10 s: 50 % idle since the last good sample.
    CHECK(mon.Advance(kSecond, 10 * kSecond) == 50);
}

TEST_CASE("Reset makes the next sample a first one") {
    ScriptedMon mon(1);
    mon.GetUsage();
    CHECK(mon.Advance(2500000, kSecond) == 75);
    mon.Reset();
    CHECK(mon.prevIdleTime == 0);
    CHECK(mon.Advance(0, kSecond) == 0);
    CHECK(mon.Advance(0, kSecond) == 100);
}

TEST_CASE("A length mismatch is retried once with the larger record") {
    ScriptedMon mon(1);
    script.wantsLargerRecord = true;
    mon.GetUsage();
    CHECK(script.calls == std::vector<std::pair<ULONG, ULONG>>{{3, 32}, {2, 312}, {2, 512}});
    CHECK(mon.Advance(2500000, kSecond) == 75);

    script.calls.clear();
    script.performanceStatus = STATUS_INFO_LENGTH_MISMATCH_;  // even the larger record is refused
    CHECK(mon.Advance(0, kSecond) == 0);
    CHECK(script.calls.size() == 3);
}

TEST_CASE("Against Wine's own query") {
    REQUIRE(PlatformId == VER_PLATFORM_NT);
    TCpuMon mon;
    REQUIRE((mon.querySystemInformation != nullptr));
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    CHECK(mon.processorCount == info.dwNumberOfProcessors);

    SUBCASE("one busy thread per processor reads as nearly full load") {
        uint8_t load = 0;
        {
            FullLoad busy;
            Sleep(200);  // let the threads get going before the window opens
            CHECK(mon.GetUsage() == 0);
            Sleep(1000);
            load = mon.GetUsage();
        }
        CHECK(load >= 90);
        CHECK(load <= 100);
    }
}
