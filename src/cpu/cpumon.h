// The processor load of all processors together, in per cent: on the NT family from the
// system's idle, kernel and user times where the system offers them (XP SP1 and later),
// else from the native system-information query; on the 9x family from the dynamic
// performance statistic under HKEY_DYN_DATA.
#pragma once

#include "support/raii.h"

#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <memory>

using TQuerySystemInformation = LONG(WINAPI*)(ULONG infoClass, void* buffer, ULONG length, ULONG* returnLength);
using TGetSystemTimes = BOOL(WINAPI*)(FILETIME* idleTime, FILETIME* kernelTime, FILETIME* userTime);
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

struct TRegistryValue {
    bool ok = false;
    DWORD type = 0;
    std::unique_ptr<BYTE[]> data;
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

class TCpuMon {
public:
    TCpuMon();
    virtual ~TCpuMon();
    TCpuMon(const TCpuMon&) = delete;
    TCpuMon& operator=(const TCpuMon&) = delete;

    // Makes the next sample a first one, which yields 0 and only records the counters.
    virtual void Reset();
    uint8_t GetUsage();

    // Open so that tests can script the counters, the processor count and the registry reads.
    bool startPending = false;
    unique_hmodule ntdllHandle;
    int64_t prevIdleTime = 0;    // 0: no previous sample
    int64_t prevSystemTime = 0;  // time of day, or with the system times all processor time
    DWORD processorCount = 0;
    TQuerySystemInformation querySystemInformation = nullptr;
    TGetSystemTimes getSystemTimes = nullptr;
    TReadRegistryWord readRegistryWord = ReadRegistryWord;

private:
    uint8_t SampleNt();
    bool QueryNative(int64_t& idleTime, int64_t& systemTime);
    uint8_t Sample9x();
};
