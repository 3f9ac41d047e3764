// The tray menu for real: TrackPopupMenu runs its modal loop, and the test looks at the
// open menu from a timer inside that loop.
#include <doctest.h>

#include "app_fixture.h"
#include "modal.h"
#include "screen.h"

#include <string>

namespace {

struct Item {
    UINT type;
    UINT state;
    UINT id;
    std::string text;
    bool hasSubmenu;
};

std::vector<Item> ReadItems(HMENU menu) {
    std::vector<Item> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_TYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        items.push_back({info.fType, info.fState, info.wID, text, info.hSubMenu != nullptr});
    }
    return items;
}

void Click(LPARAM mouseMessage) { AppFixture::Send(WM_TRAYICON, 0, mouseMessage); }

void PressEscape(HWND menuWindow) {
    PostMessageA(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(menuWindow, WM_KEYUP, VK_ESCAPE, 0);
}

int CountCommands() {
    int count = 0;
    for (const DefCall& call : AppFixture::defCalls) count += call.message == WM_COMMAND;
    return count;
}

}  // namespace

TEST_CASE("A tray click opens the eight-item menu at the pointer") {
    AppFixture f;
    SUBCASE("sampling offers Pause") {}
    SUBCASE("paused offers Resume") { AppFixture::Send(WM_COMMAND, IDM_PAUSE); }
    const bool paused = AppState.paused;
    f.ClearRecords();
    SetCursorPos(300, 200);

    std::vector<Item> items;
    RECT menuRect = {};
    HMENU recorded = nullptr;
    const bool closedByTest = RunModal([] { Click(WM_RBUTTONUP); },
                                       [&] {
                                           HWND menuWindow = FindMenuWindow();
                                           REQUIRE(menuWindow != nullptr);
                                           GetWindowRect(menuWindow, &menuRect);
                                           HMENU menu =
                                               reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
                                           recorded = AppState.popupMenu;
                                           CHECK(menu == AppState.popupMenu);
                                           items = ReadItems(menu);
                                           PressEscape(menuWindow);
                                       });
    CHECK(closedByTest);
    CHECK(recorded != nullptr);
    const std::vector<std::pair<UINT, std::string>> expected = {
        {IDM_HELP, "&Help"},
        {0, ""},
        {IDM_OPTIONS, "&Options..."},
        {0, ""},
        paused ? std::make_pair(UINT(IDM_RESUME), std::string("&Resume"))
               : std::make_pair(UINT(IDM_PAUSE), std::string("&Pause")),
        {IDM_RESTART, "Restart &Tembix"},
        {0, ""},
        {IDM_EXIT, "E&xit"},
    };
    REQUIRE(items.size() == expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
        CAPTURE(i);
        const bool separator = expected[i].first == 0;
        CHECK(items[i].type == (separator ? UINT(MFT_SEPARATOR) : UINT(MFT_STRING)));
        CHECK(items[i].id == expected[i].first);
        CHECK(items[i].text == expected[i].second);
        // The platform reports separators as disabled; text items are plain and enabled.
        if (!separator) CHECK((items[i].state & (MFS_DISABLED | MFS_CHECKED | MFS_DEFAULT)) == 0);
        CHECK_FALSE(items[i].hasSubmenu);
    }
    CHECK(menuRect.left == 300);
    CHECK(menuRect.top == 200);

    // Closed without a choice: no command, the menu gone, the working set trimmed.
    PumpMessagesFor(100);
    CHECK(CountCommands() == 0);
    CHECK(AppState.popupMenu == nullptr);
    CHECK_FALSE(IsMenu(recorded));
    CHECK(AppFixture::trims == 1);
    CHECK(AppFixture::Count(WM_NULL) == 1);  // posted after the menu closed
    CHECK(AppState.paused == paused);
}

TEST_CASE("A second click while the menu is open opens no second menu") {
    AppFixture f;
    int menusSeen = 0;
    HMENU first = nullptr;
    CHECK(RunModal([] { Click(WM_LBUTTONUP); },
                   [&] {
                       first = AppState.popupMenu;
                       Click(WM_LBUTTONUP);  // returns at once
                       Click(WM_RBUTTONUP);
                       CHECK(AppState.popupMenu == first);
                       for (HWND w = FindMenuWindow(); w; w = FindWindowExA(nullptr, w, "#32768", nullptr)) {
                           menusSeen += IsWindowVisible(w) ? 1 : 0;
                       }
                       PressEscape(FindMenuWindow());
                   }));
    CHECK(first != nullptr);
    CHECK(menusSeen == 1);
    CHECK(AppState.popupMenu == nullptr);
}

TEST_CASE("A menu choice arrives as the command") {
    AppFixture f;
    CHECK(RunModal([] { Click(WM_LBUTTONUP); },
                   [] {
                       HWND menuWindow = FindMenuWindow();
                       REQUIRE(menuWindow != nullptr);
                       PostMessageA(menuWindow, WM_CHAR, 'p', 0);  // "&Pause"
                   }));
    PumpMessagesFor(100);
    CHECK(AppState.paused);
    CHECK(AppState.popupMenu == nullptr);
}

TEST_CASE("Only the release of the left or right button opens the menu") {
    AppFixture f;
    for (LPARAM mouse : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MOUSEMOVE, WM_MBUTTONUP,
                         WM_MBUTTONDOWN, WM_CONTEXTMENU}) {
        CAPTURE(mouse);
        bool menuSeen = false;
        RunModal([&] { Click(mouse); },
                 [&] {
                     menuSeen = FindMenuWindow() != nullptr && IsWindowVisible(FindMenuWindow());
                     if (menuSeen) EndMenu();
                 },
                 10, 2000);
        PumpMessagesFor(30);  // lets the timer run when no menu loop did
        CHECK_FALSE(menuSeen);
    }
    CHECK(AppFixture::trims == 0);
}

TEST_CASE("A click while the Options dialog is open brings it to the front") {
    AppFixture f;
    HWND standIn = CreateWindowExA(0, "STATIC", "Tembix Options", WS_POPUP | WS_VISIBLE, 10, 10, 100, 50, nullptr,
                                   nullptr, nullptr, nullptr);
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 200, 10, 100, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);
    PumpMessagesFor(50);
    REQUIRE(GetForegroundWindow() == other);
    AppState.optionsDialog = standIn;
    bool menuSeen = false;
    RunModal([] { Click(WM_LBUTTONUP); },
             [&] {
                 menuSeen = FindMenuWindow() != nullptr && IsWindowVisible(FindMenuWindow());
                 if (menuSeen) EndMenu();
             },
             10, 2000);
    PumpMessagesFor(30);
    CHECK_FALSE(menuSeen);
    CHECK(GetForegroundWindow() == standIn);
    CHECK(AppState.popupMenu == nullptr);
    AppState.optionsDialog = nullptr;
    DestroyWindow(other);
    DestroyWindow(standIn);
}
