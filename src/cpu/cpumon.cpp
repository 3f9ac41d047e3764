#include "cpumon.h"

#include "support/support.h"

#include <cstdlib>
#include <cstring>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64, "the load arithmetic needs the x87 extended type");

TSamplerSeams SamplerSeams;

// The deleting destructor that a virtual destructor brings names operator delete, though the
// program never deletes with it (it allocates with malloc, raii.h). Defined here on free, as
// the library's operator new takes from malloc, so that the library's is not linked.
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

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
constexpr size_t kGroupRecordsSize = kMaxGroupProcessors * kProcessorRecordSize;

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

int64_t Sum(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }

// The records in an answer of `returned` bytes, never more than the buffer of 64 holds.
ULONG RecordsIn(ULONG returned) { return (returned < kGroupRecordsSize ? returned : kGroupRecordsSize) / kProcessorRecordSize; }

// One group's records of a class into the buffer of 64; `processors`: the records it answered,
// never more than the buffer holds. A refused group, a too-short buffer included, fails.
bool QueryGroup(TQuerySystemInformationEx query, ULONG infoClass, USHORT group, TProcessorRecord* records, ULONG& processors) {
    ULONG returned = 0;
    if (query(infoClass, &group, sizeof group, records, kGroupRecordsSize, &returned) != 0) return false;
    processors = RecordsIn(returned);
    return true;
}

// idle / time < bestIdle / bestTime, both times positive: multiplied out in integers where
// every figure fits 32 bits (a tick's do: seven minutes), else in doubles (after a sleep).
bool LessIdle(int64_t idle, int64_t time, int64_t bestIdle, int64_t bestTime) {
    if (((idle | time | bestIdle | bestTime) >> 32) == 0) {
        return uint64_t(uint32_t(idle)) * uint32_t(bestTime) < uint64_t(uint32_t(bestIdle)) * uint32_t(time);
    }
    return static_cast<double>(idle) * static_cast<double>(bestTime) < static_cast<double>(bestIdle) * static_cast<double>(time);
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
    unique_alloc<BYTE> data = AllocateBytes(size);
    if (!data) return result;  // as a failed read
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
    return static_cast<WORD>(value.data.get()[0] | (value.data.get()[1] << 8));
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

TSamplerApi LookUpSamplerApi(HMODULE ntdll) {
    TSamplerApi api;
    LookUpFunction(api.querySystemInformation, ntdll, "NtQuerySystemInformation");
    LookUpFunction(api.querySystemInformationEx, ntdll, "NtQuerySystemInformationEx");
    LookUpFunction(api.rtlGetVersion, ntdll, "RtlGetVersion");
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    LookUpFunction(api.getSystemTimes, kernel, "GetSystemTimes");
    LookUpFunction(api.getActiveProcessorGroupCount, kernel, "GetActiveProcessorGroupCount");
    return api;
}

TCpuMon::TCpuMon() {
    startPending = true;
    if (PlatformId != VER_PLATFORM_NT) {  // the 9x statistic starts with the first sample
        api = SamplerSeams.lookUp(nullptr);
        source = TLoadSource::Statistic;
        return;
    }
    ntdllHandle.reset(LoadSystemLibrary("ntdll.dll"));
    api = SamplerSeams.lookUp(ntdllHandle.get());
    Reset();
    ChooseSource();
}

TCpuMon::~TCpuMon() {
    if (PlatformId != VER_PLATFORM_NT) api.readRegistryWord(HKEY_DYN_DATA, kStopStat, kUsageValue);
}

void TCpuMon::ChooseSource() {
    int64_t idle = 0, time = 0;
    // Every processor group, from Windows 7 on. The system times cover only the calling
    // thread's group above 64 processors, and on Windows 11 22H2 and 23H2 they are summed
    // from class 8's inflated idle time.
    if (api.querySystemInformationEx && api.getActiveProcessorGroupCount) {
        OSVERSIONINFOW version = {};
        version.dwOSVersionInfoSize = sizeof version;
        askIdleClass = api.rtlGetVersion && api.rtlGetVersion(&version) == 0 &&
                       version.dwBuildNumber >= kIdleFaultFirstBuild && version.dwBuildNumber < kIdleFaultEndBuild;
        source = TLoadSource::Groups;
        if (Query(idle, time)) return;
        if (askIdleClass) {  // class 42 refused, perhaps: class 8 alone, then
            askIdleClass = false;
            if (Query(idle, time)) return;
        }
        source = TLoadSource::None;
    }
    if (api.getSystemTimes) {
        source = TLoadSource::SystemTimes;
        if (Query(idle, time)) return;
    }
    // The last source left, taken even when its first query fails: a later one may answer.
    source = api.querySystemInformation ? TLoadSource::NativeQuery : TLoadSource::None;
    TSystemBasicInformation basic = {};
    if (api.querySystemInformation && api.querySystemInformation(kBasicInformation, &basic, sizeof basic, nullptr) == 0) {
        processorCount = basic.numberOfProcessors;
    }
}

void TCpuMon::Reset() {
    if (PlatformId != VER_PLATFORM_NT) return;
    prevIdleTime = 0;
    prevSystemTime = 0;
    processorsKnown = false;
}

uint8_t TCpuMon::GetUsage() { return PlatformId == VER_PLATFORM_NT ? SampleNt() : Sample9x(); }

bool TCpuMon::Query(int64_t& idleTime, int64_t& systemTime) {
    switch (source) {
        case TLoadSource::Groups: return QueryGroups(idleTime, systemTime);
        case TLoadSource::SystemTimes: {
            FILETIME idle = {}, kernel = {}, user = {};
            if (!api.getSystemTimes(&idle, &kernel, &user)) return false;
            idleTime = AsInt64(idle);
            systemTime = Sum(AsInt64(kernel), AsInt64(user));
            QueryProcessors();
            return true;
        }
        case TLoadSource::NativeQuery: return QueryNative(idleTime, systemTime);
        default: return false;
    }
}

// Room for the counters of `slots` processors; the busiest is counted against the last
// sample's counters only where they are all there.
bool TCpuMon::StartProcessors(size_t slots) {
    counted_ = 0;
    busiestIdle_ = busiestTime_ = 0;
    if (slots > processorSlots) {
        processorTimes = AllocateArray<TProcessorTimes>(slots);  // the old ones go first: no realloc
        processorSlots = processorTimes ? slots : 0;
        processorsKnown = false;
    }
    counting_ = processorsKnown && processorSlots;
    processorsKnown = false;  // until every slot holds this sample's counters
    return processorSlots != 0;
}

// Sums a group's records (`performanceRecords`, the idle times from `idleOf`) into idle and
// all, and keeps each processor's counters in its slot from firstSlot on; against the last
// ones, the least idle share so far is the busiest. A processor that had no time counts 0, as
// its share cannot be told.
void TCpuMon::CountGroup(const TProcessorRecord* idleOf, ULONG processors, size_t firstSlot, int64_t& idle, int64_t& all) {
    TProcessorTimes* last = processorSlots ? processorTimes.get() + firstSlot : nullptr;
    for (ULONG i = 0; i < processors; ++i) {
        // Kernel time includes idle time: kernel plus user is all the processor's time.
        const int64_t processorAll = Sum(performanceRecords[i].kernel, performanceRecords[i].user), processorIdle = idleOf[i].idle;
        all = Sum(all, processorAll);
        idle = Sum(idle, processorIdle);
        if (!last) continue;
        const int64_t idleDelta = Difference(processorIdle, last[i].idle), timeDelta = Difference(processorAll, last[i].all);
        last[i] = {processorIdle, processorAll};
        if (!counting_) continue;
        ++counted_;
        if (timeDelta > 0 && (busiestTime_ == 0 || LessIdle(idleDelta, timeDelta, busiestIdle_, busiestTime_))) {
            busiestIdle_ = idleDelta;
            busiestTime_ = timeDelta;
        }
    }
}

// A sample that counted another number of processors than the last is a first one for them.
void TCpuMon::EndProcessors(DWORD processors) {
    if (processors != processorsSeen) counting_ = false;
    processorsSeen = processors;
    processorsKnown = true;
}

// Each processor's counters beside the system times, from class 8 of the native query (the
// calling thread's group): for the busiest only, so its failure leaves the total alone.
void TCpuMon::QueryProcessors() {
    ULONG returned = 0;
    if (!api.querySystemInformation || !StartProcessors(kMaxGroupProcessors) ||
        api.querySystemInformation(kProcessorPerformanceClass, performanceRecords, kGroupRecordsSize, &returned) != 0) {
        return;
    }
    const ULONG processors = RecordsIn(returned);
    int64_t idle = 0, all = 0;  // the system times' already
    CountGroup(performanceRecords, processors, 0, idle, all);
    EndProcessors(processors);
}

// The two classes of one group back to back, idle first, so that they describe the same
// moment; a tick whose answers cover different processors fails. Processors can be added
// while the system runs: a tick that finds another number of groups or of processors is a
// first sample, since a new processor's counters hold its whole life.
bool TCpuMon::QueryGroups(int64_t& idleTime, int64_t& systemTime) {
    int64_t idle = 0, all = 0;
    const WORD groups = api.getActiveProcessorGroupCount();
    StartProcessors(size_t(groups) * kMaxGroupProcessors);
    ULONG processorsInAll = 0;
    for (USHORT group = 0; group < groups; ++group) {
        ULONG idleProcessors = 0, processors = 0;
        if (askIdleClass && !QueryGroup(api.querySystemInformationEx, kProcessorIdleClass, group, idleRecords, idleProcessors)) {
            return false;
        }
        if (!QueryGroup(api.querySystemInformationEx, kProcessorPerformanceClass, group, performanceRecords, processors)) {
            return false;
        }
        if (askIdleClass && idleProcessors != processors) return false;
        CountGroup(askIdleClass ? idleRecords : performanceRecords, processors, size_t(group) * kMaxGroupProcessors, idle, all);
        processorsInAll += processors;
    }
    if (groups == 0) return false;
    if (groups != groupCount || processorsInAll != groupProcessors) Reset();
    groupCount = groups;
    groupProcessors = processorsInAll;
    if (processorSlots) EndProcessors(processorsInAll);
    idleTime = idle;
    systemTime = all;
    return true;
}

bool TCpuMon::QueryNative(int64_t& idleTime, int64_t& systemTime) {
    BYTE timeOfDay[kTimeOfDayLength] = {};
    if (api.querySystemInformation(kTimeOfDayInformation, timeOfDay, kTimeOfDayLength, nullptr) != 0) return false;

    BYTE performance[kPerformanceRetryLength] = {};
    LONG status = api.querySystemInformation(kPerformanceInformation, performance, kPerformanceLength, nullptr);
    if (status == STATUS_INFO_LENGTH_MISMATCH_) {
        std::memset(performance, 0, sizeof performance);
        status = api.querySystemInformation(kPerformanceInformation, performance, kPerformanceRetryLength, nullptr);
    }
    if (status != 0) return false;
    idleTime = ReadInt64(performance + kIdleTimeOffset);
    systemTime = ReadInt64(timeOfDay + kSystemTimeOffset);
    return true;
}

uint8_t TCpuMon::SampleNt() {
    int64_t idleTime = 0, systemTime = 0;
    busiest = kNoBusiest;
    counted_ = 0;
    if (!Query(idleTime, systemTime)) return 0;
    // Only the native query's time is the clock's, which needs the count; the other sources'
    // kernel and user times are sums over the same processors as their idle time.
    const DWORD processors = source == TLoadSource::NativeQuery ? processorCount : 1;
    uint8_t load = 0;
    if (prevIdleTime != 0) {
        load = LoadFromDeltas(Difference(idleTime, prevIdleTime), Difference(systemTime, prevSystemTime), processors);
    }
    // Both figures from the same moment, and on a first sample neither.
    if (prevIdleTime != 0 && counting_ && counted_ > 1) busiest = LoadFromDeltas(busiestIdle_, busiestTime_, 1);
    prevIdleTime = idleTime;
    prevSystemTime = systemTime;
    return load;
}

uint8_t TCpuMon::Sample9x() {
    if (startPending) {
        api.readRegistryWord(HKEY_DYN_DATA, kStartStat, kUsageValue);
        startPending = false;
    }
    const WORD usage = api.readRegistryWord(HKEY_DYN_DATA, kStatData, kUsageValue);
    const uint8_t lowByte = static_cast<uint8_t>(usage & 0xFF);
    return lowByte > 100 ? 100 : lowByte;
}
