#include "testlib.h"

namespace {

using Colours = std::vector<COLORREF>;
const COLORREF kNearWhite = RGB(255, 254, 255), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kYellow = RGB(227, 227, 0);

// The "100" as it must look, drawn here by hand: '#' is near-white, the rest the background.
const char* const kHundred[16] = {
    "................", "................", "................", "...#..##...##...", "...#.#..#.#..#..", "..##.#..#.#..#..",
    "...#.#..#.#..#..", "...#.#..#.#..#..", "...#.#..#.#..#..", "...#.#..#.#..#..", "...#.#..#.#..#..", "...#..##...##...",
    "................", "................", "................", "................"};

// The number alone as the platform draws it, opaque on near-white in a near-white square of
// the size: in "MS Sans Serif" of 12 pixels at (x, 1) at 16; at other sizes in Tahoma of
// 12/16 of the size, centred, its top at the 16-pixel top scaled.
Pixels ReferenceText(const std::string& text, int size, int x, COLORREF colour) {
    LOGFONTA logFont = {-12 * size / 16, 0, 0, 0, FW_NORMAL};
    logFont.lfQuality = size == 16 ? 0 : NONANTIALIASED_QUALITY;
    std::strcpy(logFont.lfFaceName, size == 16 ? "MS Sans Serif" : "Tahoma");
    HFONT font = CreateFontIndirectA(&logFont);
    const Pixels pixels = Paint(size, size, [&](HDC dc) {
        const RECT all = {0, 0, size, size};
        SelectObject(dc, font);
        SIZE extent = {};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        SetBkColor(dc, kNearWhite);
        SetTextColor(dc, colour);
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &all, "", 0, nullptr);
        ExtTextOutA(dc, size == 16 ? x : (size - extent.cx) / 2, size / 16, ETO_OPAQUE, nullptr, text.c_str(),
                    static_cast<UINT>(text.size()), nullptr);
    });
    DeleteObject(font);
    return pixels;
}

int iconSize = 16;  // the small-icon size the tests set

// How many more GDI (brushes) or USER (menus fill that table fastest) objects the process can
// create: Wine's GetGuiResources is a stub, so a leak shows as lost capacity.
int Capacity(bool user) {
    std::vector<HANDLE> objects;
    while (HANDLE object = user ? HANDLE(CreatePopupMenu()) : HANDLE(CreateSolidBrush(0))) objects.push_back(object);
    for (HANDLE object : objects) user ? DestroyMenu(HMENU(object)) : DeleteObject(HGDIOBJ(object));
    return static_cast<int>(objects.size());
}

// The glyph drawn for a value: its frame's colours, and its inside against the reference.
std::set<COLORREF> CheckGlyph(uint8_t value, int x, COLORREF colour) {
    const int size = AppState.canvas.size;
    DestroyIcon(MakeLoadIcon(value));
    Pixels glyph = ReadBitmapPixels(AppState.canvas.glyphBitmap.get(), size, size);
    std::set<COLORREF> frame;
    for (int i = 0; i < size * size; ++i) {
        if (i < size || i % size == 0 || i % size == size - 1 || i >= size * (size - 1)) {
            frame.insert(glyph[i]);
            glyph[i] = kNearWhite;
        }
    }
    CHECK(glyph == ReferenceText(FormatInt(value), size, x, colour));
    return frame;
}

}  // namespace

TEST_CASE("At 16, 20, 24 and 32 pixels: the 100 images on red and on yellow, the glyph the number in the threshold's colour") {
    F f;
    TraySeams.iconSize = [] { return iconSize; };
    struct Row {
        uint8_t threshold, value;
        int x;  // at 16 pixels
        COLORREF colour;
    };
    for (const int size : {20, 24, 32, 16}) {
        CAPTURE(size);
        iconSize = size;
        FitIconCanvas();
        REQUIRE(AppState.canvas.size == size);
        for (const auto& image : {std::make_pair(AppState.canvas.hundredRed.get(), kRed),
                                  std::make_pair(AppState.canvas.hundredYellow.get(), kYellow)}) {
            const Pixels pixels = ReadBitmapPixels(image.first, size, size);
            if (size != kIconSize) {  // the same design drawn for the size: no frame, the digits' ink
                CHECK((pixels[0] == image.second && pixels.back() == image.second));
                CHECK(std::count(pixels.begin(), pixels.end(), kNearWhite) > size);
                continue;
            }
            for (int i = 0; i < kIconSize * kIconSize; ++i) {
                REQUIRE(pixels[i] == (kHundred[i / kIconSize][i % kIconSize] == '#' ? kNearWhite : image.second));
            }
        }
        HDC dc = AppState.canvas.memDC.get();
        const HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP), font = GetCurrentObject(dc, OBJ_FONT);
        for (const Row& row : {Row{80, 0, 5, kBlue}, Row{80, 9, 5, kBlue}, Row{80, 10, 2, kBlue}, Row{80, 79, 2, kBlue},
                               Row{80, 80, 2, kRed}, Row{1, 1, 5, kRed}, Row{100, 99, 2, kBlue}}) {
            CAPTURE(int(row.value));
            AppState.threshold = row.threshold;
            HICON icon = MakeLoadIcon(row.value);
            CHECK(DrawnIconPixels(icon, size) == ReadBitmapPixels(AppState.canvas.glyphBitmap.get(), size, size));  // no mask
            DestroyIcon(icon);
            CHECK(CheckGlyph(row.value, row.x, row.colour) == std::set<COLORREF>{row.colour});
            CHECK((GetCurrentObject(dc, OBJ_BITMAP) == bitmap && GetCurrentObject(dc, OBJ_FONT) == font));  // as found
        }
    }
    const HGDIOBJ font = AppState.canvas.font.get();
    FitIconCanvas();  // the same size: nothing is made anew
    CHECK(AppState.canvas.font.get() == font);
}

TEST_CASE("Ticks: only a changed value, or a blinking 100, reaches the shell; every icon is destroyed") {
    F f;
    struct Row {
        bool blink;
        std::vector<uint8_t> loads;
        Colours shown;  // the pixel at (0, 0): the frame, or the 100's background
    };
    // Each row as after start-up, Pause or OK (any value repaints), going on from the last row's
    // blinking phase: blinking alternates red and yellow from red, a value below 100 starts the
    // next run with red, and the phase goes on with blinking off.
    for (const Row& row : {Row{false, {42, 42, 43}, {kBlue, kBlue}}, Row{false, {100, 100, 99, 100}, {kRed, kRed, kRed}},
                           Row{false, {100}, {kRed}}, Row{true, {100}, {kYellow}},
                           Row{true, {100, 100, 100, 99, 100}, {kRed, kYellow, kRed, kRed, kRed}}}) {
        AppState.lastShown = kNothingShown;
        AppState.blinkEnabled = row.blink;
        F::ClearRecords();
        for (uint8_t load : row.loads) {
            F::load = load;
            UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
        }
        Colours shown;
        for (const ShellCall& call : F::calls) {
            CHECK((call.iconLive && !IsLiveIcon(call.data.hIcon)));
            shown.push_back(call.iconPixel);
        }
        CHECK((shown == row.shown && F::samples == int(row.loads.size()) && AppState.lastShown == row.loads.back()));
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
    };
    const DWORD A = NIM_ADD, M = NIM_MODIFY, T = ERROR_TIMEOUT, D = NIM_DELETE;
    const Row rows[] = {
        {A, true, {}, {}, {A}, 0, 0, 0},
        {A, true, {FALSE, FALSE, TRUE}, {ERROR_ACCESS_DENIED, T}, {A, A, M}, 1, 1, 0},  // the first error is not looked at
        {A, true, {FALSE, FALSE}, {T, ERROR_ACCESS_DENIED}, {A, A}, 0, 1, 1},
        {A, true, std::vector<BOOL>(11, FALSE), std::vector<DWORD>(11, T), {A, A, M, A, M, A, M, A, M, A, M}, 5, 5, 1},
        {A, false, {FALSE, FALSE, TRUE}, {T, ERROR_INVALID_PARAMETER}, {A, A, M}, 0, 1, 0},  // after TaskbarCreated
        {M, true, {FALSE}, {T}, {M}, 0, 0, 0}, {D, false, {FALSE}, {T}, {D}, 0, 0, 0},
    };
    for (const Row& row : rows) {
        F::ClearRecords();
        F::results = row.results;
        F::errors = row.errors;
        UpdateTrayIcon(AppState.mainWindow, row.action, row.programIcon);
        std::vector<DWORD> actions;
        for (const ShellCall& call : F::calls) {
            actions.push_back(call.action);
            CHECK(std::memcmp(&call.data, &F::calls[0].data, sizeof call.data) == 0);  // the same record
        }
        CHECK((actions == row.actions && F::sleeps == std::vector<DWORD>(row.sleeps, 2000)));
        CHECK((F::lastErrorReads == row.lastErrorReads && F::TakeCloseMessages() == row.closes));
        CHECK_FALSE(IsLiveIcon(F::calls[0].data.hIcon));
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
        TraySeams.iconSize = [] { return iconSize; };
        for (int i = 0; i < kUpdates; ++i) {
            F::load = static_cast<uint8_t>(i % 101);
            UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
            if (i % 15 == 0) {  // the canvas made anew 200 times
                iconSize = iconSize == 16 ? 24 : 16;
                FitIconCanvas();
            }
        }
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);  // and the program icon's path
        CHECK((F::calls.size() == kUpdates + 1 && F::calls.back().iconLive));
    }
    const int gdiLost = gdiBefore - Capacity(false), userLost = userBefore - Capacity(true);
    MESSAGE("capacity lost: GDI " << gdiLost << ", USER " << userLost);
    CHECK((gdiBefore > kUpdates && gdiLost < kTolerance && userBefore > kUpdates && userLost < kTolerance));
}
