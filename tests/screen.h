// Screenshots of the (virtual) desktop, read through the screen DC, for tests that look
// at the notification area as a person would.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // row by row, top-down

    COLORREF At(int x, int y) const { return pixels[y * width + x]; }
    int Count(COLORREF colour, const RECT& area) const;
    // Writes a 24-bit BMP file; the directory must exist.
    bool Save(const std::string& path) const;
};

Screenshot TakeScreenshot();

// The pixels of a bitmap that is not selected into a DC, row by row, top-down, as COLORREF.
std::vector<COLORREF> ReadBitmapPixels(HBITMAP bitmap, int width, int height);

// The bottom-right corner where the taskbar keeps its notification area.
RECT TrayArea(const Screenshot& shot);

// Dispatches this thread's messages while it waits.
void PumpMessagesFor(DWORD milliseconds);

// Set by the test command (TEMBIX_EMULATED=1) where the program runs under user-mode
// emulation: everything is many times slower, and busy threads never end there.
bool Emulated();
// A time-out, stretched under emulation.
DWORD Patient(DWORD milliseconds);

// Polls until the condition holds, pumping messages; false on time-out (stretched).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// The directory where tests keep their screenshots: build/tests/artifacts.
std::string ArtifactDir();
