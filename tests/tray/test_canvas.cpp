#include <doctest.h>

#include "support/support.h"
#include "tray_fixture.h"

#include <set>

namespace {

bool IsHundredPixel(int x, int y) {
    for (int i = 0; i < 46; ++i) {
        if (HundredPixelsX[i] == x && HundredPixelsY[i] == y) return true;
    }
    return false;
}

HGDIOBJ Selected(UINT type) { return GetCurrentObject(AppState.canvas.memDC.get(), type); }

// The text alone, drawn the documented way into a scratch bitmap.
Pixels ReferenceText(const std::string& text, int x, COLORREF colour) {
    HDC screen = GetDC(nullptr);
    HBITMAP scratch = CreateCompatibleBitmap(screen, kIconSize, kIconSize);
    ReleaseDC(nullptr, screen);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, scratch);
    HBRUSH back = CreateSolidBrush(CLR_BACKGROUND);
    const RECT all = {0, 0, kIconSize, kIconSize};
    FillRect(dc, &all, back);
    DeleteObject(back);
    HGDIOBJ oldFont = SelectObject(dc, AppState.canvas.font.get());
    SetBkColor(dc, CLR_BACKGROUND);
    SetTextColor(dc, colour);
    ExtTextOutA(dc, x, 1, ETO_OPAQUE, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteDC(dc);
    Pixels pixels = ReadPixels(scratch);
    DeleteObject(scratch);
    return pixels;
}

int FirstInkedColumn(const Pixels& pixels) {
    for (int x = 1; x < kIconSize - 1; ++x) {
        for (int y = 1; y < kIconSize - 1; ++y) {
            if (PixelAt(pixels, x, y) != CLR_BACKGROUND) return x;
        }
    }
    return -1;
}

// The colours found inside the frame, and whether the frame is one colour all round.
std::set<COLORREF> InteriorColours(const Pixels& pixels) {
    std::set<COLORREF> colours;
    for (int y = 1; y < kIconSize - 1; ++y) {
        for (int x = 1; x < kIconSize - 1; ++x) colours.insert(PixelAt(pixels, x, y));
    }
    return colours;
}

std::set<COLORREF> FrameColours(const Pixels& pixels) {
    std::set<COLORREF> colours;
    for (int i = 0; i < kIconSize; ++i) {
        colours.insert(PixelAt(pixels, i, 0));
        colours.insert(PixelAt(pixels, i, kIconSize - 1));
        colours.insert(PixelAt(pixels, 0, i));
        colours.insert(PixelAt(pixels, kIconSize - 1, i));
    }
    return colours;
}

COLORREF IconColour(HICON icon) {
    const COLORREF corner = DrawnIconPixels(icon)[0];
    DestroyIcon(icon);
    return corner;
}

}  // namespace

TEST_CASE("The two 100 images: the digits in the background colour, no frame") {
    CanvasFixture canvas;
    struct Row {
        const char* name;
        HBITMAP bitmap;
        COLORREF background;
    };
    const Row rows[] = {{"red", AppState.canvas.hundredRed.get(), CLR_RED},
                        {"yellow", AppState.canvas.hundredYellow.get(), CLR_YELLOW}};
    for (const Row& row : rows) {
        CAPTURE(row.name);
        const Pixels pixels = ReadPixels(row.bitmap);
        int digitPixels = 0;
        for (int y = 0; y < kIconSize; ++y) {
            for (int x = 0; x < kIconSize; ++x) {
                const bool digit = IsHundredPixel(x, y);
                digitPixels += digit;
                CHECK(PixelAt(pixels, x, y) == (digit ? CLR_BACKGROUND : row.background));
            }
        }
        CHECK(digitPixels == 46);
        CHECK(PixelAt(pixels, 2, 5) == CLR_BACKGROUND);
        CHECK(PixelAt(pixels, 2, 4) == row.background);
        CHECK(FrameColours(pixels) == std::set<COLORREF>{row.background});
    }
    CHECK(CLR_BACKGROUND == RGB(255, 254, 255));
}

TEST_CASE("Painting leaves the memory DC with its own bitmap and font") {
    CanvasFixture canvas;
    // The fixture has painted the 100 images already; these are the objects it was made with.
    const HGDIOBJ bitmap = Selected(OBJ_BITMAP);
    const HGDIOBJ font = Selected(OBJ_FONT);
    for (HGDIOBJ own : {HGDIOBJ(AppState.canvas.glyphBitmap.get()), HGDIOBJ(AppState.canvas.hundredRed.get()),
                        HGDIOBJ(AppState.canvas.hundredYellow.get())}) {
        CHECK(bitmap != own);
    }
    CHECK(font != HGDIOBJ(AppState.canvas.font.get()));
    for (uint8_t value : {0, 42, 99, 100, 100, 255}) {
        CAPTURE(value);
        DestroyIcon(MakeLoadIcon(value));
        CHECK(Selected(OBJ_BITMAP) == bitmap);
        CHECK(Selected(OBJ_FONT) == font);
    }
    PaintLoadGlyph(7);
    CHECK(Selected(OBJ_BITMAP) == bitmap);
    CHECK(Selected(OBJ_FONT) == font);
}

TEST_CASE("The glyph: text position, colours and background") {
    CanvasFixture canvas;
    {
        // The positions below are those of Wine's bitmap "MS Sans Serif", registered in the test prefix.
        HDC dc = AppState.canvas.memDC.get();
        const ScopedSelect font(dc, AppState.canvas.font.get());
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc, &metrics);
        char face[LF_FACESIZE] = {};
        GetTextFaceA(dc, sizeof face, face);
        REQUIRE(std::string(face) == "MS Sans Serif");
        REQUIRE((metrics.tmPitchAndFamily & (TMPF_TRUETYPE | TMPF_VECTOR)) == 0);
    }

    SUBCASE("one digit from x = 5, two digits from x = 2") {
        struct Row {
            uint8_t value;
            int x;
            int firstInk;
        };
        const Row rows[] = {{0, 5, 6}, {9, 5, 6}, {10, 2, 3}, {99, 2, 3}};
        for (const Row& row : rows) {
            CAPTURE(row.value);
            PaintLoadGlyph(row.value);
            const Pixels glyph = ReadPixels(AppState.canvas.glyphBitmap.get());
            const Pixels reference =
                ReferenceText(FormatInt(row.value), row.x, row.value < AppState.threshold ? CLR_BLUE : CLR_RED);
            for (int y = 1; y < kIconSize - 1; ++y) {
                for (int x = 1; x < kIconSize - 1; ++x) {
                    CAPTURE(x);
                    CAPTURE(y);
                    REQUIRE(PixelAt(glyph, x, y) == PixelAt(reference, x, y));
                }
            }
            CHECK(FirstInkedColumn(glyph) == row.firstInk);
        }
    }
    SUBCASE("threshold 80: 79 is blue, 80 is red, text and frame alike") {
        struct Row {
            uint8_t value;
            COLORREF colour;
        };
        for (const Row& row : {Row{79, CLR_BLUE}, Row{80, CLR_RED}, Row{0, CLR_BLUE}, Row{99, CLR_RED}}) {
            CAPTURE(row.value);
            PaintLoadGlyph(row.value);
            const Pixels glyph = ReadPixels(AppState.canvas.glyphBitmap.get());
            CHECK(FrameColours(glyph) == std::set<COLORREF>{row.colour});
            CHECK(InteriorColours(glyph) == std::set<COLORREF>{CLR_BACKGROUND, row.colour});
        }
    }
    SUBCASE("threshold 100 keeps every value below 100 blue") {
        AppState.threshold = 100;
        for (int value = 0; value < 100; ++value) {
            CAPTURE(value);
            PaintLoadGlyph(static_cast<uint8_t>(value));
            const Pixels glyph = ReadPixels(AppState.canvas.glyphBitmap.get());
            REQUIRE(FrameColours(glyph) == std::set<COLORREF>{CLR_BLUE});
            REQUIRE(InteriorColours(glyph) == std::set<COLORREF>{CLR_BACKGROUND, CLR_BLUE});
        }
    }
    SUBCASE("threshold 1 makes 0 blue and 1 red") {
        AppState.threshold = 1;
        PaintLoadGlyph(0);
        CHECK(FrameColours(ReadPixels(AppState.canvas.glyphBitmap.get())) == std::set<COLORREF>{CLR_BLUE});
        PaintLoadGlyph(1);
        CHECK(FrameColours(ReadPixels(AppState.canvas.glyphBitmap.get())) == std::set<COLORREF>{CLR_RED});
    }
}

TEST_CASE("The icon covers its whole square with the source pixels") {
    CanvasFixture canvas;
    HICON icon = MakeLoadIcon(42);
    REQUIRE(IsLiveIcon(icon));
    const Pixels glyph = ReadPixels(AppState.canvas.glyphBitmap.get());
    ICONINFO info = {};
    REQUIRE(GetIconInfo(icon, &info));
    CHECK(ReadPixels(info.hbmColor) == glyph);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    CHECK(DrawnIconPixels(icon) == glyph);  // drawn over black: no pixel lets it through
    DestroyIcon(icon);

    const Pixels red = ReadPixels(AppState.canvas.hundredRed.get());
    for (uint8_t value : {100, 101, 255}) {
        CAPTURE(value);
        AppState.blinkPhase = false;
        HICON hundred = MakeLoadIcon(value);
        CHECK(DrawnIconPixels(hundred) == red);
        DestroyIcon(hundred);
    }
}

TEST_CASE("Blinking at 100") {
    CanvasFixture canvas;
    SUBCASE("on: red, yellow, red, yellow, red after 99") {
        AppState.blinkEnabled = true;
        DestroyIcon(MakeLoadIcon(99));
        CHECK_FALSE(AppState.blinkPhase);
        std::vector<COLORREF> seen;
        for (int i = 0; i < 5; ++i) seen.push_back(IconColour(MakeLoadIcon(100)));
        CHECK(seen == std::vector<COLORREF>{CLR_RED, CLR_YELLOW, CLR_RED, CLR_YELLOW, CLR_RED});
        CHECK(AppState.blinkPhase);
        DestroyIcon(MakeLoadIcon(50));  // any value below 100 starts the next run with red
        CHECK(IconColour(MakeLoadIcon(100)) == CLR_RED);
    }
    SUBCASE("off: always red, the phase still set") {
        for (int i = 0; i < 4; ++i) {
            CHECK(IconColour(MakeLoadIcon(100)) == CLR_RED);
            CHECK(AppState.blinkPhase);
        }
    }
    SUBCASE("switched on during a run at 100: the next one is yellow") {
        CHECK(IconColour(MakeLoadIcon(100)) == CLR_RED);
        AppState.blinkEnabled = true;
        CHECK(IconColour(MakeLoadIcon(100)) == CLR_YELLOW);
    }
}
