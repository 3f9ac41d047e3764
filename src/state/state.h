// The process-wide state: the one record that the rooms above this one read and write,
// zero at start and alive until the process ends. It owns the sampler and the handles of
// the tray's drawing surface.
#pragma once

#include "cpu/cpumon.h"
#include "support/raii.h"
#include "support/support.h"

#include <windows.h>
#include <cstdint>

constexpr uint8_t kNothingShown = 255;  // lastShown: forces the next tick to repaint

// The colours of the tray icon: the square of a number below the threshold and at or above
// it, and the two 100 images (the first, and the one a blink alternates with), as paper and ink.
struct TIconLook {
    COLORREF paper[2], ink[2];
    COLORREF hundredPaper[2], hundredInk[2];
};

// The drawing surface of every tray image, alive from start-up to shutdown, or until the
// system's small-icon size changes. Between operations the memory DC holds the bitmap and
// font it was created with.
struct IconCanvas {
    int size = 0;        // pixels square, the small-icon size it was made for
    TIconLook look = {};  // and the colours
    int glyphX[100] = {};  // where each number's text starts
    unique_hdc memDC;
    unique_hbitmap glyphBitmap;
    unique_hbitmap hundredRed;     // the first 100 image
    unique_hbitmap hundredYellow;  // the one a blink alternates with
    unique_hfont font;
    unique_hbrush paperBrush[2];  // below the threshold, at or above it
    unique_hbrush inkBrush[2];
};

struct TAppState {
    HINSTANCE hInstance = nullptr;
    HWND mainWindow = nullptr;
    TWide exeDir;  // long form, ending in "\"
    UINT taskbarCreatedMsg = 0;
    unique_alloc<TCpuMon> sampler;  // null when there was no memory for it: the load reads 0
    bool blinkEnabled = false;
    uint8_t threshold = 0;  // 1..100
    uint8_t lastShown = 0;
    uint8_t busiestShown = kNoBusiest;  // the busiest processor of the sample lastShown came from
    bool highContrast = false;         // a contrast theme is on: the icon in the system's colours
    uint8_t unseen = 0;  // why nobody can see the icon (the kUnseen bits of app.h): no tick then
    // What tells Tembix of that: the session's notifications (wtsapi32, held while registered)
    // and the display's power setting, with the setting registered for.
    unique_hmodule sessionLibrary;
    void* displayNotify = nullptr;
    const GUID* displaySetting = nullptr;
    bool blinkPhase = false;  // false: the next 100 shown is the red one
    bool paused = false;
    // Ticks until the small-icon size is asked again: every few seconds, since a new scale of
    // the taskbar need not come with any message to this window; 1 after a display change.
    uint8_t sizeCheckIn = 0;
    HWND taskbarWindow = nullptr;  // whose DPI the icon is sized for, kept between shell restarts
    HMENU popupMenu = nullptr;
    HWND optionsDialog = nullptr;
    IconCanvas canvas;
};

extern TAppState AppState;
