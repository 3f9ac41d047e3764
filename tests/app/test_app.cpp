// The window procedure, start and stop of monitoring, and the tray menu for real: its modal
// loop runs, and the test looks at the open menu from a timer inside that loop.

#include "testlib.h"

#include <tuple>
#include <utility>

namespace {


void Click(LPARAM mouseMessage) { F::Send(WM_TRAYICON, 0, mouseMessage); }

// The timers made coalescable: their period and tolerance.
std::vector<std::pair<UINT, ULONG>> coalescable;
UINT_PTR WINAPI CoalescableTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC procedure, ULONG tolerance) {
    return coalescable.emplace_back(period, tolerance), SetTimer(window, id, period, procedure);
}

// The message filters asked, both refusing: the window (none for the process's), message, action.
std::vector<std::tuple<HWND, UINT, DWORD>> filtered;
BOOL WINAPI FilterWindow(HWND w, UINT m, DWORD action, void* extra) { return filtered.emplace_back(w, m, extra ? 0 : action), FALSE; }
BOOL WINAPI FilterProcess(UINT m, DWORD action) { return filtered.emplace_back(nullptr, m, action), FALSE; }

}  // namespace

TEST_CASE("Monitoring stops and starts in order; other timers, commands out of range and WM_NULL only trim; the commands") {
    char module[MAX_PATH] = {};  // the manifest (this program has Tembix's) brings the common controls 6
    GetModuleFileNameA(GetModuleHandleA("comctl32"), module, sizeof module);
    CHECK(Str(UpperCaseAnsi(module)).find("\\WINSXS\\" + std::string(sizeof(void*) == 8 ? "AMD64" : "X86") +
                                     "_MICROSOFT.WINDOWS.COMMON-CONTROLS_6595B64144CCF1DF_6.") != std::string::npos);
    F f;
    const UINT created = RegisterWindowMessageA("TaskbarCreated");
    // Elevated, the shell's restart arrives only if let through: by Windows 7's filter of the
    // window, else by Vista's of the process, else not at all; a refusal changes nothing else.
    for (int lacks = 0; lacks < 3; ++lacks) {  // nothing, the window's filter, both
        AppSeams.changeWindowMessageFilterEx = lacks < 1 ? FilterWindow : nullptr;
        AppSeams.changeWindowMessageFilter = lacks < 2 ? FilterProcess : nullptr;
        F::ClearRecords();
        StopMonitoring();
        REQUIRE(F::calls.size() == 1);
        CHECK((F::calls[0].action == NIM_DELETE && !F::TimerRunning() && !AppState.sampler && !AppState.canvas.memDC));
        F::ClearRecords(), filtered.clear();
        AppState.taskbarCreatedMsg = 0;  // as on a first start
        StartMonitoring();  // with the program's own icon and a primed sampler, so that the first tick measures
        const decltype(filtered) expected[] = {{{AppState.mainWindow, created, 1}}, {{nullptr, created, 1}}, {}};
        CHECK(filtered == expected[lacks]);
        REQUIRE(F::calls.size() == 1);
        CHECK((F::calls[0].action == NIM_ADD && F::calls[0].iconPixel == kProgramIcon && F::TimerRunning()));
        CHECK((AppState.sampler->prevIdleTime != 0 && AppState.taskbarCreatedMsg == created));
    }
    F::ScriptSampler();
    AppState.taskbarCreatedMsg = 0;  // as before it is registered
    for (const MSG& m : {MSG{nullptr, WM_TIMER, 2}, MSG{nullptr, WM_COMMAND, 255}, MSG{nullptr, WM_COMMAND, 262},
                         MSG{nullptr, WM_COMMAND, 0x10000 + 255}, MSG{nullptr, WM_NULL}, MSG{nullptr, WM_TRAYICON, 0, WM_MOUSEMOVE}}) {
        F::Send(m.message, m.wParam, m.lParam);
    }
    PlatformId = VER_PLATFORM_WIN32_WINDOWS;  // the 9x family has no working set to trim
    F::Send(WM_COMMAND, 255);
    PlatformId = VER_PLATFORM_NT;
    CHECK((F::calls.empty() && F::samples == 0 && F::shellOpens.empty() && F::TimerRunning() && F::trims == 3));
    CHECK_FALSE(PumpMessagesFor(100));
    // Help opens the text file, none where the program's folder is unknown; Restart starts the
    // program's file with /r; Exit and closing end the loop.
    F::ClearRecords();
    F::Send(WM_COMMAND, IDM_HELP);
    const TWide folder = std::exchange(AppState.exeDir, TWide());
    F::Send(WM_COMMAND, IDM_HELP), AppState.exeDir = folder;
    CHECK(F::shellOpens == std::vector<std::wstring>{L"open C:\\Apps\\Tembix\\Tembix.txt "});
    CHECK_FALSE(PumpMessagesFor(100));
    F::Send(WM_COMMAND, IDM_RESTART);
    CHECK(F::shellOpens.back() == L"start " + Str(Widen(ModuleFileName(nullptr))) + L" /r");
    CHECK(PumpMessagesFor(3000));
    F::Send(WM_COMMAND, IDM_EXIT);
    CHECK(PumpMessagesFor(3000));
    CHECK((IsWindow(AppState.mainWindow) && F::trims == 4));  // a posted WM_DESTROY leaves the window
    F::Send(WM_CLOSE);
    CHECK_FALSE(IsWindow(AppState.mainWindow));
    CHECK(PumpMessagesFor(3000));
}

TEST_CASE("A tray click opens one menu at the pointer, with Pause or Resume, its owner brought to the front past the "
          "foreground lock for that moment only; a choice arrives as the command") {
    F f;
    // From another window of this thread, whose input no thread can join: the system-wide lock is lifted, then put back.
    HWND front = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    DWORD saved = 0, after = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(123456), 0);
    for (const bool paused : {false, true}) {
        F::ClearRecords();
        SetForegroundWindow(front);
        SetCursorPos(300, 200);
        RECT rect = {};
        HMENU menu = nullptr;
        int menus = 0;
        CHECK(RunModal([paused] { Click(paused ? WM_RBUTTONUP : WM_LBUTTONUP); }, [&] {
            Click(WM_LBUTTONUP);  // return at once
            Click(WM_RBUTTONUP);
            for (HWND w = FindMenuWindow(); w; w = FindWindowExA(nullptr, w, "#32768", nullptr)) menus += IsWindowVisible(w);
            GetWindowRect(FindMenuWindow(), &rect);
            menu = reinterpret_cast<HMENU>(SendMessageA(FindMenuWindow(), MN_GETHMENU, 0, 0));
            CHECK((menu == AppState.popupMenu && GetMenuItemCount(menu) == 8));
            CHECK(GetMenuItemID(menu, 4) == UINT(paused ? IDM_RESUME : IDM_PAUSE));
            PostMessageA(FindMenuWindow(), WM_CHAR, paused ? 'r' : 'p', 0);  // "&Resume", "&Pause"
        }));
        CHECK((menus == 1 && rect.left == 300 && rect.top == 200));
        PumpMessagesFor(100);
        CHECK((AppState.paused != paused && F::trims == 2 && AppState.popupMenu == nullptr && !IsMenu(menu)));
    }
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &after, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(saved)), 0);
    CHECK(after == 123456);
    DestroyWindow(front);
    for (LPARAM mouse : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MBUTTONUP, WM_CONTEXTMENU}) {
        CAPTURE(mouse);
        bool seen = false;
        RunModal([&] { Click(mouse); }, [&] {
            if ((seen = IsWindowVisible(FindMenuWindow()))) EndMenu();
        }, 10, 2000);
        PumpMessagesFor(30);  // lets the timer run when no menu loop did
        CHECK_FALSE(seen);
    }
}

// One step of what a user meets: L/U lock and unlock the session, D/C disconnect and connect it;
// 0, 1, 2 the display off, on and dimmed, M the console's monitor off (another setting), 3 off in
// three bytes; P/R Pause and Resume; T a tick; S the shell's restart; O the Options dialog open
// across a lock and an unlock.
void Step(char step) {
    const struct { GUID setting; DWORD length, state; } display = {  // POWERBROADCAST_SETTING
        step == 'M' ? kMonitorPowerOn : kSessionDisplayStatus, step == '3' ? 3u : 4u, std::strchr("M3", step) ? 0u : DWORD(step - '0')};
    const WPARAM session = step == 'L' ? WTS_SESSION_LOCK : step == 'U' ? WTS_SESSION_UNLOCK : step == 'D' ? WTS_REMOTE_DISCONNECT : WTS_REMOTE_CONNECT;
    if (std::strchr("LUDC", step)) F::Send(WM_WTSSESSION_CHANGE, session);
    if (std::strchr("0123M", step)) F::Send(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE_, reinterpret_cast<LPARAM>(&display));
    if (step == 'P' || step == 'R') F::Send(WM_COMMAND, step == 'P' ? IDM_PAUSE : IDM_RESUME);
    if (step == 'T') F::Send(WM_TIMER, IDT_SAMPLE);
    if (step == 'S') F::Send(AppState.taskbarCreatedMsg);
    if (step == 'O') CHECK(RunModal([] { F::Send(WM_COMMAND, IDM_OPTIONS); }, [] {
        Step('L');
        CHECK_FALSE(F::TimerRunning());
        Step('U');
        EndDialog(AppState.optionsDialog, 0);
    }));
}

TEST_CASE("Nobody can see the icon (locked, disconnected, the display off): no tick, no sample; seen again, a fresh one") {
    F f;
    REQUIRE((AppState.sessionLibrary && AppState.displaySetting == &kSessionDisplayStatus && AppState.displayNotify));
    AppSeams.setCoalescableTimer = CoalescableTimer;  // Windows 8's
    const DWORD A = NIM_ADD, M = NIM_MODIFY;
    struct Row {
        const char* steps;
        int samples;
        bool timer;
        std::vector<DWORD> calls;  // to the shell, the last with this tip
        const char* tip;
    };
    const Row rows[] = {
        {"LT", 0, false, {}, ""},                  {"UT", 2, true, {M}, "Tembix: 30%"},  // a fresh sample, then the load
        {"U", 0, true, {}, ""},                    {"0", 0, false, {}, ""},  {"2", 1, true, {}, ""},  {"1", 0, true, {}, ""},
        {"M", 0, true, {}, ""},                    {"3", 0, true, {}, ""},   // another setting; too short
        {"DP", 0, false, {M}, "Tembix: paused"},   {"C", 0, false, {}, ""},  // nothing starts while paused
        {"R", 1, true, {}, ""},                    {"LPR", 0, false, {M}, "Tembix: paused"},  // Resume while locked
        {"S", 0, false, {A}, "Tembix"},            // the program's icon, no sample
        {"s", 0, false, {A, A, M}, "Tembix"},      // another program's broadcast, the icon still there: kept
        {"UT", 2, true, {M}, "Tembix: 30%"},       {"O", 1, true, {}, ""},
    };
    F::load = 30;
    for (const Row& row : rows) {
        CAPTURE(std::string(row.steps));
        F::ClearRecords();
        if (*row.steps == 's') F::results = {FALSE, FALSE}, F::errors = {0, ERROR_INVALID_PARAMETER}, Step('S');
        for (const char* step = row.steps; *step; ++step) Step(*step);
        std::vector<DWORD> calls;
        for (const ShellCall& call : F::calls) calls.push_back(call.action);
        CHECK((F::samples == row.samples && F::TimerRunning() == row.timer && calls == row.calls));
        CHECK((calls.empty() || std::string(F::calls.back().data.szTip) == row.tip));
        CHECK_FALSE(PeekMessageA(nullptr, AppState.mainWindow, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));  // it keeps running
    }
    CHECK(coalescable == std::vector<std::pair<UINT, ULONG>>(5, {1000, 100}));  // each restart of the tick
    F::Send(WM_DESTROY);  // lets go of both while the window exists
    CHECK((!AppState.sessionLibrary && !AppState.displayNotify && PumpMessagesFor(100)));
    F::windowsVersion = 0x0601, RegisterForUnseen(AppState.mainWindow);  // before Windows 8, the console's monitor
    CHECK(AppState.displaySetting == &kMonitorPowerOn);
    F::windowsVersion = 0x0A00;
}
