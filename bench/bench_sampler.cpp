// What one NT sample costs beyond the two native queries it is made of, and what the
// sampler reads on an idle and on a saturated machine.
#include "cpu/cpumon.h"
#include "support/support.h"

#include <cstdio>
#include <vector>

namespace {

volatile LONG busyStop = 0;

DWORD WINAPI Spin(void*) {
    while (!busyStop) {
    }
    return 0;
}

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Microseconds per GetUsage over n calls.
double TimeGetUsage(TCpuMon& mon, int n) {
    const double start = Now();
    for (int i = 0; i < n; ++i) mon.GetUsage();
    return (Now() - start) * 1e6 / n;
}

// Microseconds per pair of bare queries, the same two that GetUsage makes.
double TimeBareQueries(TQuerySystemInformation query, int n) {
    const double start = Now();
    for (int i = 0; i < n; ++i) {
        BYTE timeOfDay[32];
        BYTE performance[312];
        query(3, timeOfDay, sizeof timeOfDay, nullptr);
        query(2, performance, sizeof performance, nullptr);
    }
    return (Now() - start) * 1e6 / n;
}

// Samples for about two seconds and returns the last reading.
unsigned ReadLoad(TCpuMon& mon) {
    mon.Reset();
    mon.GetUsage();
    Sleep(1000);
    mon.GetUsage();
    Sleep(1000);
    return mon.GetUsage();
}

}  // namespace

int main() {
    InitPlatformInfo();
    if (PlatformId != VER_PLATFORM_NT) {
        std::printf("the sampler benchmark needs the NT family\n");
        return 1;
    }
    TCpuMon mon;
    if (!mon.querySystemInformation) {
        std::printf("NtQuerySystemInformation not found\n");
        return 1;
    }

    // Interleaved rounds, best of each, so that a noisy machine hurts both sides alike.
    constexpr int kRounds = 15;
    constexpr int kCalls = 2000;
    double bestSample = 1e9, bestBare = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const double sample = TimeGetUsage(mon, kCalls);
        const double bare = TimeBareQueries(mon.querySystemInformation, kCalls);
        if (sample < bestSample) bestSample = sample;
        if (bare < bestBare) bestBare = bare;
    }

    const unsigned idleLoad = ReadLoad(mon);

    SYSTEM_INFO info;
    GetSystemInfo(&info);
    std::vector<HANDLE> threads;
    for (DWORD i = 0; i < info.dwNumberOfProcessors; ++i) {
        threads.push_back(CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr));
    }
    const unsigned busyLoad = ReadLoad(mon);
    busyStop = 1;
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);

    std::printf("processors (sampler / GetSystemInfo): %u / %lu\n", static_cast<unsigned>(mon.processorCount),
                info.dwNumberOfProcessors);
    std::printf("GetUsage:             %.2f us per call (best of %d rounds of %d)\n", bestSample, kRounds, kCalls);
    std::printf("two bare queries:     %.2f us per pair\n", bestBare);
    std::printf("ratio:                %.3f (target at most 1.2)\n", bestSample / bestBare);
    std::printf("load, machine idle:   %u %%\n", idleLoad);
    std::printf("load, %lu busy threads: %u %%\n", info.dwNumberOfProcessors, busyLoad);
    return 0;
}
