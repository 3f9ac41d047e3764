#include "testlib.h"

namespace {

constexpr int64_t kSecond = 10000000;  // in 100-nanosecond units
constexpr LONG kUnsuccessful = static_cast<LONG>(0xC0000001), kInvalidClass = static_cast<LONG>(0xC0000003),
               kInvalidParameter = static_cast<LONG>(0xC000000D);

// A Windows machine as Microsoft and the public reports describe it (docs/load.md), not as the
// sampler reads it: processors in groups of at most 64, each busy a share of every second.
// Class 8 gives each one's idle, kernel (idle included) and user time, class 42 its idle time;
// 22H2 and 23H2 inflate class 8's idle time, and what is summed from it. A 32-bit process sees
// 32 processors of a group at most; the plain native query and, above 64 processors,
// GetSystemTimes answer for the calling thread's group, here the first.
struct Times { int64_t idle = 0, kernel = 0, user = 0; };
enum Lacks { kNone = 0, kNoGroups = 1, kNoSystemTimes = 2, kView32 = 4, kRefusesGroups = 8, kRefusesIdle = 16, kLongRecord = 32,
             kAddsGroup = 64, kAddsProcessor = 128 };  // while the program runs: one processor, always busy
struct Machine {
    DWORD build;
    std::vector<std::vector<int>> busy;  // per cent, by group and processor
    int traits;                          // of Lacks: no group query before 7, no system times before XP SP1
    LONG failing = 0;                    // the status every query answers, while set
    size_t idleShortBy = 0;              // processors that class 42 leaves out
    int64_t clock = 5000 * kSecond;
    std::vector<std::vector<Times>> times;
    std::set<ULONG> asked;  // classes asked of the group query
    std::vector<std::pair<ULONG, ULONG>> nativeCalls;  // class and length
} machine = {};

Machine On(DWORD build, std::vector<std::vector<int>> busy, int traits = kNone) {
    Machine m = {build, busy, traits};
    for (const auto& group : busy) m.times.emplace_back(group.size(), Times{1000 * kSecond, 3000 * kSecond, 2000 * kSecond});
    return m;
}
std::vector<int> Group(size_t processors, int busy, size_t more = 0, int busyMore = 0) {
    std::vector<int> group(processors, busy);
    return group.resize(processors + more, busyMore), group;
}
bool Has(int trait) { return machine.traits & trait; }
bool Inflated() { return machine.build >= 22621 && machine.build < 26100; }
size_t Shown(size_t group) { return std::min<size_t>(machine.busy[group].size(), Has(kView32) ? 32 : 64); }
int64_t Idle8(const Times& t) { return Inflated() ? 10 * t.idle : t.idle; }

void Tick() {  // one second
    machine.clock += kSecond;
    for (size_t g = 0; g < machine.busy.size(); ++g) {
        for (size_t i = 0; i < machine.busy[g].size(); ++i) {
            const int64_t idle = (100 - machine.busy[g][i]) * kSecond / 100, work = kSecond - idle;
            Times& t = machine.times[g][i];
            t.idle += idle, t.kernel += idle + work / 2, t.user += work - work / 2;
        }
    }
}

// A group's records of class 8 or 42, as both queries answer them.
LONG Records(ULONG infoClass, USHORT group, void* buffer, ULONG length, ULONG* returned) {
    if ((infoClass != 8 && infoClass != 42) || (infoClass == 42 && Has(kRefusesIdle))) return kInvalidClass;
    if (group >= machine.busy.size()) return kInvalidParameter;
    const size_t n = Shown(group) - (infoClass == 42 ? machine.idleShortBy : 0);
    *returned = static_cast<ULONG>(n * 48);
    if (length < n * 48) return STATUS_INFO_LENGTH_MISMATCH_;
    for (size_t i = 0; i < n; ++i) {
        const Times& t = machine.times[group][i];
        const int64_t performance[6] = {Idle8(t), t.kernel, t.user, 7, 7, 7}, idle[6] = {t.idle, 7, 7, 7, 7, 7};
        std::memcpy(static_cast<BYTE*>(buffer) + i * 48, infoClass == 8 ? performance : idle, 48);
    }
    return 0;
}
LONG WINAPI QueryEx(ULONG infoClass, void* input, ULONG inputLength, void* buffer, ULONG length, ULONG* returned) {
    machine.asked.insert(infoClass);
    USHORT group = 0;
    if (inputLength != sizeof group) return kInvalidParameter;
    std::memcpy(&group, input, sizeof group);
    if (machine.failing || Has(kRefusesGroups)) return kUnsuccessful;
    return Records(infoClass, group, buffer, length, returned);
}

// Sums over the first groups: the first is the calling thread's.
Times Sum(size_t groups) {
    Times sum;
    for (size_t g = 0; g < groups; ++g) {
        for (size_t i = 0; i < machine.busy[g].size(); ++i) {
            const Times& t = machine.times[g][i];
            sum.idle += Idle8(t), sum.kernel += t.kernel, sum.user += t.user;
        }
    }
    return sum;
}

LONG WINAPI NativeQuery(ULONG infoClass, void* buffer, ULONG length, ULONG* returnLength) {
    machine.nativeCalls.emplace_back(infoClass, length);
    if (machine.failing && infoClass != 0) return machine.failing;
    if (infoClass == 8) return Records(8, 0, buffer, length, returnLength);  // the calling thread's group
    if (returnLength) return kInvalidParameter;  // never passed by the sampler
    const int64_t idle = Sum(1).idle;
    if (infoClass == 0) static_cast<TSystemBasicInformation*>(buffer)->numberOfProcessors = static_cast<BYTE>(Shown(0));
    if (infoClass == 3) std::memcpy(static_cast<BYTE*>(buffer) + 8, &machine.clock, 8);
    if (infoClass == 2 && length < (Has(kLongRecord) ? 344u : 312u)) return STATUS_INFO_LENGTH_MISMATCH_;
    if (infoClass == 2) std::memcpy(buffer, &idle, 8);
    return 0;
}

FILETIME AsFileTime(int64_t value) { return {static_cast<DWORD>(value), static_cast<DWORD>(uint64_t(value) >> 32)}; }
BOOL WINAPI SystemTimes(FILETIME* idle, FILETIME* kernel, FILETIME* user) {
    size_t processors = 0;
    for (const auto& group : machine.busy) processors += group.size();
    const Times sum = Sum(processors > 64 ? 1 : machine.busy.size());
    *idle = AsFileTime(sum.idle), *kernel = AsFileTime(sum.kernel), *user = AsFileTime(sum.user);
    return !machine.failing;
}
WORD WINAPI GroupCount() { return static_cast<WORD>(machine.busy.size()); }
LONG WINAPI Version(OSVERSIONINFOW* version) {
    version->dwBuildNumber = machine.build;
    return 0;
}

TSamplerApi Scripted(HMODULE) {
    TSamplerApi api;
    api.querySystemInformation = NativeQuery;
    api.rtlGetVersion = Version;
    if (!Has(kNoGroups)) api.querySystemInformationEx = QueryEx, api.getActiveProcessorGroupCount = GroupCount;
    if (!Has(kNoSystemTimes)) api.getSystemTimes = SystemTimes;
    return api;
}

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

TEST_CASE("Worked loads, clamped; undefined divisions give 0 and raise no x87 flag; 64-bit precision whatever the caller's") {
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
        {1, 2500000, 0, 0},           {1, 0, 0, 0},  {0, 2500000, kSecond, 0},  // no time passed; no count
    };
    asm volatile("fnclex");
    for (const Row& row : rows) {
        CAPTURE(row.idleDelta);
        CHECK(LoadFromDeltas(row.idleDelta, row.timeDelta, row.processors) == row.expected);
    }
    CHECK((X87(true) & 0x05) == 0);  // neither invalid operation nor division by zero
    // 100 - 49.5000000000000001 + 0.5 lies just below 51 at 64 bits; 64-bit Windows starts
    // threads at 53, which is put back.
    const unsigned short saved = X87(false), doublePrecision = (saved & ~0x0300) | 0x0200;
    asm volatile("fldcw %0" : : "m"(doublePrecision));
    volatile int64_t idle = 495000000000000001, time = 1000000000000000000;
    const uint8_t load = LoadFromDeltas(idle, time, 1);
    const unsigned short after = X87(false);
    asm volatile("fldcw %0" : : "m"(saved));
    CHECK((load == 50 && after == doublePrecision));
}

TEST_CASE("One table of machines, and Wine: each shows the load of the processors it lets the program see") {
    using S = TLoadSource;
    struct Row {
        const char* name;
        Machine machine;
        S source;
        int load;
        std::set<ULONG> asked;
        int busiest;     // the busiest processor's load; kNoBusiest: none
        int grown = -1;  // the load once a processor was added
    };
    const int none = kNoBusiest;
    const Row rows[] = {
        {"128 in two groups, the second busy", On(26100, {Group(64, 0), Group(64, 100)}), S::Groups, 50, {8}, 100},
        {"256 in four groups", On(26100, {Group(64, 0), Group(64, 0), Group(64, 100), Group(64, 100)}), S::Groups, 50, {8}, 100},
        {"a 32-bit view of 48: its 32", On(19045, {Group(32, 50, 16, 100)}, kView32), S::Groups, 50, {8}, 50},
        {"22H2: class 8's idle inflated", On(22631, {Group(8, 30)}), S::Groups, 30, {42, 8}, 30},
        {"22H2 refusing class 42: class 8 alone", On(22621, {Group(8, 95)}, kRefusesIdle), S::Groups, 50, {42, 8}, 50},
        {"22H2, two groups at different loads", On(22631, {Group(8, 20), Group(8, 80)}), S::Groups, 50, {42, 8}, 80},
        {"22H2, the busiest the last of the second group", On(22631, {Group(8, 10), Group(7, 10, 1, 90)}), S::Groups, 15, {42, 8}, 90},
        {"a group added", On(26100, {Group(4, 25)}, kAddsGroup), S::Groups, 25, {8}, 25, 40},
        {"22H2, a processor added to group 0", On(22631, {Group(4, 50)}, kAddsProcessor), S::Groups, 50, {42, 8}, 50, 60},
        {"24H2", On(26100, {Group(8, 30)}), S::Groups, 30, {8}, 30},
        {"Windows 10", On(19045, {Group(8, 30)}), S::Groups, 30, {8}, 30},
        {"a group query refused (Wine 8): class 8 beside the system times", On(19045, {Group(8, 30, 1, 70)}, kRefusesGroups), S::SystemTimes, 34, {8}, 70},
        {"XP SP2", On(2600, {Group(2, 30)}, kNoGroups), S::SystemTimes, 30, {}, 30},
        {"Vista, one processor", On(6002, {Group(1, 40)}, kNoGroups), S::SystemTimes, 40, {}, none},
        {"2000, a 344-byte record", On(2195, {Group(2, 30)}, kNoGroups | kNoSystemTimes | kLongRecord), S::NativeQuery, 30, {}, none},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        machine = row.machine;
        SamplerSeams.lookUp = Scripted;
        TCpuMon mon;
        machine.failing = 0;
        CHECK((mon.source == row.source && mon.GetUsage() == 0 && mon.busiest == none));  // a first sample
        Tick();
        CHECK((mon.GetUsage() == row.load && mon.busiest == row.busiest));
        machine.failing = kUnsuccessful;  // a failed tick gives 0; the next measures from the last good one
        Tick();
        CHECK((mon.GetUsage() == 0 && mon.busiest == none));
        machine.failing = 0;
        Tick();
        CHECK(mon.GetUsage() == row.load);
        machine.idleShortBy = 1;  // the two classes disagree: that tick fails
        Tick();
        CHECK(mon.GetUsage() == (row.asked.count(42) && !(row.machine.traits & kRefusesIdle) ? 0 : row.load));
        machine.idleShortBy = 0;
        if (row.grown >= 0) {  // its counters hold its whole life: a first sample, then every processor
            const Times life = {7000 * kSecond, 9000 * kSecond, 500 * kSecond};
            if (Has(kAddsGroup)) machine.busy.push_back({100}), machine.times.push_back({life});
            else machine.busy[0].push_back(100), machine.times[0].push_back(life);
            for (const int load : {0, row.grown}) {
                Tick();
                CHECK((mon.GetUsage() == load && mon.busiest == (load ? 100 : none)));
            }
        }
        CHECK(machine.asked == row.asked);
        mon.Reset();
        CHECK(mon.GetUsage() == 0);
    }
    CHECK((machine.nativeCalls.back() == std::make_pair(2ul, 512ul) && machine.nativeCalls.at(1).first == 3));
    // And Wine's own: the system times, as Wine answers no group query; the native count at this build's offset.
    SamplerSeams = {};
    CHECK(TCpuMon().source == TLoadSource::SystemTimes);
    SamplerSeams.lookUp = [](HMODULE ntdll) {
        TSamplerApi api = LookUpSamplerApi(ntdll);
        api.getSystemTimes = nullptr, api.querySystemInformationEx = nullptr;
        return api;
    };
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    CHECK((TCpuMon().source == TLoadSource::NativeQuery && TCpuMon().processorCount == info.dwNumberOfProcessors));
    SamplerSeams = {};
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
            mon.api.readRegistryWord = RecordingRead;
            for (int sample = 0; sample < 2; ++sample, mon.Reset()) CHECK(mon.GetUsage() == row.load);
        }
        CHECK(reads == std::vector<std::string>{"PerfStats\\StartStat", "PerfStats\\StatData", "PerfStats\\StatData",
                                                "PerfStats\\StopStat"});
    }
    reads.clear();
    std::make_unique<TCpuMon>()->api.readRegistryWord = RecordingRead;  // stopped even when never sampled
    CHECK(reads == std::vector<std::string>{"PerfStats\\StopStat"});
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_DYN_DATA, "PerfStats\\StatData");
    CHECK(TCpuMon().GetUsage() == 0);
    PlatformId = VER_PLATFORM_NT;
}

TEST_CASE("After a sleep or a change of the clock the native query of 2000 measures afresh, not across them") {
    F f;  // the program's window, whose procedure is told
    machine = On(2195, {Group(2, 30)}, kNoGroups | kNoSystemTimes);
    SamplerSeams.lookUp = Scripted;
    (AppState.sampler = Allocate<TCpuMon>())->GetUsage();  // made and primed, as at start
    const int64_t hour = 3600 * kSecond;  // by which the time of day runs on, or is set back, with no idle time counted
    for (const auto& [message, event, jump] : std::initializer_list<std::tuple<UINT, WPARAM, int64_t>>{
             {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, hour}, {WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, hour},
             {WM_TIMECHANGE, 0, hour}, {WM_TIMECHANGE, 0, -hour}}) {
        machine.clock += jump;
        F::Send(message, event), Tick(), F::Send(WM_TIMER, IDT_SAMPLE);
        CHECK(AppState.lastShown == 30);  // a load measured after it, not 100
    }
}
