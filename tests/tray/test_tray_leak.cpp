// Wine's GetGuiResources is a stub, so a leak shows as lost capacity instead: how many GDI
// and USER objects (menus fill the USER table fastest) the process can still create. The
// table of USER objects is the whole wineserver's, so nothing else runs beside this program.
#include <doctest.h>

#include "testlib.h"

namespace {

template <class Create, class Destroy>
int Capacity(Create create, Destroy destroy) {
    std::vector<decltype(create())> objects;
    while (auto object = create()) objects.push_back(object);
    for (auto object : objects) destroy(object);
    return static_cast<int>(objects.size());
}
int GdiCapacity() { return Capacity([] { return CreateSolidBrush(RGB(1, 2, 3)); }, DeleteObject); }
int UserCapacity() { return Capacity(CreatePopupMenu, DestroyMenu); }

int accepted = 0;
bool lastIconLive = false;

BOOL WINAPI AcceptingShell(DWORD, PNOTIFYICONDATAA data) {
    ++accepted;
    lastIconLive = IsLiveIcon(data->hIcon);
    return TRUE;
}

}  // namespace

TEST_CASE("Thousands of changing updates, and canvases made and deleted, leak no GDI or USER object") {
    constexpr int kUpdates = 3000, kTolerance = 50;  // far below one object per update
    const int gdiBefore = GdiCapacity(), userBefore = UserCapacity();
    REQUIRE(gdiBefore > kUpdates);
    REQUIRE(userBefore > kUpdates);
    {
        AppFixture f;
        AppState.blinkEnabled = true;
        TraySeams.shellNotifyIcon = AcceptingShell;
        for (int i = 0; i < kUpdates; ++i) {
            AppFixture::load = static_cast<uint8_t>(i % 101);
            UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
        }
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);  // and the program icon's path
        CHECK(accepted == kUpdates + 1);
        CHECK(lastIconLive);
        for (int i = 0; i < 200; ++i) {
            DestroyIconCanvas();
            CreateIconCanvas();
            PaintHundredImages();
        }
    }
    MESSAGE("capacity lost: GDI " << gdiBefore - GdiCapacity() << ", USER " << userBefore - UserCapacity());
    CHECK(gdiBefore - GdiCapacity() < kTolerance);
    CHECK(userBefore - UserCapacity() < kTolerance);
}
