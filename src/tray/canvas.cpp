#include "state/state.h"
#include "tray.h"

#include <algorithm>
#include <cstring>
#include <utility>

const uint8_t HundredPixelsX[46] = {2,  3,  3,  3,  3,  3,  3,  3,  3,  3,  5,  5,  5,  5,  5,  5,
                                    5,  6,  6,  7,  7,  8,  8,  8,  8,  8,  8,  8,  10, 10, 10, 10,
                                    10, 10, 10, 11, 11, 12, 12, 13, 13, 13, 13, 13, 13, 13};
const uint8_t HundredPixelsY[46] = {5, 3, 4, 5, 6,  7, 8, 9, 10, 11, 4, 5,  6, 7,  8, 9,  10, 3, 11, 3, 11, 4, 5,
                                    6, 7, 8, 9, 10, 4, 5, 6, 7,  8,  9, 10, 3, 11, 3, 11, 4,  5, 6,  7, 8,  9, 10};

namespace {

// Windows 10 1607's, for the taskbar's DPI: the taskbar's display may have another scale than
// the one at sign-in, which GetSystemMetrics keeps reporting.
UINT(WINAPI* const getDpiForWindow)(HWND) = [] {
    UINT(WINAPI * function)(HWND);
    LookUpFunction(function, GetModuleHandleA("user32.dll"), "GetDpiForWindow");
    return function;
}();

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
// sizes the same "100", unframed, centred; in the ink on the paper.
void PaintHundred(HDC dc, COLORREF paper, COLORREF ink, int size) {
    const RECT whole = {0, 0, size, size};
    const unique_hbrush brush(CreateSolidBrush(paper));
    FillRect(dc, &whole, brush.get());
    if (size == kIconSize) {
        for (size_t i = 0; i < sizeof HundredPixelsX; ++i) SetPixel(dc, HundredPixelsX[i], HundredPixelsY[i], ink);
        return;
    }
    const unique_hfont font(CreateCanvasFont(size, size * 9 / 16, 0));  // as high as the hand-made ones
    const ScopedSelect selected(dc, font.get());
    SIZE extent = {};
    GetTextExtentPoint32A(dc, "100", 3, &extent);
    SetTextColor(dc, ink);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, (size - extent.cx) / 2, (size - extent.cy) / 2, "100", 3);
    SetBkMode(dc, OPAQUE);
}

// The columns a digit inks when drawn at x = 0 in the DC's font, and how far it moves the
// pen: drawn where the pixels can be read back, since a bitmap face has no outline to ask, and
// a TrueType face's own account of its ink is a column off here and there. Into a scratch
// bitmap; where none can be made (GDI exhausted, say), into `slowSurface`, if given, read a
// pixel at a time. False when neither can be had: `ink` then holds nothing.
struct TInk {
    int first, last, advance;
};
bool MeasureDigits(HDC dc, int size, TInk (&ink)[10], HBITMAP slowSurface = nullptr) {
    BOOL(WINAPI * gdiFlush)();
    COLORREF(WINAPI * getPixel)(HDC, int, int);
    LookUpFunction(gdiFlush, GetModuleHandleA("gdi32.dll"), "GdiFlush");
    LookUpFunction(getPixel, GetModuleHandleA("gdi32.dll"), "GetPixel");
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 3 * size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const unique_hbitmap scratch(TraySeams.createDibSection ? TraySeams.createDibSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                                                            : nullptr);
    const bool fast = scratch && bits && gdiFlush;
    if (!fast && !(slowSurface && getPixel)) return false;
    const int width = fast ? 3 * size : size, pad = fast ? size : size / 4;  // room for ink left of the pen
    const ScopedSelect keep(dc, fast ? scratch.get() : slowSurface);
    const RECT whole = {0, 0, width, size};
    SetTextColor(dc, 0);
    for (char digit = '0'; digit <= '9'; ++digit) {
        TInk& d = ink[digit - '0'];
        ExtTextOutA(dc, pad, 0, ETO_OPAQUE, &whole, &digit, 1, nullptr);  // on the DC's near-white
        if (fast) gdiFlush();
        d = {width, -1, 0};
        for (int i = 0; i < width * size; ++i) {
            // Symmetric in red and blue, so the same in a bitmap's order and a COLORREF's.
            const DWORD pixel = fast ? static_cast<const DWORD*>(bits)[i] : getPixel(dc, i % width, i / width);
            if ((pixel & 0xFFFFFF) == CLR_BACKGROUND) continue;
            d.first = std::min(d.first, i % width - pad);
            d.last = std::max(d.last, i % width - pad);
        }
        SIZE extent = {};
        GetTextExtentPoint32A(dc, &digit, 1, &extent);
        d.advance = extent.cx;
    }
    return true;
}

// The first and last column a number inks when its text starts at x = 0.
std::pair<int, int> InkOf(const TInk (&ink)[10], int value) {
    if (value < 10) return {ink[value].first, ink[value].last};
    return {ink[value / 10].first, ink[value / 10].advance + ink[value % 10].last};
}

int ClassicX(int value) { return value < 10 ? 5 : 2; }  // the hand-made places at 16 pixels

// Places every number for the measured digits; false when some number cannot keep at least
// the free columns it has at 16 between the frame and its ink on each side.
bool PlaceGlyphs(IconCanvas& canvas, const TInk (&at16)[10], const TInk (&ink)[10]) {
    bool fits = true;
    for (int value = 0; value < 100; ++value) {
        const auto classic = InkOf(at16, value), here = InkOf(ink, value);
        const int x16 = ClassicX(value);
        // The range of the ink's first column, centred in it.
        const int low = x16 + classic.first;
        const int high = canvas.size - kIconSize + x16 + classic.second - (here.second - here.first);
        fits = fits && low <= high;
        canvas.glyphX[value] = (low + std::max(low, high)) / 2 - here.first;
    }
    return fits;
}

// Each number's ink centred between the frames: the places when the ink can only be read a
// pixel at a time, which is too slow for the classic face's measurement and the narrowing too.
void CentreGlyphs(IconCanvas& canvas, const TInk (&ink)[10]) {
    for (int value = 0; value < 100; ++value) {
        const auto columns = InkOf(ink, value);
        canvas.glyphX[value] = (canvas.size - (columns.second - columns.first + 1)) / 2 - columns.first;
    }
}

// Where each number's text starts. At 16 pixels the hand-made places of the bitmap face; at
// other sizes each number centred, keeping at least its free columns of 16 on each side,
// the face narrowed (never made shorter) until every number fits. All of it is measured,
// since the faces differ between systems.
void LayOutGlyphs(IconCanvas& canvas) {
    const int size = canvas.size, height = 12 * size / kIconSize;  // 12 pixels high at 16
    HDC dc = canvas.memDC.get();
    for (int value = 0; value < 100; ++value) canvas.glyphX[value] = ClassicX(value);
    canvas.font.reset(CreateCanvasFont(size, height, 0));
    if (size == kIconSize) return;
    TInk at16[10], ink[10];
    bool measured;
    {
        const unique_hfont classic(CreateCanvasFont(kIconSize, 12, 0));
        const ScopedSelect font(dc, classic.get());
        measured = MeasureDigits(dc, kIconSize, at16);
    }
    for (int width = 0; measured;) {
        {
            const ScopedSelect font(dc, canvas.font.get());
            if (!(measured = MeasureDigits(dc, size, ink))) break;
        }
        if (width == 0) width = ink[0].advance;  // narrower from there
        if (PlaceGlyphs(canvas, at16, ink) || --width < 1) return;
        canvas.font.reset(CreateCanvasFont(size, height, width));
    }
    const ScopedSelect font(dc, canvas.font.get());
    if (MeasureDigits(dc, size, ink, canvas.glyphBitmap.get())) CentreGlyphs(canvas, ink);
}

}  // namespace

bool HighContrastOn() {
    HIGHCONTRASTA contrast = {};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) && (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

TIconLook IconLook(bool highContrast) {
    if (!highContrast) return {{CLR_BACKGROUND, CLR_BACKGROUND}, {CLR_BLUE, CLR_RED}, {CLR_RED, CLR_YELLOW}, {CLR_BACKGROUND, CLR_BACKGROUND}};
    const COLORREF window = TraySeams.sysColor(COLOR_WINDOW), text = TraySeams.sysColor(COLOR_WINDOWTEXT);
    const COLORREF highlight = TraySeams.sysColor(COLOR_HIGHLIGHT), highlightText = TraySeams.sysColor(COLOR_HIGHLIGHTTEXT);
    // A selection colour that is the window's would tell the states by their frame alone.
    const bool distinct = highlight != window;
    TIconLook look = {{window, distinct ? highlight : text}, {text, distinct ? highlightText : window}, {}, {}};
    look.hundredPaper[0] = look.paper[1], look.hundredInk[0] = look.ink[1];
    look.hundredPaper[1] = text, look.hundredInk[1] = window;
    // Digits in the colour of their square would vanish: they take its complement.
    for (int i = 0; i < 2; ++i) {
        if (look.ink[i] == look.paper[i]) look.ink[i] = look.paper[i] ^ 0xFFFFFF;
        if (look.hundredInk[i] == look.hundredPaper[i]) look.hundredInk[i] = look.hundredPaper[i] ^ 0xFFFFFF;
    }
    return look;
}

int SmallIconSize() {
    const UINT dpi = TraySeams.taskbarDpi();
    const int size = dpi && TraySeams.getSystemMetricsForDpi ? TraySeams.getSystemMetricsForDpi(SM_CXSMICON, dpi) : 0;
    if (size > 0) return size;
    const int systemSize = TraySeams.getSystemMetrics(SM_CXSMICON);
    return systemSize > 0 ? systemSize : kIconSize;
}

UINT TaskbarDpi() {
    if (!getDpiForWindow) return 0;
    // The window is looked for only when the one kept is gone, for which the DPI is 0.
    const UINT dpi = AppState.taskbarWindow ? getDpiForWindow(AppState.taskbarWindow) : 0;
    if (dpi) return dpi;
    AppState.taskbarWindow = FindWindowA("Shell_TrayWnd", nullptr);
    return AppState.taskbarWindow ? getDpiForWindow(AppState.taskbarWindow) : 0;
}

namespace {

// The look's brushes; the 100 images are painted in it by PaintHundredImages.
void ColourIconCanvas(const TIconLook& look) {
    IconCanvas& canvas = AppState.canvas;
    canvas.look = look;
    for (int state = 0; state < 2; ++state) {
        canvas.paperBrush[state].reset(CreateSolidBrush(look.paper[state]));
        canvas.inkBrush[state].reset(CreateSolidBrush(look.ink[state]));
    }
}

}  // namespace

void CreateIconCanvas(int size) {
    IconCanvas& canvas = AppState.canvas;
    canvas.size = size;
    ColourIconCanvas(IconLook(AppState.highContrast));

    {
        // Compatible with the screen, not with the memory DC, so that they are colour bitmaps.
        const unique_screen_dc screen(GetDC(nullptr));
        canvas.glyphBitmap.reset(CreateCompatibleBitmap(screen.get(), size, size));
        canvas.hundredRed.reset(CreateCompatibleBitmap(screen.get(), size, size));
        canvas.hundredYellow.reset(CreateCompatibleBitmap(screen.get(), size, size));
    }

    canvas.memDC.reset(CreateCompatibleDC(nullptr));
    SetBkColor(canvas.memDC.get(), CLR_BACKGROUND);
    LayOutGlyphs(canvas);
}

void PaintHundredImages() {
    IconCanvas& canvas = AppState.canvas;
    HDC dc = canvas.memDC.get();
    const TIconLook& look = canvas.look;
    const ScopedSelect keep(dc, canvas.hundredRed.get());
    PaintHundred(dc, look.hundredPaper[0], look.hundredInk[0], canvas.size);
    SelectObject(dc, canvas.hundredYellow.get());
    PaintHundred(dc, look.hundredPaper[1], look.hundredInk[1], canvas.size);
}

bool FitIconCanvas() {
    const int size = SmallIconSize();
    const TIconLook look = IconLook(AppState.highContrast);
    const bool sameLook = std::memcmp(&look, &AppState.canvas.look, sizeof look) == 0;
    if (size == AppState.canvas.size && sameLook) return false;
    if (size == AppState.canvas.size) {
        ColourIconCanvas(look);  // the digits keep their places
    } else {
        DestroyIconCanvas();
        CreateIconCanvas(size);
    }
    PaintHundredImages();
    return true;
}

void DestroyIconCanvas() {
    IconCanvas& canvas = AppState.canvas;
    // The DC goes first; by then it holds none of the canvas's objects.
    canvas.memDC.reset();
    canvas.glyphBitmap.reset();
    canvas.hundredRed.reset();
    canvas.hundredYellow.reset();
    canvas.font.reset();
    for (int state = 0; state < 2; ++state) canvas.paperBrush[state].reset(), canvas.inkBrush[state].reset();
}
