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

// The drawing surface of every tray image, alive from start-up to shutdown, or until the
// system's small-icon size changes. Between operations the memory DC holds the bitmap and
// font it was created with.
struct IconCanvas {
    int size = 0;        // pixels square, the small-icon size it was made for
    int glyphX[100] = {};  // where each number's text starts
    unique_hdc memDC;
    unique_hbitmap glyphBitmap;
    unique_hbitmap hundredRed;
    unique_hbitmap hundredYellow;
    unique_hfont font;
    unique_hbrush backBrush;
    unique_hbrush redBrush;
    unique_hbrush blueBrush;
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
