// What one NT sample costs beyond the platform calls it is made of, through the system
// times and through the native query, and what the sampler reads on an idle and on a
// saturated machine.
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

template <class F>
double MicrosecondsPer(int n, F f) {
    const double start = Now();
    for (int i = 0; i < n; ++i) f();
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

struct Figures {
    double sample = 1e9, bare = 1e9;
    unsigned idle = 0, busy = 0;
};

}  // namespace

int main() {
    InitPlatformInfo();
    if (PlatformId != VER_PLATFORM_NT) {
        std::printf("the sampler benchmark needs the NT family\n");
        return 1;
    }
    TCpuMon mon;
    const TGetSystemTimes times = mon.getSystemTimes;
    const TQuerySystemInformation query = mon.querySystemInformation;
    if (!times || !query) {
        std::printf("GetSystemTimes or NtQuerySystemInformation not found\n");
        return 1;
    }
    // The bare platform calls of one sample: one GetSystemTimes, or the two native queries.
    const auto bareTimes = [times] {
        FILETIME idle, kernel, user;
        times(&idle, &kernel, &user);
    };
    const auto bareQueries = [query] {
        BYTE timeOfDay[32];
        BYTE performance[312];
        query(3, timeOfDay, sizeof timeOfDay, nullptr);
        query(2, performance, sizeof performance, nullptr);
    };

    // Interleaved rounds, best of each, so that a noisy machine hurts both sides alike.
    constexpr int kRounds = 15;
    constexpr int kCalls = 2000;
    Figures figures[2];  // through the system times, through the native query
    for (int source = 0; source < 2; ++source) {
        mon.getSystemTimes = source == 0 ? times : nullptr;
        Figures& f = figures[source];
        for (int round = 0; round < kRounds; ++round) {
            const double sample = MicrosecondsPer(kCalls, [&mon] { mon.GetUsage(); });
            const double bare = source == 0 ? MicrosecondsPer(kCalls, bareTimes) : MicrosecondsPer(kCalls, bareQueries);
            if (sample < f.sample) f.sample = sample;
            if (bare < f.bare) f.bare = bare;
        }
        f.idle = ReadLoad(mon);
    }

    SYSTEM_INFO info;
    GetSystemInfo(&info);
    std::vector<HANDLE> threads;
    for (DWORD i = 0; i < info.dwNumberOfProcessors; ++i) {
        threads.push_back(CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr));
    }
    for (int source = 0; source < 2; ++source) {
        mon.getSystemTimes = source == 0 ? times : nullptr;
        figures[source].busy = ReadLoad(mon);
    }
    busyStop = 1;
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);

    std::printf("%d-bit build; processors (native count / GetSystemInfo): %lu / %lu\n",
                static_cast<int>(sizeof(void*) * 8), mon.processorCount, info.dwNumberOfProcessors);
    const char* const names[2] = {"system times", "native query"};
    const char* const bareNames[2] = {"one bare GetSystemTimes", "two bare native queries"};
    for (int source = 0; source < 2; ++source) {
        const Figures& f = figures[source];
        std::printf("through the %s:\n", names[source]);
        std::printf("  GetUsage:               %.2f us per call (best of %d rounds of %d)\n", f.sample, kRounds, kCalls);
        std::printf("  %s: %.2f us\n", bareNames[source], f.bare);
        std::printf("  ratio:                  %.3f (target at most 1.2)\n", f.sample / f.bare);
        std::printf("  load, machine idle:     %u %%\n", f.idle);
        std::printf("  load, %lu busy threads:  %u %%\n", info.dwNumberOfProcessors, f.busy);
    }
    return 0;
}
