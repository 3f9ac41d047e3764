// The program as a user starts and uses it.
#include <doctest.h>

#include "e2e.h"
#include "helpers.h"
#include "res/resource.h"
#include "shortcut/shortcut.h"
#include "support/support.h"
#include "tray/tray.h"

namespace {

constexpr COLORREF kChartLime = RGB(0, 255, 0);  // the line of the program's own icon

int CountIn(const Screenshot& shot, COLORREF colour) { return shot.Count(colour, TrayArea(shot)); }

bool ShowsGlyphOrHundred(const Screenshot& shot) {
    return CountIn(shot, CLR_BLUE) >= 60 || CountIn(shot, CLR_RED) >= 200;
}

bool WaitForScreen(const std::function<bool(const Screenshot&)>& condition, DWORD timeoutMs,
                   Screenshot* last = nullptr) {
    Screenshot shot;
    const bool ok = WaitUntil(
        [&] {
            shot = TakeScreenshot();
            return condition(shot);
        },
        timeoutMs);
    if (last) *last = shot;
    return ok;
}

// Starts a copy and waits until its icon shows the load.
HWND StartAndWaitForLoad(Process& process, Screenshot* shot = nullptr) {
    REQUIRE(process.Started());
    HWND window = nullptr;
    REQUIRE(WaitUntil([&] { return (window = TembixWindowOf(process.Id())) != nullptr; }, 10000));
    REQUIRE(WaitForScreen(ShowsGlyphOrHundred, 5000, shot));
    return window;
}

POINT CentreOf(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

HWND OpenMenuByClick() {
    Screenshot shot;
    REQUIRE(WaitForTrayIcons(1, 5000, &shot));
    const POINT at = CentreOf(TrayIcons(shot).front());
    ClickAt(at.x, at.y);
    HWND menu = WaitForMenu();
    REQUIRE(menu != nullptr);
    RECT r;
    GetWindowRect(menu, &r);
    // The menu opens at the pointer, pushed into the work area in the screen's corner; so
    // the desktop's coordinates are the display's.
    CHECK(at.x >= r.left);
    CHECK(at.x <= r.right);
    CHECK(std::abs(r.bottom - at.y) <= 20);
    return menu;
}

struct TitleSearch {
    std::string part;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTitled(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TitleSearch*>(param);
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    if (IsWindowVisible(window) && std::string(title).find(search->part) != std::string::npos) {
        search->found.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> WindowsTitled(const std::string& part) {
    TitleSearch search{part, {}};
    EnumWindows(CollectTitled, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

TEST_CASE("A first start shows the program icon, then the load") {
    REQUIRE(TembixWindows().empty());
    AppCopy app("first", "[Option]\r\nThreshold=100\r\n");
    Process tembix(app.Exe(), "");
    REQUIRE(tembix.Started());
    CHECK(WaitForScreen([](const Screenshot& s) { return CountIn(s, kChartLime) > 5; }, 10000));
    Screenshot shot;
    CHECK(WaitForScreen(ShowsGlyphOrHundred, 3000, &shot));
    CHECK(CountIn(shot, kChartLime) == 0);
    // Threshold 100: every value below 100 is blue; only a saturated machine shows red.
    CHECK((CountIn(shot, CLR_BLUE) >= 60 || CountIn(shot, CLR_RED) >= 200));
    CHECK(CountIn(shot, CLR_BLUE) + CountIn(shot, CLR_RED) > 0);
    CHECK(TrayIcons(shot).size() == 1);
    shot.Save(ArtifactDir() + "\\e2e-glyph.bmp");

    AskToExit(TembixWindowOf(tembix.Id()));
    CHECK(tembix.WaitForExit(5000) == 0);
    CHECK(WaitForTrayIcons(0, 5000));
}

TEST_CASE("One copy at a time, except with /r") {
    AppCopy app("single");
    Process first(app.Exe(), "");
    StartAndWaitForLoad(first);

    for (const char* arguments : {"", "/R", "r", "x /r", "\"\" /r"}) {
        CAPTURE(arguments);
        Process second(app.Exe(), arguments);
        REQUIRE(second.Started());
        CHECK(second.WaitForExit(5000) == 0);
        CHECK(TembixWindows().size() == 1);
    }
    CHECK(WaitForTrayIcons(1, 3000));

    {
        Process restarted(app.Exe(), "/r");
        REQUIRE(restarted.Started());
        CHECK(WaitUntil([&] { return TembixWindows().size() == 2; }, 10000));
        CHECK(WaitForTrayIcons(2, 5000));
        AskToExit(TembixWindowOf(restarted.Id()));
        CHECK(restarted.WaitForExit(5000) == 0);
    }
    CHECK(WaitForTrayIcons(1, 5000));
    CHECK(TembixWindowOf(first.Id()) != nullptr);
}

TEST_CASE("Exit from the menu, clicked as a person would") {
    AppCopy app("exit");
    Process tembix(app.Exe(), "");
    StartAndWaitForLoad(tembix);
    HWND menu = OpenMenuByClick();
    TakeScreenshot().Save(ArtifactDir() + "\\e2e-menu.bmp");
    RECT r;
    GetWindowRect(menu, &r);
    ClickAt(r.left + 20, r.bottom - 9);  // the last item, "E&xit"
    CHECK(tembix.WaitForExit(5000) == 0);
    CHECK(WaitForTrayIcons(0, 5000));
    CHECK(TembixWindows().empty());
}

TEST_CASE("Escape closes the menu and Tembix goes on") {
    AppCopy app("escape");
    Process tembix(app.Exe(), "");
    StartAndWaitForLoad(tembix);
    OpenMenuByClick();
    PressKey("Escape");
    CHECK(WaitUntil([] { return !FindWindowA("#32768", nullptr) || !IsWindowVisible(FindWindowA("#32768", nullptr)); },
                    3000));
    CHECK(tembix.WaitForExit(500) == STILL_ACTIVE);
    CHECK(WaitForTrayIcons(1, 3000));
}

TEST_CASE("Restart leaves exactly one running copy") {
    AppCopy app("restart");
    Process tembix(app.Exe(), "");
    HWND oldWindow = StartAndWaitForLoad(tembix);
    OpenMenuByClick();
    PressKey("t");  // "Restart &Tembix"
    CHECK(tembix.WaitForExit(5000) == 0);
    std::vector<HWND> windows;
    CHECK(WaitUntil([&] { return (windows = TembixWindows()).size() == 1 && windows[0] != oldWindow; }, 10000));
    CHECK(WaitForTrayIcons(1, 5000));
    PumpMessagesFor(1500);  // and it stays at one
    CHECK(TembixWindows().size() == 1);
    for (HWND w : TembixWindows()) AskToExit(w);
    CHECK(WaitUntil([] { return TembixWindows().empty(); }, 5000));
    CHECK(WaitForTrayIcons(0, 5000));
}

TEST_CASE("Help opens Tembix.txt with the shell; without the file nothing happens") {
    AppCopy app("help");
    Process tembix(app.Exe(), "");
    HWND window = StartAndWaitForLoad(tembix);
    for (HWND w : WindowsTitled("Tembix.txt")) PostMessageA(w, WM_CLOSE, 0, 0);

    OpenMenuByClick();
    PressKey("h");
    std::vector<HWND> editors;
    CHECK(WaitUntil([&] { return !(editors = WindowsTitled("Tembix.txt")).empty(); }, 15000));
    for (HWND w : editors) PostMessageA(w, WM_CLOSE, 0, 0);
    CHECK(WaitUntil([] { return WindowsTitled("Tembix.txt").empty(); }, 5000));

    REQUIRE(DeleteFileA((app.dir + "\\Tembix.txt").c_str()));
    OpenMenuByClick();
    PressKey("h");
    PumpMessagesFor(3000);
    CHECK(WindowsTitled("Tembix.txt").empty());
    CHECK(tembix.WaitForExit(0) == STILL_ACTIVE);
    DWORD_PTR answer = 0;
    CHECK(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) != 0);
    CHECK(WaitForTrayIcons(1, 3000));
}

TEST_CASE("At full load with threshold 1 and blinking, the red and the yellow 100 both show") {
    if (Emulated()) return;  // busy threads never end under emulation
    AppCopy app("blink", "[Option]\r\nBlinkTrayIcon=1\r\nThreshold=1\r\n");
    FullLoad load;
    Process tembix(app.Exe(), "");
    REQUIRE(tembix.Started());
    bool red = false, yellow = false;
    WaitForScreen(
        [&](const Screenshot& shot) {
            const bool hundred = CountIn(shot, CLR_BACKGROUND) == 46;
            if (hundred && !red && CountIn(shot, CLR_RED) == 256 - 46) {
                red = true;
                shot.Save(ArtifactDir() + "\\e2e-hundred-red.bmp");
            }
            if (hundred && !yellow && CountIn(shot, CLR_YELLOW) == 256 - 46) {
                yellow = true;
                shot.Save(ArtifactDir() + "\\e2e-hundred-yellow.bmp");
            }
            return red && yellow;
        },
        15000);
    CHECK(red);
    CHECK(yellow);
}

namespace {

// One thread busy half of the time: a load clearly above 0 and below 100 on one processor or many.
volatile LONG stopHalfBusy = 0;

DWORD WINAPI HalfBusy(void*) {
    while (!stopHalfBusy) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 10) {
        }
        Sleep(10);
    }
    return 0;
}

RECT ItemRect(HWND dialog, int id) {
    RECT r = {};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    return r;
}

}  // namespace

TEST_CASE("Options as a person would use it: open, second start, Startup, threshold, OK") {
    CoInitScope com;
    RemoveStartupShortcuts(kProgramFileName);
    AppCopy app("options", "[Option]\r\nThreshold=100\r\n");
    stopHalfBusy = 0;
    HANDLE busy = CreateThread(nullptr, 0, HalfBusy, nullptr, 0, nullptr);
    Process tembix(app.Exe(), "");
    Screenshot shot;
    StartAndWaitForLoad(tembix, &shot);
    CHECK(CountIn(shot, CLR_BLUE) >= 60);

    OpenMenuByClick();
    PressKey("o");  // "&Options..."
    HWND dialog = WaitForWindow("#32770", "Tembix Options");
    REQUIRE(dialog != nullptr);
    PumpMessagesFor(500);
    TakeScreenshot().Save(ArtifactDir() + "\\e2e-options.bmp");

    // A second start brings the open dialog to the front and ends.
    HWND other = CreateWindowExA(0, "STATIC", "elsewhere", WS_POPUP | WS_VISIBLE, 20, 20, 120, 60, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);
    CHECK(WaitUntil([&] { return GetForegroundWindow() == other; }, 2000));
    {
        Process second(app.Exe(), "");
        CHECK(second.WaitForExit(5000) == 0);
    }
    CHECK(WaitUntil([&] { return GetForegroundWindow() == dialog; }, 2000));
    DestroyWindow(other);

    const RECT startup = ItemRect(dialog, IDC_STARTUP);
    ClickAt(startup.left + 6, (startup.top + startup.bottom) / 2);
    CHECK(WaitUntil([&] { return SendMessageA(GetDlgItem(dialog, IDC_STARTUP), BM_GETCHECK, 0, 0) == BST_CHECKED; },
                    3000));
    const RECT field = ItemRect(dialog, IDC_THRESHOLD);
    ClickAt((field.left + field.right) / 2, (field.top + field.bottom) / 2);
    PressKey("End BackSpace BackSpace BackSpace 1");
    CHECK(WaitUntil(
        [&] {
            // Another process's control: GetWindowText would not ask it.
            char text[8] = {};
            SendMessageA(GetDlgItem(dialog, IDC_THRESHOLD), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
            return std::string(text) == "1";
        },
        3000));
    const RECT ok = ItemRect(dialog, IDOK);
    ClickAt((ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2);
    CHECK(WaitUntil([&] { return !IsWindow(dialog); }, 3000));

    const std::string link = GetStartupFolder() + "Tembix.lnk";
    CHECK(UpperCaseAnsi(GetShellLinkTarget(link)) == UpperCaseAnsi(LongPathName(app.Exe())));
    CHECK(ReadFileBytes(app.dir + "\\Tembix.ini") == "[Option]\r\nBlinkTrayIcon=0\r\nThreshold=1\r\n");
    // The next tick repaints under threshold 1: red.
    CHECK(WaitForScreen([](const Screenshot& s) { return CountIn(s, CLR_RED) >= 60 && CountIn(s, CLR_BLUE) == 0; },
                        3000));

    stopHalfBusy = 1;
    WaitForSingleObject(busy, INFINITE);
    CloseHandle(busy);
    RemoveStartupShortcuts(kProgramFileName);
}
