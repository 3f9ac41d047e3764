// What one tray tick costs: an unchanged tick (the timer message through the window procedure,
// with the taskbar's DPI asked every fifth time) against the bare sample and against all its
// platform calls, and the icon making against the platform calls it consists of, as ratios
// from one run.
#include "app/app.h"
#include "state/state.h"
#include "support/support.h"
#include "tray/tray.h"

#include <cstdio>

namespace {

TGetSystemTimes realTimes = nullptr;
uint8_t scriptedLoad = 42;
uint64_t idleTime = 1, allTime = 0;

FILETIME AsFileTime(uint64_t value) { return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)}; }

// The real system times, whose counters are then replaced so that the load stays as
// chosen: the cost is the platform's, the value is the benchmark's.
BOOL WINAPI SteadyTimes(FILETIME* idle, FILETIME* kernel, FILETIME* user) {
    const BOOL ok = realTimes(idle, kernel, user);
    idleTime += (100 - scriptedLoad) * 100000;
    allTime += 10000000;
    *idle = AsFileTime(idleTime);
    *kernel = AsFileTime(allTime);
    *user = AsFileTime(0);
    return ok;
}

BOOL WINAPI AcceptingShell(DWORD, PNOTIFYICONDATAA) { return TRUE; }

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <class F>
double MicrosecondsPer(int n, F f) {
    const double start = Now();
    for (int i = 0; i < n; ++i) f(i);
    return (Now() - start) * 1e6 / n;
}

// The same platform work as MakeLoadIcon for a value below 100, called directly.
void BarePaintAndConvert(int value) {
    IconCanvas& canvas = AppState.canvas;
    HDC dc = canvas.memDC.get();
    char text[4];
    const int n = std::snprintf(text, sizeof text, "%d", value);
    const RECT all = {0, 0, 16, 16};
    HGDIOBJ oldBitmap = SelectObject(dc, canvas.glyphBitmap.get());
    FillRect(dc, &all, canvas.backBrush.get());
    HGDIOBJ oldFont = SelectObject(dc, canvas.font.get());
    SetTextColor(dc, CLR_BLUE);
    ExtTextOutA(dc, n == 1 ? 5 : 2, 1, ETO_OPAQUE, nullptr, text, n, nullptr);
    SelectObject(dc, oldFont);
    FrameRect(dc, &all, canvas.blueBrush.get());
    SelectObject(dc, oldBitmap);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLORDDB, 1, 1);
    const int index = ImageList_Add(list, canvas.glyphBitmap.get(), nullptr);
    HICON icon = ImageList_GetIcon(list, index, ILD_NORMAL);
    ImageList_Destroy(list);
    DestroyIcon(icon);
}

}  // namespace

int main() {
    InitPlatformInfo();
    InitCommonControls();
    AppState.hInstance = GetModuleHandleA(nullptr);
    AppState.threshold = 100;
    AppState.lastShown = kNothingShown;
    RegisterMainWindowClass(AppState.hInstance);
    AppState.mainWindow = CreateMainWindow(AppState.hInstance);
    CreateIconCanvas();
    PaintHundredImages();
    LookUpFunction(realTimes, GetModuleHandleA("kernel32.dll"), "GetSystemTimes");
    if (!realTimes) {
        std::printf("GetSystemTimes not found\n");
        return 1;
    }
    SamplerSeams.lookUp = [](HMODULE) {
        TSamplerApi api;
        api.getSystemTimes = SteadyTimes;
        return api;
    };
    AppState.sampler = Allocate<TCpuMon>();
    TraySeams.shellNotifyIcon = AcceptingShell;
    AppState.sampler->GetUsage();
    UpdateTrayIcon(nullptr, NIM_MODIFY, false);  // shows 42; later ticks are unchanged

    constexpr int kRounds = 10;
    constexpr int kTicks = 2000;
    constexpr int kIcons = 300;
    double bestSample = 1e9, bestTick = 1e9, bestMake = 1e9, bestBare = 1e9, bestChanged = 1e9, bestDpi = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        scriptedLoad = 42;
        const double sample = MicrosecondsPer(kTicks, [](int) { AppState.sampler->GetUsage(); });
        const double tick = MicrosecondsPer(kTicks, [](int) { SendMessageA(AppState.mainWindow, WM_TIMER, IDT_SAMPLE, 0); });
        const double dpi = MicrosecondsPer(kTicks / kSizeCheckTicks, [](int) { TaskbarDpi(); });  // the window kept
        const double make =
            MicrosecondsPer(kIcons, [](int i) { DestroyIcon(MakeLoadIcon(static_cast<uint8_t>(i % 100))); });
        const double bare = MicrosecondsPer(kIcons, [](int i) { BarePaintAndConvert(i % 100); });
        const double changed = MicrosecondsPer(kIcons, [](int i) {
            scriptedLoad = static_cast<uint8_t>(i % 100);
            UpdateTrayIcon(nullptr, NIM_MODIFY, false);
        });
        if (sample < bestSample) bestSample = sample;
        if (tick < bestTick) bestTick = tick;
        if (dpi < bestDpi) bestDpi = dpi;
        if (make < bestMake) bestMake = make;
        if (bare < bestBare) bestBare = bare;
        if (changed < bestChanged) bestChanged = changed;
    }

    std::printf("bare GetUsage (real counters):   %8.2f us\n", bestSample);
    std::printf("bare taskbar DPI query:          %8.2f us (asked every %d ticks)\n", bestDpi, kSizeCheckTicks);
    std::printf("unchanged tick:                  %8.2f us   ratio %.3f to the sample (target at most 1.1), %.3f to its calls\n",
                bestTick, bestTick / bestSample, bestTick / (bestSample + bestDpi / kSizeCheckTicks));
    std::printf("bare paint + image-list + icon:  %8.2f us\n", bestBare);
    std::printf("MakeLoadIcon + DestroyIcon:      %8.2f us   ratio %.3f (target at most 1.1)\n", bestMake,
                bestMake / bestBare);
    std::printf("changed tick (sample, paint, icon, seam): %.2f us\n", bestChanged);
    std::printf("best of %d rounds: %d ticks, %d icons each\n", kRounds, kTicks, kIcons);
    AppState.sampler.reset();
    DestroyIconCanvas();
    DestroyWindow(AppState.mainWindow);
    return 0;
}
