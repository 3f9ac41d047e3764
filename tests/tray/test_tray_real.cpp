// Against Wine's own notification area: the test runs inside the prefix's virtual
// desktop, whose taskbar shows the icons at its bottom right.
#include <doctest.h>

#include "screen.h"
#include "tray_fixture.h"

namespace {

std::vector<BOOL> shellResults;

BOOL WINAPI RealShell(DWORD action, PNOTIFYICONDATAA data) {
    const BOOL result = Shell_NotifyIconA(action, data);
    shellResults.push_back(result);
    return result;
}

// How many pixels of each colour the tray area holds once the shell has caught up.
bool TrayShows(COLORREF colour, int atLeast, Screenshot& shot) {
    return WaitUntil([&] {
        shot = TakeScreenshot();
        return shot.Count(colour, TrayArea(shot)) >= atLeast;
    });
}

}  // namespace

TEST_CASE("Add, modify and delete in the real notification area") {
    CanvasFixture canvas;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = AppState.hInstance;
    windowClass.lpszClassName = "TrayTestWindow";
    RegisterClassA(&windowClass);
    AppState.mainWindow =
        CreateWindowExA(0, "TrayTestWindow", "tray test", 0, 0, 0, 0, 0, nullptr, nullptr, AppState.hInstance, nullptr);
    REQUIRE(AppState.mainWindow != nullptr);
    ScriptedSampler::Install();
    TraySeams.shellNotifyIcon = RealShell;
    const std::string artifacts = ArtifactDir();
    Screenshot shot;

    UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);
    REQUIRE(shellResults == std::vector<BOOL>{TRUE});

    ScriptedSampler::nextLoad = 42;  // blue below the threshold of 80
    UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
    CHECK(TrayShows(CLR_BLUE, 4 * 15, shot));  // at least the frame
    CHECK(shot.Count(CLR_BACKGROUND, TrayArea(shot)) >= 100);
    CHECK(shot.Save(artifacts + "\\tray-glyph.bmp"));

    ScriptedSampler::nextLoad = 85;
    UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
    CHECK(TrayShows(CLR_RED, 4 * 15, shot));
    CHECK(shot.Count(CLR_BLUE, TrayArea(shot)) == 0);

    ScriptedSampler::nextLoad = 100;
    UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
    CHECK(TrayShows(CLR_RED, 256 - 46, shot));
    CHECK(shot.Count(CLR_BACKGROUND, TrayArea(shot)) == 46);
    CHECK(shot.Save(artifacts + "\\tray-hundred.bmp"));

    UpdateTrayIcon(AppState.mainWindow, NIM_DELETE, false);
    CHECK(WaitUntil([&] {
        shot = TakeScreenshot();
        return shot.Count(CLR_RED, TrayArea(shot)) == 0 && shot.Count(CLR_BACKGROUND, TrayArea(shot)) == 0;
    }));
    CHECK(shellResults == std::vector<BOOL>(5, TRUE));
    DestroyWindow(AppState.mainWindow);
    TraySeams = TTraySeams{};
}
