// What the tray tests share: pixels read back from real bitmaps and icons, a sampler
// whose load the test chooses, and a recording stand-in for the shell.
#pragma once

#include "app/app_state.h"
#include "tray/tray.h"

#include <string>
#include <vector>

using Pixels = std::vector<COLORREF>;  // 16 x 16, row by row, as COLORREF (0x00BBGGRR)

Pixels ReadPixels(HBITMAP bitmap);
COLORREF PixelAt(const Pixels& pixels, int x, int y);
// The icon drawn over black: any transparent pixel would show black.
Pixels DrawnIconPixels(HICON icon);
bool IsLiveIcon(HICON icon);

// The canvas made and painted as start-up does; destroyed afterwards.
struct CanvasFixture {
    CanvasFixture();
    ~CanvasFixture();
};

// A real TCpuMon whose native query is scripted so that each sample yields nextLoad.
struct ScriptedSampler {
    static uint8_t nextLoad;
    static int samples;
    // Installs a primed sampler in AppState.sampler and clears the count.
    static void Install();
};

struct ShellCall {
    DWORD action;
    TNotifyIconData data;
    bool iconLive;       // the icon handed over was a real icon during the call
    COLORREF iconPixel;  // its pixel at (0, 0)
};

// Stands in for Shell_NotifyIconA, Sleep and GetLastError.
struct RecordingShell {
    static std::vector<ShellCall> calls;
    static std::vector<BOOL> results;  // popped per call; TRUE when empty
    static std::vector<DWORD> errors;  // the last error set by each failing call
    static std::vector<DWORD> sleeps;
    static int lastErrorReads;

    RecordingShell();   // installs the seams, clears the record
    ~RecordingShell();  // puts the real functions back
};

// A hidden window to stand in for the main window; WM_CLOSE posted to it can be counted.
struct StandInWindow {
    HWND window;
    StandInWindow();
    ~StandInWindow();
    int TakeCloseMessages();
};
