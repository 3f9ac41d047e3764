#include "testlib.h"

namespace {

const COLORREF kNearWhite = RGB(255, 254, 255), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kYellow = RGB(227, 227, 0);

// The "100" as it must look, drawn here by hand: '#' is near-white, the rest the background.
const char* const kHundred[16] = {
    "................", "................", "................", "...#..##...##...", "...#.#..#.#..#..", "..##.#..#.#..#..",
    "...#.#..#.#..#..", "...#.#..#.#..#..", "...#.#..#.#..#..", "...#.#..#.#..#..", "...#.#..#.#..#..", "...#..##...##...",
    "................", "................", "................", "................"};


// How many more GDI (brushes) or USER (menus fill that table fastest) objects the process can
// create: Wine's GetGuiResources is a stub, so a leak shows as lost capacity.
int Capacity(bool user) {
    std::vector<HANDLE> objects;
    while (HANDLE object = user ? HANDLE(CreatePopupMenu()) : HANDLE(CreateSolidBrush(0))) objects.push_back(object);
    for (HANDLE object : objects) user ? DestroyMenu(HMENU(object)) : DeleteObject(HGDIOBJ(object));
    return static_cast<int>(objects.size());
}

// Text drawn here in a font, opaque on near-white, into a new bitmap.
Pixels Drawn(const std::string& text, int width, int height, HFONT font, int x, int y, COLORREF colour) {
    return Paint(width, height, [&](HDC dc) {
        const RECT all = {0, 0, width, height};
        SelectObject(dc, font);
        SetBkColor(dc, kNearWhite);
        SetTextColor(dc, colour);
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &all, "", 0, nullptr);
        ExtTextOutA(dc, x, y, ETO_OPAQUE, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
    });
}

// What is not near-white inside a margin: its columns, its colours, and its shape cropped.
struct Ink {
    int left = INT_MAX, right = -1;
    std::set<COLORREF> colours;
    std::vector<std::string> shape;
};
Ink InkOf(const Pixels& pixels, int width, int height, int margin) {
    Ink ink;
    int top = INT_MAX, bottom = -1;
    for (int y = margin; y < height - margin; ++y) {
        for (int x = margin; x < width - margin; ++x) {
            if (pixels[y * width + x] == kNearWhite) continue;
            ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
            top = std::min(top, y), bottom = std::max(bottom, y), ink.colours.insert(pixels[y * width + x]);
        }
    }
    for (int y = top; y <= bottom; ++y) {
        ink.shape.emplace_back();
        for (int x = ink.left; x <= ink.right; ++x) ink.shape.back() += pixels[y * width + x] == kNearWhite ? '.' : '#';
    }
    return ink;
}

// The scratch bitmap of the digits' measurement, refused from the call numbered `refused` on.
int dibCalls = 0, refused = 0;
HBITMAP WINAPI RefusingDib(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
    return ++dibCalls >= refused && refused > 0 ? nullptr : CreateDIBSection(dc, info, usage, bits, section, offset);
}

// Any size at all, where Wine's own answer for a DPI is always even.
int WINAPI SizeForDpi(int, UINT dpi) { return static_cast<int>(dpi) / 6; }
int systemSize = 0;
int WINAPI SystemSize(int) { return systemSize; }

}  // namespace

TEST_CASE("At every size from 16 to 32: the 100 images; each number in the threshold's colour, clear of the frame as at 16") {
    F f;
    TraySeams.getSystemMetricsForDpi = SizeForDpi;
    AppState.threshold = 50;
    // The bitmap face at 16, at its hand-made places.
    HFONT classicFont = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    std::pair<int, int> clear16[100];  // free columns left and right of each number at 16
    for (int size = 16; size <= 32; ++size) {
        CAPTURE(size);
        F::dpi = size * 6;
        FitIconCanvas();
        REQUIRE(AppState.canvas.size == size);
        for (const auto& image : {std::make_pair(AppState.canvas.hundredRed.get(), kRed),
                                  std::make_pair(AppState.canvas.hundredYellow.get(), kYellow)}) {
            const Pixels pixels = ReadBitmapPixels(image.first, size, size);
            for (int i = 0; size == kIconSize && i < kIconSize * kIconSize; ++i) {
                REQUIRE(pixels[i] == (kHundred[i / kIconSize][i % kIconSize] == '#' ? kNearWhite : image.second));
            }  // at other sizes the same design drawn for the size: no frame, the digits' ink
            CHECK((pixels[0] == image.second && pixels.back() == image.second && std::count(pixels.begin(), pixels.end(), kNearWhite) > size));
        }
        HDC dc = AppState.canvas.memDC.get();
        const HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP), font = GetCurrentObject(dc, OBJ_FONT);
        TEXTMETRICA metrics = {};
        SelectObject(dc, AppState.canvas.font.get());
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, font);
        CHECK((size == 16 || metrics.tmHeight - metrics.tmInternalLeading >= 12 * size / 16));  // narrowed, never shorter
        for (int value = 0; value < 100; ++value) {
            CAPTURE(value);
            const COLORREF colour = value < 50 ? kBlue : kRed;
            HICON icon = MakeLoadIcon(static_cast<uint8_t>(value));
            const Pixels glyph = ReadBitmapPixels(AppState.canvas.glyphBitmap.get(), size, size);
            if (value % 33 == 0) CHECK(DrawnIconPixels(icon, size) == glyph);  // no mask
            DestroyIcon(icon);
            const Ink ink = InkOf(glyph, size, size, 1), frame = InkOf(glyph, size, size, 0);
            CHECK((frame.colours == std::set<COLORREF>{colour} && ink.colours == frame.colours));
            const std::string text = Str(FormatInt(value));
            if (size == kIconSize) {
                const Ink drawn = InkOf(Drawn(text, 16, 16, classicFont, value < 10 ? 5 : 2, 1, colour), 16, 16, 0);
                CHECK((ink.shape == drawn.shape && ink.left == drawn.left));
                clear16[value] = {ink.left - 1, size - 2 - ink.right};
            } else {  // the same digits in the canvas's face, whole
                CHECK(ink.shape == InkOf(Drawn(text, 3 * size, size, AppState.canvas.font.get(), size, 0, colour), 3 * size, size, 0).shape);
                CHECK((ink.left - 1 >= clear16[value].first && size - 2 - ink.right >= clear16[value].second));
            }
        }
        CHECK((GetCurrentObject(dc, OBJ_BITMAP) == bitmap && GetCurrentObject(dc, OBJ_FONT) == font));  // as found
    }
    DeleteObject(classicFont);
    // No scratch bitmap, for the classic face at 16 or for the narrowing: each number centred
    // all the same, its free columns left and right of the ink within one of each other.
    TraySeams.createDibSection = RefusingDib;
    for (refused = 1; refused <= 2; ++refused) {
        dibCalls = 0;
        const int size = 20 + 4 * refused;
        F::dpi = size * 6;
        FitIconCanvas();
        for (int value = 0; value < 100; ++value) {
            CAPTURE(value);
            DestroyIcon(MakeLoadIcon(static_cast<uint8_t>(value)));
            const Ink ink = InkOf(ReadBitmapPixels(AppState.canvas.glyphBitmap.get(), size, size), size, size, 1);
            CHECK((dibCalls == refused + 1 && std::abs((ink.left - 1) - (size - 2 - ink.right)) <= 1));
        }
    }
    // No DPI from the taskbar (before Windows 10 1607, or none there): the system's size, else 16.
    F::dpi = 0, TraySeams.getSystemMetrics = SystemSize;
    for (const int metric : {20, 0}) CHECK(SmallIconSize() == ((systemSize = metric) ? metric : 16));
}

TEST_CASE("Each tick, pause, shell restart and new scale: what reaches the shell, with the icon and its tip, in one call or none") {
    F f;
    TraySeams.createDibSection = RefusingDib, refused = -1;  // counts the measurements of a canvas made at a size other than 16
    // A tick makes a call only for a changed value, or a 100 that blinks: red and yellow in
    // turn from red, a value below 100 starting the next run with red, the phase going on
    // with blinking off. A message that tells of a new scale has the icon drawn anew for the
    // taskbar's DPI at once when its size changed, as it stands (no sample, no blink step),
    // and the size asked once more by the next tick; an unchanged size costs one query.
    const auto tick = [](uint8_t load, bool blink = false) {
        return [=] { F::load = load, AppState.blinkEnabled = blink, F::Send(WM_TIMER, IDT_SAMPLE); };
    };
    const auto scale = [](UINT dpi, UINT message) { return [=] { F::dpi = dpi, F::Send(message); }; };
    struct Row {
        const char* name;
        std::function<void()> act;
        const char* tip;  // none: no call
        DWORD action;
        COLORREF shown;  // the pixel at (0, 0): the frame, the 100's background, or the program's icon
        int samples;     // -1: any
        int queries;     // of the taskbar's DPI
        int reads = 0;   // of the high-contrast setting
    };
    const DWORD A = NIM_ADD, M = NIM_MODIFY;
    const COLORREF text = F::scheme[1], selectedText = F::scheme[3];  // the frames in high contrast
    const Row rows[] = {
        {"start-up", [] { StopMonitoring(), F::ClearRecords(), StartMonitoring(); }, "Tembix", A, kProgramIcon, -1, 1, 1},
        {"before the first tick, 144 DPI", scale(144, WM_DISPLAYCHANGE), "Tembix", M, kProgramIcon, 0, 1},
        {"a load", tick(42), "Tembix: 42%", M, kBlue, 1, 1},      {"the same load", tick(42), nullptr, 0, 0, 1, 0},
        {"96 DPI with no message at all: asked within five ticks", [&] { F::dpi = 96; for (int i = 0; i < 5; ++i) tick(42)(); },
         "Tembix: 42%", M, kBlue, 5, 1},
        {"120 DPI told by the settings broadcast", scale(120, WM_SETTINGCHANGE), "Tembix: 42%", M, kBlue, 0, 1},
        {"a broadcast before the taskbar's new scale: the tick asks again", [] {
             F::Send(WM_DISPLAYCHANGE), F::dpi = 144, F::Send(WM_TIMER, IDT_SAMPLE);
         }, "Tembix: 42%", M, kBlue, 1, 2},
        {"the same scale: no canvas made anew", scale(144, WM_DPICHANGED), nullptr, 0, 0, 0, 1},
        {"the busiest processor counted: its first sample", [&] { F::busiest = 60, tick(43)(); }, "Tembix: 43%", M, kBlue, 1, 1},
        {"the same total, another busiest processor: nothing", [&] { F::busiest = 70, tick(43)(); }, nullptr, 0, 0, 1, 0},
        {"another: both of one tick", tick(44), "Tembix: 44% (busiest processor 70%)", M, kBlue, 1, 0},
        {"a contrast theme: drawn again as it stands", [] { F::contrast = true, F::busiest = 90, F::Send(WM_SYSCOLORCHANGE); },
         "Tembix: 44% (busiest processor 70%)", M, text, 0, 1, 1},
        {"another setting: the theme not asked", [] { F::contrast = false, F::Send(WM_SETTINGCHANGE, SPI_SETWORKAREA); }, nullptr, 0, 0, 0, 1},
        {"a tick does not ask it either", tick(81), "Tembix: 81%, at or above 80 (busiest processor 90%)", M, selectedText, 1, 1},
        {"the theme off", [] { F::Send(WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST); }, "Tembix: 81%, at or above 80 (busiest processor 90%)", M, kRed, 0, 1, 1},
        {"the longest tip", [&] { AppState.threshold = 100, F::busiest = 100, tick(100)(), AppState.threshold = 80; },
         "Tembix: 100%, at or above 100 (busiest processor 100%)", M, kRed, 1, 1},
        {"another", [&] { F::busiest = kNoBusiest, tick(43)(); }, "Tembix: 43%", M, kBlue, 1, 0},
        {"100", tick(100), "Tembix: 100%, at or above 80", M, kRed, 1, 0},
        {"100 unblinking", tick(100), nullptr, 0, 0, 1, 0},       {"99", tick(99), "Tembix: 99%, at or above 80", M, kRed, 1, 0},
        {"100 again", tick(100), "Tembix: 100%, at or above 80", M, kRed, 1, 1},
        {"blinking on", tick(100, true), "Tembix: 100%, at or above 80", M, kYellow, 1, 0},
        {"the yellow one at 96 DPI", scale(96, WM_DPICHANGED), "Tembix: 100%, at or above 80", M, kYellow, 0, 1},
        {"blinking", tick(100, true), "Tembix: 100%, at or above 80", M, kRed, 1, 1},
        {"below", tick(99, true), "Tembix: 99%, at or above 80", M, kRed, 1, 0},
        {"red first", tick(100, true), "Tembix: 100%, at or above 80", M, kRed, 1, 0},
        {"paused", [] {
             F::Send(WM_COMMAND, IDM_PAUSE);
             CHECK((AppState.paused && !F::TimerRunning() && AppState.sampler->prevIdleTime == 0));  // reset
             CHECK((AppState.lastShown == kNothingShown && !AppState.blinkPhase && F::trims == 1));
         }, "Tembix: paused", M, kProgramIcon, 0, 0},
        {"paused, at 120 DPI", scale(120, WM_DISPLAYCHANGE), "Tembix: paused", M, kProgramIcon, 0, 1},
        {"re-added while paused: no sample, no false 0", [] { F::Send(AppState.taskbarCreatedMsg); }, "Tembix: paused", A, kProgramIcon, 0, 1},
        {"resumed: a priming sample, then the load a tick later", [&] {
             F::Send(WM_COMMAND, IDM_RESUME);
             CHECK((!AppState.paused && F::calls.empty() && F::TimerRunning()));
             tick(100, true)();
         }, "Tembix: 100%, at or above 80", M, kRed, 2, 1},
        {"re-added while sampling, at 144 DPI", scale(144, AppState.taskbarCreatedMsg), "Tembix: 100%, at or above 80", A, kYellow, 1, 1},
        {"no sampler (no memory for it at start): 0", [&] { AppState.sampler.reset(), tick(55)(); }, "Tembix: 0%", M, kBlue, 0, 1},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        const int size = AppState.canvas.size;
        F::ClearRecords(), dibCalls = 0;
        row.act();
        CHECK(((row.samples < 0 || F::samples == row.samples) && F::contrastReads == row.reads));
        CHECK((F::dpiQueries == row.queries && AppState.canvas.size == static_cast<int>(F::dpi) / 6 && (size != AppState.canvas.size || !dibCalls)));
        if (!row.tip) {
            CHECK(F::calls.empty());
            continue;
        }
        REQUIRE(F::calls.size() == 1);
        const TNotifyIconData& data = F::calls[0].data;
        char tip[64] = {};  // the rest of the field zero
        std::strcpy(tip, row.tip);
        CHECK((F::calls[0].action == row.action && std::memcmp(data.szTip, tip, sizeof tip) == 0));
        CHECK((data.cbSize == kNotifyIconDataSize && data.hWnd == AppState.mainWindow && data.uID == 0));
        CHECK((data.uFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP) && data.uCallbackMessage == WM_TRAYICON));
        CHECK((F::calls[0].iconPixel == row.shown && F::calls[0].iconSize == AppState.canvas.size && !IconSize(data.hIcon)));  // then destroyed
    }
}

TEST_CASE("High contrast: the system's colours over the whole square, the state told by a filled square too") {
    F f;
    AppState.threshold = 50, AppState.blinkEnabled = F::contrast = true;
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255), cyan = RGB(26, 235, 255), grey = RGB(128, 128, 128);
    struct Row {
        COLORREF window, text, selection, selected;
        std::pair<COLORREF, COLORREF> looks[4];  // paper and ink: below, at or above, 100, its blink
    };
    const Row rows[] = {
        {black, white, cyan, black, {{black, white}, {cyan, black}, {cyan, black}, {white, black}}},  // High Contrast Black
        {white, white, grey, grey, {{white, black}, {grey, RGB(127, 127, 127)}, {grey, RGB(127, 127, 127)}, {white, black}}},
        {white, black, white, grey, {{white, black}, {black, white}, {black, white}, {black, white}}},  // no selection colour of its own
    };
    for (const Row& row : rows) {
        CAPTURE(&row - rows);
        F::scheme[0] = row.window, F::scheme[1] = row.text, F::scheme[2] = row.selection, F::scheme[3] = row.selected;
        F::Send(WM_SYSCOLORCHANGE);
        for (int i = 0; i < 4; ++i) {  // the second 100 is the other image of the blink
            const HICON icon = MakeLoadIcon(static_cast<uint8_t>(i == 0 ? 20 : i == 1 ? 70 : 100));
            const Pixels pixels = DrawnIconPixels(icon);
            DestroyIcon(icon);
            Screenshot{kIconSize, kIconSize, pixels}.Save("hc-" + std::to_string(&row - rows) + std::to_string(i));  // the docs step's
            const auto [paper, ink] = row.looks[i];  // the digits' cells on the paper; the numbers framed, the 100s not
            CHECK((std::set<COLORREF>(pixels.begin(), pixels.end()) == std::set<COLORREF>{paper, ink} && pixels[kIconSize + 1] == paper &&
                   pixels[0] == (i < 2 ? ink : paper)));
        }
    }
}

TEST_CASE("A refused add is retried, then the program closes; a re-add keeps an icon still there; nothing else is retried") {
    F f;
    struct Row {
        DWORD action;
        bool programIcon;
        std::vector<BOOL> results;
        std::vector<DWORD> errors, actions;
        size_t sleeps;
        int lastErrorReads, closes;
        bool paused;
    };
    const DWORD A = NIM_ADD, M = NIM_MODIFY, T = ERROR_TIMEOUT, D = NIM_DELETE;
    const Row rows[] = {
        {A, true, {}, {}, {A}, 0, 0, 0},
        {A, true, {FALSE, FALSE, TRUE}, {ERROR_ACCESS_DENIED, T}, {A, A, M}, 1, 1, 0},  // the first error is not looked at
        {A, true, {FALSE, FALSE}, {T, ERROR_ACCESS_DENIED}, {A, A}, 0, 1, 1},
        {A, true, std::vector<BOOL>(11, FALSE), std::vector<DWORD>(11, T), {A, A, M, A, M, A, M, A, M, A, M}, 5, 5, 1},
        {A, false, {FALSE, FALSE, TRUE}, {T, ERROR_INVALID_PARAMETER}, {A, A, M}, 0, 1, 0},  // after TaskbarCreated
        {A, true, {FALSE, FALSE, TRUE}, {T, ERROR_INVALID_PARAMETER}, {A, A, M}, 0, 1, 0, true},  // and while paused
        {M, true, {FALSE}, {T}, {M}, 0, 0, 0}, {D, false, {FALSE}, {T}, {D}, 0, 0, 0},
    };
    for (const Row& row : rows) {
        F::ClearRecords();
        F::results = row.results;
        F::errors = row.errors;
        AppState.paused = row.paused;
        UpdateTrayIcon(AppState.mainWindow, row.action, row.programIcon);
        std::vector<DWORD> actions;
        for (const ShellCall& call : F::calls) {
            actions.push_back(call.action);
            CHECK(std::memcmp(&call.data, &F::calls[0].data, sizeof call.data) == 0);  // the same record
        }
        int closes = 0;  // WM_CLOSE posted to the main window
        for (MSG msg; PeekMessageA(&msg, AppState.mainWindow, WM_CLOSE, WM_CLOSE, PM_REMOVE);) ++closes;
        CHECK((actions == row.actions && F::sleeps == std::vector<DWORD>(row.sleeps, 2000)));
        CHECK((F::lastErrorReads == row.lastErrorReads && closes == row.closes));
        CHECK_FALSE(IconSize(F::calls[0].data.hIcon));
    }
}

// The table of USER objects is the whole wineserver's, so this case runs alone (tray.leaks);
// under emulation the thousands of updates would take minutes.
TEST_CASE("Thousands of changing updates and size changes leak no GDI or USER object" * doctest::skip(Emulated())) {
    constexpr int kUpdates = 3000, kTolerance = 50;  // far below one object per update
    const int gdiBefore = Capacity(false), userBefore = Capacity(true);
    {
        F f;
        AppState.blinkEnabled = true;
        for (int i = 0; i < kUpdates; ++i) {
            F::load = static_cast<uint8_t>(i % 101);
            UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
            if (i % 15 == 0) {  // the canvas made anew 200 times
                F::dpi = F::dpi == 96 ? 144 : 96;
                FitIconCanvas();
            }
        }
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);  // and the program icon's path
        CHECK((F::calls.size() == kUpdates + 1 && F::calls.back().iconSize > 0));
    }
    const int gdiLost = gdiBefore - Capacity(false), userLost = userBefore - Capacity(true);
    CHECK((gdiBefore > kUpdates && gdiLost < kTolerance && userBefore > kUpdates && userLost < kTolerance));
}
