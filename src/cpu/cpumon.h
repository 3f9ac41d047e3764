// The processor load of all processors together, in per cent: from the native
// system-information query on the NT family, from the dynamic performance statistic
// under HKEY_DYN_DATA on the 9x family.
#pragma once

#include "support/raii.h"

#include <windows.h>
#include <cstdint>
#include <memory>

// The record layouts read below (44-byte basic information, processor count at offset 40)
// are those that a 32-bit process sees; the program is built for i686 only.
static_assert(sizeof(void*) == 4, "the native query layouts assume a 32-bit process");

using TQuerySystemInformation = LONG(WINAPI*)(ULONG infoClass, void* buffer, ULONG length, ULONG* returnLength);
using TReadRegistryWord = WORD (*)(HKEY root, const char* subKey, const char* valueName);

struct TRegistryValue {
    bool ok = false;
    DWORD type = 0;
    std::unique_ptr<BYTE[]> data;
    DWORD size = 0;
};

TRegistryValue ReadRegistryValue(HKEY root, const char* subKey, const char* valueName);
// The first two bytes of a REG_BINARY value of two bytes or more, little-endian; else 0.
WORD ReadRegistryWord(HKEY root, const char* subKey, const char* valueName);

// 100 minus the idle share of the elapsed time per processor, rounded half up, in
// 80-bit extended precision; 0..100, and 0 where the division would be undefined.
uint8_t LoadFromDeltas(int64_t idleDelta, int64_t timeDelta, uint8_t processorCount);

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

    // Open so that tests can script the query, the processor count and the registry reads.
    bool startPending = false;
    unique_hmodule ntdllHandle;
    int64_t prevIdleTime = 0;  // 0: no previous sample
    int64_t prevSystemTime = 0;
    uint8_t processorCount = 0;
    TQuerySystemInformation querySystemInformation = nullptr;
    TReadRegistryWord readRegistryWord = ReadRegistryWord;

private:
    uint8_t SampleNt();
    uint8_t Sample9x();
};
