#include <doctest.h>

#include "tray_fixture.h"

#include <cstring>

namespace {

using Shell = RecordingShell;

void Tick() { UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false); }

struct TickFixture {
    CanvasFixture canvas;
    StandInWindow window;
    RecordingShell shell;
    TickFixture() { ScriptedSampler::Install(); }
};

}  // namespace

TEST_CASE("Ticks: only a changed value, or a blinking 100, reaches the shell") {
    TickFixture f;
    SUBCASE("the first tick after start updates") {
        ScriptedSampler::nextLoad = 42;
        Tick();
        REQUIRE(Shell::calls.size() == 1);
        CHECK(Shell::calls[0].action == NIM_MODIFY);
        CHECK(Shell::calls[0].iconLive);
        CHECK(Shell::calls[0].iconPixel == CLR_BLUE);  // the frame, below threshold 80
        CHECK(AppState.lastShown == 42);
    }
    SUBCASE("42 twice: one shell call, two samples") {
        ScriptedSampler::nextLoad = 42;
        Tick();
        Tick();
        CHECK(Shell::calls.size() == 1);
        CHECK(ScriptedSampler::samples == 2);
        ScriptedSampler::nextLoad = 43;
        Tick();
        CHECK(Shell::calls.size() == 2);
    }
    SUBCASE("100 with blinking on updates every tick, alternating") {
        AppState.blinkEnabled = true;
        ScriptedSampler::nextLoad = 100;
        for (int i = 0; i < 4; ++i) Tick();
        REQUIRE(Shell::calls.size() == 4);
        CHECK(Shell::calls[0].iconPixel == CLR_RED);
        CHECK(Shell::calls[1].iconPixel == CLR_YELLOW);
        CHECK(Shell::calls[2].iconPixel == CLR_RED);
        CHECK(Shell::calls[3].iconPixel == CLR_YELLOW);
    }
    SUBCASE("100 with blinking off updates once") {
        ScriptedSampler::nextLoad = 100;
        for (int i = 0; i < 4; ++i) Tick();
        CHECK(Shell::calls.size() == 1);
        CHECK(ScriptedSampler::samples == 4);
    }
    SUBCASE("lastShown 255 forces a repaint of an unchanged value") {
        ScriptedSampler::nextLoad = 42;
        Tick();
        AppState.lastShown = kNothingShown;
        Tick();
        CHECK(Shell::calls.size() == 2);
    }
    SUBCASE("the icon handed over is destroyed after the call") {
        ScriptedSampler::nextLoad = 12;
        Tick();
        REQUIRE(Shell::calls.size() == 1);
        CHECK(Shell::calls[0].iconLive);
        CHECK_FALSE(IsLiveIcon(Shell::calls[0].data.hIcon));
    }
}

TEST_CASE("Adds, deletes and the program icon") {
    TickFixture f;
    SUBCASE("an add shows a fresh sample and leaves lastShown alone") {
        ScriptedSampler::nextLoad = 42;
        AppState.lastShown = 17;
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, false);
        REQUIRE(Shell::calls.size() == 1);
        CHECK(Shell::calls[0].action == NIM_ADD);
        CHECK(ScriptedSampler::samples == 1);
        CHECK(AppState.lastShown == 17);
        CHECK(Shell::calls[0].iconPixel == CLR_BLUE);
    }
    SUBCASE("a delete samples nothing, makes no icon, sets no flags") {
        UpdateTrayIcon(AppState.mainWindow, NIM_DELETE, false);
        REQUIRE(Shell::calls.size() == 1);
        const TNotifyIconData& data = Shell::calls[0].data;
        CHECK(Shell::calls[0].action == NIM_DELETE);
        CHECK(ScriptedSampler::samples == 0);
        CHECK(data.cbSize == kNotifyIconDataSize);
        CHECK(data.hWnd == AppState.mainWindow);
        CHECK(data.uFlags == 0);
        CHECK(data.uCallbackMessage == 0);
        CHECK(data.hIcon == nullptr);
        CHECK(std::string(data.szTip, sizeof data.szTip) == std::string(64, '\0'));
    }
    SUBCASE("the program icon: no sample, lastShown untouched, MAINICON at small-icon size") {
        AppState.lastShown = 33;
        for (DWORD action : {DWORD(NIM_ADD), DWORD(NIM_MODIFY)}) {
            UpdateTrayIcon(AppState.mainWindow, action, true);
        }
        REQUIRE(Shell::calls.size() == 2);
        CHECK(ScriptedSampler::samples == 0);
        CHECK(AppState.lastShown == 33);
        for (const ShellCall& call : Shell::calls) {
            CHECK(call.iconLive);
            CHECK_FALSE(IsLiveIcon(call.data.hIcon));
        }
    }
    SUBCASE("the record: its size, id 0, flags 7, callback 0x9000, the tip") {
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);
        REQUIRE(Shell::calls.size() == 1);
        const TNotifyIconData& data = Shell::calls[0].data;
        CHECK(data.cbSize == kNotifyIconDataSize);
        CHECK(data.hWnd == AppState.mainWindow);
        CHECK(data.uID == 0);
        CHECK(data.uFlags == 7);
        CHECK(data.uCallbackMessage == 0x9000);
        CHECK(std::string(data.szTip, sizeof data.szTip) == std::string("Tembix") + std::string(58, '\0'));
    }
}

TEST_CASE("A refused add is retried, then the program closes") {
    TickFixture f;
    SUBCASE("the first add succeeds: no retry, no wait, no last error read") {
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);
        CHECK(Shell::calls.size() == 1);
        CHECK(Shell::sleeps.empty());
        CHECK(Shell::lastErrorReads == 0);
        CHECK(f.window.TakeCloseMessages() == 0);
    }
    SUBCASE("a time-out, then a good modify after one 2000 ms wait: keeps running") {
        Shell::results = {FALSE, FALSE, TRUE};
        Shell::errors = {ERROR_ACCESS_DENIED, ERROR_TIMEOUT};
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);
        REQUIRE(Shell::calls.size() == 3);
        CHECK(Shell::calls[0].action == NIM_ADD);
        CHECK(Shell::calls[1].action == NIM_ADD);
        CHECK(Shell::calls[2].action == NIM_MODIFY);
        CHECK(std::memcmp(&Shell::calls[2].data, &Shell::calls[0].data, sizeof(TNotifyIconData)) == 0);  // the same record
        CHECK(Shell::sleeps == std::vector<DWORD>{2000});
        CHECK(f.window.TakeCloseMessages() == 0);
    }
    SUBCASE("any other error: WM_CLOSE after one retry, no wait") {
        Shell::results = {FALSE, FALSE};
        Shell::errors = {ERROR_TIMEOUT, ERROR_ACCESS_DENIED};  // the first call's error is not looked at
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, false);
        CHECK(Shell::calls.size() == 2);
        CHECK(Shell::sleeps.empty());
        CHECK(Shell::lastErrorReads == 1);
        CHECK(f.window.TakeCloseMessages() == 1);
    }
    SUBCASE("always a time-out: five retries, five waits, then WM_CLOSE") {
        Shell::results.assign(11, FALSE);
        Shell::errors.assign(11, ERROR_TIMEOUT);
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, false);
        REQUIRE(Shell::calls.size() == 11);  // the add, then five add-and-modify pairs
        for (size_t i = 1; i < Shell::calls.size(); ++i) {
            CHECK(Shell::calls[i].action == (i % 2 ? DWORD(NIM_ADD) : DWORD(NIM_MODIFY)));
        }
        CHECK(Shell::sleeps == std::vector<DWORD>(5, 2000));
        CHECK(f.window.TakeCloseMessages() == 1);
        CHECK_FALSE(IsLiveIcon(Shell::calls[0].data.hIcon));  // destroyed after giving up too
    }
    SUBCASE("failed modifies and deletes are not retried") {
        Shell::results = {FALSE, FALSE};
        Shell::errors = {ERROR_TIMEOUT, ERROR_TIMEOUT};
        ScriptedSampler::nextLoad = 5;
        Tick();
        UpdateTrayIcon(AppState.mainWindow, NIM_DELETE, false);
        CHECK(Shell::calls.size() == 2);
        CHECK(Shell::sleeps.empty());
        CHECK(AppState.lastShown == 5);
        CHECK(f.window.TakeCloseMessages() == 0);
    }
}
