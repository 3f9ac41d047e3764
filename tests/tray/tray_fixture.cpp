#include "tray_fixture.h"

#include "screen.h"

#include <cstring>

Pixels ReadPixels(HBITMAP bitmap) { return ReadBitmapPixels(bitmap, kIconSize, kIconSize); }

COLORREF PixelAt(const Pixels& pixels, int x, int y) { return pixels[y * kIconSize + x]; }

Pixels DrawnIconPixels(HICON icon) {
    HDC screen = GetDC(nullptr);
    HBITMAP target = CreateCompatibleBitmap(screen, kIconSize, kIconSize);
    ReleaseDC(nullptr, screen);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, target);
    PatBlt(dc, 0, 0, kIconSize, kIconSize, BLACKNESS);
    DrawIconEx(dc, 0, 0, icon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
    SelectObject(dc, previous);
    DeleteDC(dc);
    Pixels pixels = ReadPixels(target);
    DeleteObject(target);
    return pixels;
}

bool IsLiveIcon(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

CanvasFixture::CanvasFixture() {
    CreateIconCanvas();
    PaintHundredImages();
    AppState.threshold = 80;
    AppState.blinkEnabled = false;
    AppState.blinkPhase = false;
    AppState.lastShown = kNothingShown;
}

CanvasFixture::~CanvasFixture() {
    DestroyIconCanvas();
    AppState.sampler.reset();
}

uint8_t ScriptedSampler::nextLoad = 0;
int ScriptedSampler::samples = 0;

namespace {

constexpr int64_t kTick = 10000000;  // one second in 100-nanosecond units
int64_t scriptedIdle = 1;
int64_t scriptedTime = 0;

// With one processor, an idle share of (100 - load) % over a second reads as load.
LONG WINAPI LoadQuery(ULONG infoClass, void* buffer, ULONG, ULONG*) {
    auto* bytes = static_cast<BYTE*>(buffer);
    if (infoClass == 3) {
        ++ScriptedSampler::samples;
        scriptedTime += kTick;
        std::memcpy(bytes + 8, &scriptedTime, 8);
    } else if (infoClass == 2) {
        scriptedIdle += (100 - ScriptedSampler::nextLoad) * (kTick / 100);
        std::memcpy(bytes, &scriptedIdle, 8);
    }
    return 0;
}

}  // namespace

void ScriptedSampler::Install() {
    AppState.sampler.reset(new TCpuMon);
    AppState.sampler->querySystemInformation = LoadQuery;
    AppState.sampler->getSystemTimes = nullptr;
    AppState.sampler->processorCount = 1;
    AppState.sampler->GetUsage();
    samples = 0;
}

std::vector<ShellCall> RecordingShell::calls;
std::vector<BOOL> RecordingShell::results;
std::vector<DWORD> RecordingShell::errors;
std::vector<DWORD> RecordingShell::sleeps;
int RecordingShell::lastErrorReads = 0;

namespace {

BOOL WINAPI RecordNotify(DWORD action, PNOTIFYICONDATAA record) {
    ShellCall call = {};
    call.action = action;
    std::memcpy(&call.data, record, sizeof call.data);
    call.iconLive = IsLiveIcon(record->hIcon);
    if (call.iconLive) call.iconPixel = DrawnIconPixels(record->hIcon)[0];
    RecordingShell::calls.push_back(call);

    BOOL result = TRUE;
    if (!RecordingShell::results.empty()) {
        result = RecordingShell::results.front();
        RecordingShell::results.erase(RecordingShell::results.begin());
    }
    if (!result && !RecordingShell::errors.empty()) {
        SetLastError(RecordingShell::errors.front());
        RecordingShell::errors.erase(RecordingShell::errors.begin());
    }
    return result;
}

void WINAPI RecordSleep(DWORD ms) { RecordingShell::sleeps.push_back(ms); }

DWORD WINAPI RecordLastError() {
    ++RecordingShell::lastErrorReads;
    return GetLastError();
}

}  // namespace

RecordingShell::RecordingShell() {
    calls.clear();
    results.clear();
    errors.clear();
    sleeps.clear();
    lastErrorReads = 0;
    TraySeams.shellNotifyIcon = RecordNotify;
    TraySeams.sleep = RecordSleep;
    TraySeams.getLastError = RecordLastError;
}

RecordingShell::~RecordingShell() { TraySeams = TTraySeams{}; }

StandInWindow::StandInWindow()
    : window(CreateWindowExA(0, "STATIC", "stand-in", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {
    AppState.mainWindow = window;
}

StandInWindow::~StandInWindow() {
    DestroyWindow(window);
    AppState.mainWindow = nullptr;
}

int StandInWindow::TakeCloseMessages() {
    int count = 0;
    MSG msg;
    while (PeekMessageA(&msg, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) ++count;
    return count;
}
