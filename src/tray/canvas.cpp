#include "state/state.h"
#include "tray.h"

#include <cstring>

const uint8_t HundredPixelsX[46] = {2,  3,  3,  3,  3,  3,  3,  3,  3,  3,  5,  5,  5,  5,  5,  5,
                                    5,  6,  6,  7,  7,  8,  8,  8,  8,  8,  8,  8,  10, 10, 10, 10,
                                    10, 10, 10, 11, 11, 12, 12, 13, 13, 13, 13, 13, 13, 13};
const uint8_t HundredPixelsY[46] = {5, 3, 4, 5, 6,  7, 8, 9, 10, 11, 4, 5,  6, 7,  8, 9,  10, 3, 11, 3, 11, 4, 5,
                                    6, 7, 8, 9, 10, 4, 5, 6, 7,  8,  9, 10, 3, 11, 3, 11, 4,  5, 6,  7, 8,  9, 10};

namespace {

// A font for the canvas: the bitmap face the icon was designed with at the classic 16 pixels;
// at other sizes Tahoma, a TrueType face on every system that scales its display (and Wine's
// own), which draws any height, where the bitmap face has only a few; without smoothing, so
// that the digits stay as crisp as the bitmap face's.
HFONT CreateCanvasFont(int size, int height, int width) {
    LOGFONTA logFont = {};
    logFont.lfHeight = -height;
    logFont.lfWidth = width;
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = ANSI_CHARSET;
    if (size != kIconSize) logFont.lfQuality = NONANTIALIASED_QUALITY;
    std::strncpy(logFont.lfFaceName, size == kIconSize ? "MS Sans Serif" : "Tahoma", sizeof logFont.lfFaceName);
    return CreateFontIndirectA(&logFont);
}

// Into the bitmap selected in the memory DC: at 16 pixels the hand-made digits, at other
// sizes the same near-white "100", unframed, centred.
void PaintHundred(HDC dc, HBRUSH background, int size) {
    const RECT whole = {0, 0, size, size};
    FillRect(dc, &whole, background);
    if (size == kIconSize) {
        for (size_t i = 0; i < sizeof HundredPixelsX; ++i) SetPixel(dc, HundredPixelsX[i], HundredPixelsY[i], CLR_BACKGROUND);
        return;
    }
    const unique_hfont font(CreateCanvasFont(size, size * 9 / 16, 0));  // as high as the hand-made ones
    const ScopedSelect selected(dc, font.get());
    SIZE extent = {};
    GetTextExtentPoint32A(dc, "100", 3, &extent);
    SetTextColor(dc, CLR_BACKGROUND);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, (size - extent.cx) / 2, (size - extent.cy) / 2, "100", 3);
    SetBkMode(dc, OPAQUE);
}

}  // namespace

void CreateIconCanvas() {
    IconCanvas& canvas = AppState.canvas;
    const int size = canvas.size = TraySeams.iconSize();
    canvas.font.reset(CreateCanvasFont(size, 12 * size / kIconSize, 0));  // 12 pixels high at 16

    canvas.backBrush.reset(CreateSolidBrush(CLR_BACKGROUND));
    canvas.redBrush.reset(CreateSolidBrush(CLR_RED));
    canvas.blueBrush.reset(CreateSolidBrush(CLR_BLUE));

    {
        // Compatible with the screen, not with the memory DC, so that they are colour bitmaps.
        const unique_screen_dc screen(GetDC(nullptr));
        canvas.glyphBitmap.reset(CreateCompatibleBitmap(screen.get(), size, size));
        canvas.hundredRed.reset(CreateCompatibleBitmap(screen.get(), size, size));
        canvas.hundredYellow.reset(CreateCompatibleBitmap(screen.get(), size, size));
    }

    canvas.memDC.reset(CreateCompatibleDC(nullptr));
    SetBkColor(canvas.memDC.get(), CLR_BACKGROUND);
}

void PaintHundredImages() {
    IconCanvas& canvas = AppState.canvas;
    HDC dc = canvas.memDC.get();
    const unique_hbrush yellowBrush(CreateSolidBrush(CLR_YELLOW));
    const ScopedSelect keep(dc, canvas.hundredRed.get());
    PaintHundred(dc, canvas.redBrush.get(), canvas.size);
    SelectObject(dc, canvas.hundredYellow.get());
    PaintHundred(dc, yellowBrush.get(), canvas.size);
}

void FitIconCanvas() {
    if (TraySeams.iconSize() == AppState.canvas.size) return;
    DestroyIconCanvas();
    CreateIconCanvas();
    PaintHundredImages();
}

void DestroyIconCanvas() {
    IconCanvas& canvas = AppState.canvas;
    // The DC goes first; by then it holds none of the canvas's objects.
    canvas.memDC.reset();
    canvas.glyphBitmap.reset();
    canvas.hundredRed.reset();
    canvas.hundredYellow.reset();
    canvas.font.reset();
    canvas.backBrush.reset();
    canvas.redBrush.reset();
    canvas.blueBrush.reset();
}
