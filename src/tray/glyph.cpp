#include "state/state.h"
#include "support/support.h"
#include "tray.h"

void PaintLoadGlyph(uint8_t value) {
    IconCanvas& canvas = AppState.canvas;
    HDC dc = canvas.memDC.get();
    const TNumberText text = FormatInt(value);
    const int state = value >= AppState.threshold;  // 1: at or above

    const int size = canvas.size;
    const RECT whole = {0, 0, size, size};
    const ScopedSelect bitmap(dc, canvas.glyphBitmap.get());
    FillRect(dc, &whole, canvas.paperBrush[state].get());
    {
        const ScopedSelect font(dc, canvas.font.get());
        // Across, the place laid out for the number with the canvas; the top at the 16-pixel
        // top scaled. Opaque cells on the paper, like the fill.
        SetTextColor(dc, canvas.look.ink[state]);
        SetBkColor(dc, canvas.look.paper[state]);
        ExtTextOutA(dc, canvas.glyphX[value], size / kIconSize, ETO_OPAQUE, nullptr, text.c_str(), static_cast<UINT>(text.size()),
                    nullptr);
    }
    FrameRect(dc, &whole, canvas.inkBrush[state].get());
}

HICON MakeLoadIcon(uint8_t value) {
    IconCanvas& canvas = AppState.canvas;
    if (value < 100) {
        PaintLoadGlyph(value);
        AppState.blinkPhase = false;
        return BitmapToIcon(canvas.glyphBitmap.get(), canvas.size, canvas.size);
    }
    if (AppState.blinkPhase && AppState.blinkEnabled) {
        AppState.blinkPhase = false;
        return BitmapToIcon(canvas.hundredYellow.get(), canvas.size, canvas.size);
    }
    // Set even with blinking off, so that switching it on during a run at 100 shows yellow next.
    AppState.blinkPhase = true;
    return BitmapToIcon(canvas.hundredRed.get(), canvas.size, canvas.size);
}

HICON RedrawLoadIcon(uint8_t value) {
    IconCanvas& canvas = AppState.canvas;
    if (value < 100) PaintLoadGlyph(value);
    // After a red 100 the phase is set, after a yellow one cleared.
    HBITMAP image = value < 100 ? canvas.glyphBitmap.get() : AppState.blinkPhase ? canvas.hundredRed.get() : canvas.hundredYellow.get();
    return BitmapToIcon(image, canvas.size, canvas.size);
}

HICON BitmapToIcon(HBITMAP bitmap, int cx, int cy) {
    // No mask: the icon covers its whole square, the near-white background included.
    const unique_himagelist list(ImageList_Create(cx, cy, ILC_COLORDDB, 1, 1));
    const int index = ImageList_Add(list.get(), bitmap, nullptr);
    return ImageList_GetIcon(list.get(), index, ILD_NORMAL);
}
