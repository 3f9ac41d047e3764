// The window procedure, start and stop of monitoring, and the tray menu for real: its modal
// loop runs, and the test looks at the open menu from a timer inside that loop.

#include "testlib.h"

namespace {

using Opens = std::vector<std::pair<TWide, TWide>>;
const COLORREF kProgramIcon = RGB(192, 192, 192);  // the chart's light top-left edge

void Click(LPARAM mouseMessage) { F::Send(WM_TRAYICON, 0, mouseMessage); }

}  // namespace

TEST_CASE("Monitoring stops and starts in order; ticks sample; other timers, commands out of range and WM_NULL only trim") {
    char module[MAX_PATH] = {};  // the manifest (this program has Tembix's) brings the common controls 6
    GetModuleFileNameA(GetModuleHandleA("comctl32"), module, sizeof module);
    CHECK(UpperCaseAnsi(module).find("\\WINSXS\\" + std::string(sizeof(void*) == 8 ? "AMD64" : "X86") +
                                     "_MICROSOFT.WINDOWS.COMMON-CONTROLS_6595B64144CCF1DF_6.") != std::string::npos);
    F f;
    StopMonitoring();
    REQUIRE(F::calls.size() == 1);
    CHECK((F::calls[0].action == NIM_DELETE && !F::TimerRunning() && !AppState.sampler && !AppState.canvas.memDC));
    F::ClearRecords();
    StartMonitoring();  // with the program's own icon and a primed sampler, so that the first tick measures
    REQUIRE(F::calls.size() == 1);
    CHECK((F::calls[0].action == NIM_ADD && F::calls[0].iconPixel == kProgramIcon && F::TimerRunning()));
    CHECK((AppState.sampler->prevIdleTime != 0 && AppState.taskbarCreatedMsg == RegisterWindowMessageA("TaskbarCreated")));
    F::ScriptSampler();
    AppState.taskbarCreatedMsg = 0;  // as before it is registered
    for (const MSG& m : {MSG{nullptr, WM_TIMER, 2}, MSG{nullptr, WM_COMMAND, 255}, MSG{nullptr, WM_COMMAND, 262},
                         MSG{nullptr, WM_COMMAND, 0x10000 + 255}, MSG{nullptr, WM_NULL}, MSG{nullptr, WM_TRAYICON, 0, WM_MOUSEMOVE}}) {
        F::Send(m.message, m.wParam, m.lParam);
    }
    CHECK((F::calls.empty() && F::samples == 0 && F::shellOpens.empty() && F::TimerRunning() && F::trims == 3));
    CHECK_FALSE(F::RunUntilQuit(100));
    char title[16] = {};  // the default procedure answers for every message
    CHECK(F::Send(WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title)) == 6);
    F::load = 42;
    F::Send(WM_TIMER, IDT_SAMPLE);
    CHECK((F::calls.size() == 1 && AppState.lastShown == 42));
}

TEST_CASE("Pause shows the program icon at once, Resume the same load at the next tick; TaskbarCreated puts a load image back") {
    F f;
    F::load = 85;  // red under the threshold of 80
    F::Send(WM_TIMER, IDT_SAMPLE);
    AppState.blinkPhase = true;
    F::ClearRecords();
    F::Send(WM_COMMAND, IDM_PAUSE);
    CHECK((AppState.paused && !F::TimerRunning() && AppState.sampler->prevIdleTime == 0));  // reset
    REQUIRE(F::calls.size() == 1);
    CHECK((F::calls[0].iconPixel == kProgramIcon && F::samples == 0));
    CHECK((AppState.lastShown == kNothingShown && !AppState.blinkPhase && F::trims == 1));
    F::ClearRecords();
    F::Send(WM_COMMAND, IDM_RESUME);
    CHECK((!AppState.paused && F::samples == 1 && F::calls.empty() && F::TimerRunning()));  // a priming sample
    F::Send(WM_TIMER, IDT_SAMPLE);
    REQUIRE(F::calls.size() == 1);
    CHECK(F::calls[0].iconPixel == CLR_RED);  // the same load as before Pause
    // Paused, the reset sampler's fresh sample is a first one: a blue 0, a load image all the same.
    for (const bool paused : {false, true}) {
        if (paused) F::Send(WM_COMMAND, IDM_PAUSE);
        F::ClearRecords();
        AppState.lastShown = 17;
        F::Send(AppState.taskbarCreatedMsg);
        REQUIRE(F::calls.size() == 1);
        CHECK((F::calls[0].action == NIM_ADD && F::calls[0].iconPixel == (paused ? CLR_BLUE : CLR_RED)));
        CHECK(AppState.lastShown == 17);
    }
}

TEST_CASE("Help opens the text file, Restart the program with /r, Exit and closing end the loop") {
    F f;
    F::Send(WM_COMMAND, IDM_HELP);
    CHECK(F::shellOpens == Opens{{L"C:\\Apps\\Tembix\\Tembix.txt", L""}});
    CHECK_FALSE(F::RunUntilQuit(100));
    F::Send(WM_COMMAND, IDM_RESTART);
    CHECK(F::shellOpens.back() == Opens::value_type{Widen(ModuleFileName(nullptr)), L"/r"});
    CHECK(F::RunUntilQuit());
    F::Send(WM_COMMAND, IDM_EXIT);
    CHECK(F::RunUntilQuit());
    CHECK((IsWindow(AppState.mainWindow) && F::trims == 3));  // a posted WM_DESTROY leaves the window
    F::Send(WM_CLOSE);
    CHECK_FALSE(IsWindow(AppState.mainWindow));
    CHECK(F::RunUntilQuit());
}

TEST_CASE("A tray click opens one menu at the pointer, with Pause or Resume; a choice arrives as the command") {
    F f;
    for (const bool paused : {false, true}) {
        F::ClearRecords();
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
