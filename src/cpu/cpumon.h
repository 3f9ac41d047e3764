// The processor load of all processors together, in per cent. On the NT family from the
// processors' idle time against their kernel and user time, by the best source the system
// has (every processor group from Windows 7 on; the system times from XP SP1; the native
// query before that); on the 9x family from the dynamic performance statistic under
// HKEY_DYN_DATA.
#pragma once

#include "support/raii.h"

#include <windows.h>
#include <cstddef>
#include <cstdint>

using TQuerySystemInformation = LONG(WINAPI*)(ULONG infoClass, void* buffer, ULONG length, ULONG* returnLength);
using TQuerySystemInformationEx = LONG(WINAPI*)(ULONG infoClass, void* input, ULONG inputLength, void* buffer,
                                                ULONG length, ULONG* returnLength);
using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW* version);
using TGetSystemTimes = BOOL(WINAPI*)(FILETIME* idleTime, FILETIME* kernelTime, FILETIME* userTime);
using TGetActiveProcessorGroupCount = WORD(WINAPI*)();
using TReadRegistryWord = WORD (*)(HKEY root, const char* subKey, const char* valueName);

// The native basic-information record as a process of this build receives it: it grows
// with the pointer size. Only the processor count is read.
struct TSystemBasicInformation {
    ULONG reserved[7];
    ULONG_PTR addressesAndAffinity[3];
    BYTE numberOfProcessors;
};
static_assert(sizeof(void*) == 8 ? sizeof(TSystemBasicInformation) == 64 &&
                                       offsetof(TSystemBasicInformation, numberOfProcessors) == 56
                                 : sizeof(TSystemBasicInformation) == 44 &&
                                       offsetof(TSystemBasicInformation, numberOfProcessors) == 40,
              "the basic-information record: 44 bytes with the count at 40, or 64 with it at 56");

// Per processor, the same on both builds: class 8 holds idle, kernel (idle included) and
// user time; class 42 holds the idle time first. Both are 48 bytes.
constexpr ULONG kProcessorPerformanceClass = 8;
constexpr ULONG kProcessorIdleClass = 42;
constexpr ULONG kProcessorRecordSize = 48;
constexpr ULONG kMaxGroupProcessors = 64;
struct TProcessorRecord {
    int64_t idle, kernel, user, more[3];
};
static_assert(sizeof(TProcessorRecord) == kProcessorRecordSize, "a processor's record");
struct TProcessorTimes {
    int64_t idle, all;
};
constexpr uint8_t kNoBusiest = 255;  // no figure for the busiest processor
// Windows 11 22H2 and 23H2 report an inflated idle time in class 8; 24H2 (26100) fixed it.
constexpr DWORD kIdleFaultFirstBuild = 22621;
constexpr DWORD kIdleFaultEndBuild = 26100;

struct TRegistryValue {
    bool ok = false;
    DWORD type = 0;
    unique_alloc<BYTE> data;
    DWORD size = 0;
};

TRegistryValue ReadRegistryValue(HKEY root, const char* subKey, const char* valueName);
// The first two bytes of a REG_BINARY value of two bytes or more, little-endian; else 0.
WORD ReadRegistryWord(HKEY root, const char* subKey, const char* valueName);

// 100 minus the idle share of the elapsed time per processor, rounded half up, in 80-bit
// extended precision whatever the thread's precision setting; 0..100, and 0 where the
// division would be undefined.
uint8_t LoadFromDeltas(int64_t idleDelta, int64_t timeDelta, DWORD processorCount);

constexpr LONG STATUS_INFO_LENGTH_MISMATCH_ = static_cast<LONG>(0xC0000004);

// The system functions a sampler may call, each looked up at run time and null where the
// system lacks it.
struct TSamplerApi {
    TQuerySystemInformation querySystemInformation = nullptr;      // ntdll, every NT system
    TQuerySystemInformationEx querySystemInformationEx = nullptr;  // ntdll, 7 and Server 2008 R2 on
    TRtlGetVersion rtlGetVersion = nullptr;                        // ntdll, the true version
    TGetSystemTimes getSystemTimes = nullptr;                      // kernel32, XP SP1 on
    TGetActiveProcessorGroupCount getActiveProcessorGroupCount = nullptr;  // kernel32, 7 on
    TReadRegistryWord readRegistryWord = ReadRegistryWord;         // the 9x statistic
};
TSamplerApi LookUpSamplerApi(HMODULE ntdll);

// Where a new sampler finds its functions; tests put a scripted machine here.
struct TSamplerSeams {
    TSamplerApi (*lookUp)(HMODULE ntdll) = LookUpSamplerApi;
};
extern TSamplerSeams SamplerSeams;

enum class TLoadSource { None, Groups, SystemTimes, NativeQuery, Statistic };

class TCpuMon {
public:
    // Chooses the source once: the first in the order above that the system has and that
    // answers its first query.
    TCpuMon();
    virtual ~TCpuMon();
    TCpuMon(const TCpuMon&) = delete;
    TCpuMon& operator=(const TCpuMon&) = delete;

    // Makes the next sample a first one, which yields 0 and only records the counters.
    virtual void Reset();
    // The load of all processors together; sets `busiest` for the same moment.
    uint8_t GetUsage();
    // The load of the busiest single processor in the last sample: from every group's records
    // from Windows 7 on, from class 8 beside the system times; kNoBusiest with one processor,
    // on the other sources, on a first sample, or without memory for the processors' counters.
    uint8_t busiest = kNoBusiest;

    // Open so that tests can see what was chosen and script the registry reads.
    bool startPending = false;
    unique_hmodule ntdllHandle;
    int64_t prevIdleTime = 0;    // 0: no previous sample
    int64_t prevSystemTime = 0;  // time of day, or all processor time (kernel + user)
    DWORD processorCount = 0;    // the native query's count, which only that source uses
    TSamplerApi api;
    TLoadSource source = TLoadSource::None;
    WORD groupCount = 0;        // active groups at the last good tick
    DWORD groupProcessors = 0;  // and the processors they answered for
    bool askIdleClass = false;  // where class 8's idle time is wrong
    // One group's records: a group holds at most 64 processors.
    TProcessorRecord performanceRecords[kMaxGroupProcessors];
    TProcessorRecord idleRecords[kMaxGroupProcessors];
    // Each processor's counters at the last sample, 64 slots a group; from malloc, as any memory.
    unique_alloc<TProcessorTimes> processorTimes;
    size_t processorSlots = 0;
    DWORD processorsSeen = 0;     // by the last sample that counted them
    bool processorsKnown = false;  // the slots hold the last sample's counters

private:
    void ChooseSource();
    bool Query(int64_t& idleTime, int64_t& systemTime);
    bool QueryGroups(int64_t& idleTime, int64_t& systemTime);
    bool QueryNative(int64_t& idleTime, int64_t& systemTime);
    void QueryProcessors();
    bool StartProcessors(size_t slots);
    void CountGroup(const TProcessorRecord* idleOf, ULONG processors, size_t firstSlot, int64_t& idle, int64_t& all);
    void EndProcessors(DWORD processors);
    // This sample's busiest processor so far: the one with the least idle share, by its deltas.
    bool counting_ = false;  // against counters of the last sample
    DWORD counted_ = 0;
    int64_t busiestIdle_ = 0, busiestTime_ = 0;
    uint8_t SampleNt();
    uint8_t Sample9x();
};
