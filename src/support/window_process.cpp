// The foreground, the drop shadow and the working-set trim.
#include "window_process.h"

#include "platform.h"

TSupportSeams SupportSeams;

bool ForceForeground(HWND window) {
    if (GetForegroundWindow() == window) return true;

    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    bool inFront = false;
    if (AttachThreadInput(windowThread, foregroundThread, TRUE)) {
        BringWindowToTop(window);
        SetForegroundWindow(window);
        AttachThreadInput(windowThread, foregroundThread, FALSE);
        inFront = GetForegroundWindow() == window;
    }
    if (!inFront) {
        // The foreground lock stops a background process from taking the foreground;
        // lifting it for a moment lets the menu's owner come to the front.
        DWORD lockTimeout = 0;
        SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockTimeout, 0);
        SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
        BringWindowToTop(window);
        SetForegroundWindow(window);
        SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                              reinterpret_cast<void*>(static_cast<UINT_PTR>(lockTimeout)), SPIF_SENDCHANGE);
    }
    return GetForegroundWindow() == window;
}

void TrimWorkingSet() {
    if (PlatformId != VER_PLATFORM_NT) return;
    SupportSeams.setProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

void AddDropShadow(HWND window) {
    constexpr DWORD kDropShadow = 0x00020000;  // CS_DROPSHADOW, XP and later
    if (!IsXpOrLater()) return;
    const DWORD style = GetClassLongA(window, GCL_STYLE);
    SetClassLongA(window, GCL_STYLE, static_cast<LONG>(style | kDropShadow));
}
