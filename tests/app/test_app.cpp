// The window procedure, start and stop of monitoring, and the tray menu for real: its modal
// loop runs, and the test looks at the open menu from a timer inside that loop.

#include "testlib.h"

#include <tuple>
#include <utility>

namespace {


void Click(LPARAM mouseMessage) { F::Send(WM_TRAYICON, 0, mouseMessage); }

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
