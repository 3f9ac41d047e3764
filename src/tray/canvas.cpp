#include "state/state.h"
#include "tray.h"

#include <cstring>

const uint8_t HundredPixelsX[46] = {2,  3,  3,  3,  3,  3,  3,  3,  3,  3,  5,  5,  5,  5,  5,  5,
                                    5,  6,  6,  7,  7,  8,  8,  8,  8,  8,  8,  8,  10, 10, 10, 10,
                                    10, 10, 10, 11, 11, 12, 12, 13, 13, 13, 13, 13, 13, 13};
const uint8_t HundredPixelsY[46] = {5, 3, 4, 5, 6,  7, 8, 9, 10, 11, 4, 5,  6, 7,  8, 9,  10, 3, 11, 3, 11, 4, 5,
                                    6, 7, 8, 9, 10, 4, 5, 6, 7,  8,  9, 10, 3, 11, 3, 11, 4,  5, 6,  7, 8,  9, 10};

namespace {

// Into the bitmap selected in the memory DC.
void PaintHundred(HDC dc, HBRUSH background) {
    FillRect(dc, &kWholeImage, background);
    for (size_t i = 0; i < sizeof HundredPixelsX; ++i)
        SetPixel(dc, HundredPixelsX[i], HundredPixelsY[i], CLR_BACKGROUND);
}

}  // namespace

void CreateIconCanvas() {
    IconCanvas& canvas = AppState.canvas;
    LOGFONTA logFont = {};
    logFont.lfHeight = -12;
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = ANSI_CHARSET;
    std::strncpy(logFont.lfFaceName, "MS Sans Serif", sizeof logFont.lfFaceName);
    canvas.font.reset(CreateFontIndirectA(&logFont));

    canvas.backBrush.reset(CreateSolidBrush(CLR_BACKGROUND));
    canvas.redBrush.reset(CreateSolidBrush(CLR_RED));
    canvas.blueBrush.reset(CreateSolidBrush(CLR_BLUE));

    {
        // Compatible with the screen, not with the memory DC, so that they are colour bitmaps.
        const unique_screen_dc screen(GetDC(nullptr));
        canvas.glyphBitmap.reset(CreateCompatibleBitmap(screen.get(), kIconSize, kIconSize));
        canvas.hundredRed.reset(CreateCompatibleBitmap(screen.get(), kIconSize, kIconSize));
        canvas.hundredYellow.reset(CreateCompatibleBitmap(screen.get(), kIconSize, kIconSize));
    }

    canvas.memDC.reset(CreateCompatibleDC(nullptr));
    SetBkColor(canvas.memDC.get(), CLR_BACKGROUND);
}

void PaintHundredImages() {
    IconCanvas& canvas = AppState.canvas;
    HDC dc = canvas.memDC.get();
    const unique_hbrush yellowBrush(CreateSolidBrush(CLR_YELLOW));
    const ScopedSelect keep(dc, canvas.hundredRed.get());
    PaintHundred(dc, canvas.redBrush.get());
    SelectObject(dc, canvas.hundredYellow.get());
    PaintHundred(dc, yellowBrush.get());
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
