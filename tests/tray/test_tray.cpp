#include <doctest.h>

#include "support/support.h"
#include "testlib.h"

#include <cstring>
#include <set>

namespace {

using F = AppFixture;
using Colours = std::vector<COLORREF>;
const COLORREF kNearWhite = RGB(255, 254, 255), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kYellow = RGB(227, 227, 0);

// The "100" as it must look, drawn here by hand: '#' is near-white, the rest the background.
const char* const kHundred[16] = {
    "................", "................", "................", "...#..##...##...",
    "...#.#..#.#..#..", "..##.#..#.#..#..", "...#.#..#.#..#..", "...#.#..#.#..#..",
    "...#.#..#.#..#..", "...#.#..#.#..#..", "...#.#..#.#..#..", "...#..##...##...",
    "................", "................", "................", "................",
};

// The number alone as the platform draws it in "MS Sans Serif" of 12 pixels at (x, 1), opaque
// on near-white, in a near-white square.
Pixels ReferenceText(const std::string& text, int x, COLORREF colour) {
    LOGFONTA logFont = {-12, 0, 0, 0, FW_NORMAL};
    std::strcpy(logFont.lfFaceName, "MS Sans Serif");
    HFONT font = CreateFontIndirectA(&logFont);
    const Pixels pixels = Paint(kIconSize, kIconSize, [&](HDC dc) {
        const RECT all = {0, 0, kIconSize, kIconSize};
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkColor(dc, kNearWhite);
        SetTextColor(dc, colour);
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &all, "", 0, nullptr);
        ExtTextOutA(dc, x, 1, ETO_OPAQUE, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
        SelectObject(dc, previous);
    });
    DeleteObject(font);
    return pixels;
}

std::set<COLORREF> FrameColours(const Pixels& p) {
    std::set<COLORREF> colours;
    for (int i = 0; i < kIconSize; ++i) colours.insert({p[i], p[i * kIconSize], p[i * kIconSize + 15], p[240 + i]});
    return colours;
}

COLORREF Shown(HICON icon) {
    const COLORREF corner = DrawnIconPixels(icon)[0];
    DestroyIcon(icon);
    return corner;
}

void Tick(uint8_t load) {
    F::load = load;
    UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
}

}  // namespace

TEST_CASE("The two 100 images: the digits in near-white on red and on yellow, no frame") {
    F f;
    for (const auto& image : {std::make_pair(AppState.canvas.hundredRed.get(), kRed),
                              std::make_pair(AppState.canvas.hundredYellow.get(), kYellow)}) {
        const Pixels pixels = ReadBitmapPixels(image.first);
        for (int i = 0; i < kIconSize * kIconSize; ++i) {
            CAPTURE(i);
            CHECK(pixels[i] == (kHundred[i / kIconSize][i % kIconSize] == '#' ? kNearWhite : image.second));
        }
    }
}

TEST_CASE("The glyph: the number where the platform draws it, text and frame in the threshold's colour") {
    F f;
    HDC dc = AppState.canvas.memDC.get();
    const HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP), font = GetCurrentObject(dc, OBJ_FONT);
    struct Row {
        uint8_t threshold, value;
        int x;
        COLORREF colour;
    };
    const Row rows[] = {{80, 0, 5, kBlue}, {80, 9, 5, kBlue}, {80, 10, 2, kBlue}, {80, 79, 2, kBlue}, {80, 80, 2, kRed},
                        {80, 99, 2, kRed}, {1, 0, 5, kBlue},  {1, 1, 5, kRed},    {100, 99, 2, kBlue}};
    for (const Row& row : rows) {
        CAPTURE(int(row.value));
        AppState.threshold = row.threshold;
        HICON icon = MakeLoadIcon(row.value);
        const Pixels glyph = ReadBitmapPixels(AppState.canvas.glyphBitmap.get());
        const Pixels reference = ReferenceText(FormatInt(row.value), row.x, row.colour);
        CHECK(DrawnIconPixels(icon) == glyph);  // no mask: the icon covers its whole square
        DestroyIcon(icon);
        CHECK(FrameColours(glyph) == std::set<COLORREF>{row.colour});
        for (int y = 1; y < kIconSize - 1; ++y) {
            for (int x = 1; x < kIconSize - 1; ++x) REQUIRE(glyph[y * kIconSize + x] == reference[y * kIconSize + x]);
        }
        CHECK(GetCurrentObject(dc, OBJ_BITMAP) == bitmap);  // painting leaves the DC as it found it
        CHECK(GetCurrentObject(dc, OBJ_FONT) == font);
    }
}

TEST_CASE("At 100 and above: red, or red and yellow in turn when blinking") {
    F f;
    const auto run = [](int count) {
        Colours seen;
        for (int i = 0; i < count; ++i) seen.push_back(Shown(MakeLoadIcon(i % 2 ? 100 : 255)));
        return seen;
    };
    CHECK(run(3) == Colours{kRed, kRed, kRed});  // blinking off: always red...
    AppState.blinkEnabled = true;
    CHECK(run(2) == Colours{kYellow, kRed});  // ...but the phase went on
    DestroyIcon(MakeLoadIcon(99));         // a value below 100 starts the next run with red
    CHECK(run(5) == Colours{kRed, kYellow, kRed, kYellow, kRed});
}

TEST_CASE("Ticks: only a changed value, or a blinking 100, reaches the shell; every icon is destroyed") {
    F f;
    struct Row {
        bool blink;
        std::vector<uint8_t> loads;
        Colours shown;
    };
    const Row rows[] = {{false, {42, 42, 43}, {kBlue, kBlue}},
                        {false, {100, 100, 100}, {kRed}},
                        {true, {100, 100, 100, 99, 100}, {kRed, kYellow, kRed, kRed, kRed}}};
    for (const Row& row : rows) {
        AppState.lastShown = kNothingShown;
        AppState.blinkEnabled = row.blink;
        AppState.blinkPhase = false;
        F::ClearRecords();
        for (uint8_t load : row.loads) Tick(load);
        CHECK(F::samples == int(row.loads.size()));
        Colours shown;
        for (const ShellCall& call : F::calls) {
            CHECK((call.action == NIM_MODIFY && call.iconLive && !IsLiveIcon(call.data.hIcon)));
            shown.push_back(call.iconPixel);
        }
        CHECK(shown == row.shown);
        CHECK(AppState.lastShown == row.loads.back());
    }
    F::ClearRecords();
    Tick(42);
    AppState.lastShown = kNothingShown;  // as after Pause or OK: an unchanged value repaints
    Tick(42);
    CHECK(F::calls.size() == 2);
}

TEST_CASE("The record of adds, modifies and deletes; the program's own icon") {
    F f;
    F::load = 42;
    AppState.lastShown = 17;
    UpdateTrayIcon(AppState.mainWindow, NIM_ADD, false);    // a fresh sample, lastShown kept
    UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, true);  // the program icon: no sample
    UpdateTrayIcon(AppState.mainWindow, NIM_DELETE, false);
    CHECK(F::samples == 1);
    CHECK(AppState.lastShown == 17);
    REQUIRE(F::calls.size() == 3);
    for (const ShellCall& call : F::calls) {
        const TNotifyIconData& data = call.data;
        const bool kept = call.action != NIM_DELETE;
        CHECK((data.cbSize == kNotifyIconDataSize && data.hWnd == AppState.mainWindow && data.uID == 0));
        CHECK((data.uFlags == (kept ? 7u : 0u) && data.uCallbackMessage == (kept ? 0x9000u : 0u)));
        CHECK(std::string(data.szTip, 64) == (kept ? std::string("Tembix") : "") + std::string(kept ? 58 : 64, '\0'));
        CHECK((call.iconLive == kept && !IsLiveIcon(data.hIcon)));
    }
    CHECK(F::calls[0].iconPixel == kBlue);
    CHECK(F::calls[1].iconPixel == RGB(192, 192, 192));  // the chart's light top-left edge
}

TEST_CASE("A refused add is retried, then the program closes; other actions are not retried") {
    F f;
    struct Row {
        std::vector<BOOL> results;
        std::vector<DWORD> errors;
        std::vector<DWORD> actions;
        size_t sleeps;
        int lastErrorReads, closes;
    };
    const DWORD A = NIM_ADD, M = NIM_MODIFY, T = ERROR_TIMEOUT;
    const Row rows[] = {
        {{}, {}, {A}, 0, 0, 0},
        {{FALSE, FALSE, TRUE}, {ERROR_ACCESS_DENIED, T}, {A, A, M}, 1, 1, 0},  // the first error is not looked at
        {{FALSE, FALSE}, {T, ERROR_ACCESS_DENIED}, {A, A}, 0, 1, 1},
        {std::vector<BOOL>(11, FALSE), std::vector<DWORD>(11, T), {A, A, M, A, M, A, M, A, M, A, M}, 5, 5, 1},
    };
    for (const Row& row : rows) {
        F::ClearRecords();
        F::results = row.results;
        F::errors = row.errors;
        UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);
        std::vector<DWORD> actions;
        for (const ShellCall& call : F::calls) {
            actions.push_back(call.action);
            CHECK(std::memcmp(&call.data, &F::calls[0].data, sizeof call.data) == 0);  // the same record
        }
        CHECK(actions == row.actions);
        CHECK(F::sleeps == std::vector<DWORD>(row.sleeps, 2000));
        CHECK(F::lastErrorReads == row.lastErrorReads);
        CHECK(F::TakeCloseMessages() == row.closes);
        CHECK_FALSE(IsLiveIcon(F::calls[0].data.hIcon));
    }
    F::ClearRecords();
    F::results = {FALSE, FALSE};
    F::errors = {T, T};
    Tick(5);
    UpdateTrayIcon(AppState.mainWindow, NIM_DELETE, false);
    CHECK(F::calls.size() == 2);
    CHECK(F::sleeps.empty());
    CHECK(F::TakeCloseMessages() == 0);
}
