// The notification-area icon: the off-screen canvas and its two 100 images, the load
// glyph with its blink rule, and the one operation that adds, changes and removes the icon.
#pragma once

#include "state/state.h"
#include "support/platform.h"
#include "support/raii.h"

#include <windows.h>
#include <shellapi.h>
#include <cstdint>

constexpr COLORREF CLR_BACKGROUND = 0x00FFFEFF;  // near-white, not pure white
constexpr COLORREF CLR_RED = 0x000000FF;
constexpr COLORREF CLR_BLUE = 0x00FF0000;
constexpr COLORREF CLR_YELLOW = 0x0000E3E3;

constexpr UINT WM_TRAYICON = 0x9000;

// Outside high contrast the colours above; in it the system's, the state told by shape too:
// below the threshold a framed square on the window colour, at or above it a filled one in
// the selection colour, and a blinking 100 alternating it with one filled with the text colour.
TIconLook IconLook(bool highContrast);
bool HighContrastOn();  // SPI_GETHIGHCONTRAST reports HCF_HIGHCONTRASTON
constexpr int kIconSize = 16;  // the classic size, which the 100 table and the glyph's places are for

// The 46 pixels of the digits "100", as x and y in painting order.
extern const uint8_t HundredPixelsX[46];
extern const uint8_t HundredPixelsY[46];

// The small-icon size for the taskbar's DPI where the system tells it (Windows 10 1607 on),
// else the system's small-icon size: 16 pixels, or more on a scaled display (20, 24, 32).
// Never 0.
int SmallIconSize();

void CreateIconCanvas(int size = SmallIconSize());
void PaintHundredImages();
void DestroyIconCanvas();
// Makes the canvas and its 100 images anew when the small-icon size or the look (for
// AppState.highContrast) is no longer the one they were made for; true when it did.
bool FitIconCanvas();

// value 0..99: the number in blue below the threshold, red at or above it.
void PaintLoadGlyph(uint8_t value);
// A new icon for the value, owned by the caller; at 100 and above one of the 100 images.
HICON MakeLoadIcon(uint8_t value);
// The icon of the value shown now, drawn again: at 100 the image of the current blink
// phase, which stays as it is.
HICON RedrawLoadIcon(uint8_t value);
HICON BitmapToIcon(HBITMAP bitmap, int cx, int cy);

// The first ANSI form of NOTIFYICONDATA, which every shell since Windows 95 accepts: 88
// bytes for a 32-bit process, 104 for a 64-bit one.
struct TNotifyIconData {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    char szTip[64];
};
constexpr size_t kNotifyIconDataSize = sizeof(void*) == 8 ? 104 : 88;
static_assert(sizeof(TNotifyIconData) == kNotifyIconDataSize, "the shell reads the original record");

// action: NIM_ADD, NIM_MODIFY or NIM_DELETE. Samples the load unless the program's own
// icon is wanted or the icon is being removed.
void UpdateTrayIcon(HWND window, DWORD action, bool useProgramIcon);
// After a change of the display, its scaling or its colours: when the small-icon size or the
// look changed, the canvas made anew and the icon replaced at once as it stands (the number
// last shown with its tip, or the program's own icon while paused or before the first tick),
// without a sample.
void RefitTrayIcon(HWND window);

// The DPI of the taskbar's window, through functions of Windows 10 1607 looked up at run
// time; 0 where the system lacks them or there is no taskbar. Asked every few seconds: the
// window is kept from one call to the next (AppState.taskbarWindow).
UINT TaskbarDpi();

// The shell, the wait and the last error of the add retry, and the taskbar's DPI, replaceable by tests.
struct TTraySeams {
    BOOL(WINAPI* shellNotifyIcon)(DWORD, PNOTIFYICONDATAA) = Shell_NotifyIconA;
    void(WINAPI* sleep)(DWORD) = Sleep;
    DWORD(WINAPI* getLastError)() = GetLastError;
    UINT (*taskbarDpi)() = TaskbarDpi;
    int(WINAPI* getSystemMetrics)(int) = GetSystemMetrics;  // the system's size, where the taskbar gives none
    // High contrast and the system's colours, which Wine never reports on.
    bool (*highContrast)() = HighContrastOn;
    DWORD(WINAPI* sysColor)(int) = GetSysColor;
    // The scratch bitmap of the digits' measurement, looked up so that the imports stay as they were.
    HBITMAP(WINAPI* createDibSection)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD) = [] {
        HBITMAP(WINAPI * function)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
        LookUpFunction(function, GetModuleHandleA("gdi32.dll"), "CreateDIBSection");
        return function;
    }();
    // The small-icon size for a DPI, Windows 10 1607's: null before.
    int(WINAPI* getSystemMetricsForDpi)(int, UINT) = [] {
        int(WINAPI * function)(int, UINT);
        LookUpFunction(function, GetModuleHandleA("user32.dll"), "GetSystemMetricsForDpi");
        return function;
    }();
};
extern TTraySeams TraySeams;
