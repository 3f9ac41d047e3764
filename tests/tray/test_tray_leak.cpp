// Wine's GetGuiResources is a stub, so a leak shows as lost capacity instead: how many
// GDI and USER objects the process can still create before creation fails.
#include <doctest.h>

#include "tray_fixture.h"

namespace {

constexpr int kUpdates = 3000;
constexpr int kTolerance = 50;  // far below one object per update

int GdiCapacity() {
    std::vector<HBRUSH> brushes;
    while (HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3))) brushes.push_back(brush);
    for (HBRUSH brush : brushes) DeleteObject(brush);
    return static_cast<int>(brushes.size());
}

// Icons, menus and windows share one table of USER handles; menus fill it fastest.
int UserCapacity() {
    std::vector<HMENU> menus;
    while (HMENU menu = CreatePopupMenu()) menus.push_back(menu);
    for (HMENU menu : menus) DestroyMenu(menu);
    return static_cast<int>(menus.size());
}

int accepted = 0;
bool lastIconLive = false;

BOOL WINAPI AcceptingShell(DWORD, PNOTIFYICONDATAA data) {
    ++accepted;
    lastIconLive = IsLiveIcon(data->hIcon);
    return TRUE;
}

}  // namespace

TEST_CASE("Thousands of changing updates leak no GDI or USER object") {
    const int gdiBefore = GdiCapacity();
    const int userBefore = UserCapacity();
    MESSAGE("capacity before: GDI " << gdiBefore << ", USER " << userBefore);
    REQUIRE(gdiBefore > kUpdates);
    REQUIRE(userBefore > kUpdates);
    {
        CanvasFixture canvas;
        AppState.blinkEnabled = true;
        ScriptedSampler::Install();
        TraySeams.shellNotifyIcon = AcceptingShell;
        for (int i = 0; i < kUpdates; ++i) {
            ScriptedSampler::nextLoad = static_cast<uint8_t>(i % 101);
            UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
        }
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);  // and the program icon's path
        TraySeams = TTraySeams{};
    }
    CHECK(accepted == kUpdates + 1);
    CHECK(lastIconLive);
    const int gdiAfter = GdiCapacity();
    const int userAfter = UserCapacity();
    MESSAGE("capacity after: GDI " << gdiAfter << ", USER " << userAfter);
    CHECK(gdiBefore - gdiAfter < kTolerance);
    CHECK(userBefore - userAfter < kTolerance);
}

TEST_CASE("Making and deleting the canvas leaves nothing behind") {
    const int gdiBefore = GdiCapacity();
    for (int i = 0; i < 200; ++i) {
        CreateIconCanvas();
        PaintHundredImages();
        DestroyIconCanvas();
    }
    CHECK(gdiBefore - GdiCapacity() < kTolerance);
}
