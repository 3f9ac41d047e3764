// What one tray tick costs: an unchanged tick (the timer message through the window procedure,
// with the taskbar's DPI asked every fifth time) against the bare sample and against all its
// platform calls, and the icon making against the platform calls it consists of, as ratios
// from one run.
#include "app/app.h"
#include "state/state.h"
#include "support/support.h"
#include "tray/tray.h"

#include <algorithm>
#include <cstdio>
#include <vector>

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

// The same platform work as MakeLoadIcon for a value below 100, called directly.
void BarePaintAndConvert(int value) {
    IconCanvas& canvas = AppState.canvas;
    HDC dc = canvas.memDC.get();
    char text[4];
    const int n = std::snprintf(text, sizeof text, "%d", value);
    const RECT all = {0, 0, 16, 16};
    HGDIOBJ oldBitmap = SelectObject(dc, canvas.glyphBitmap.get());
    FillRect(dc, &all, canvas.paperBrush[0].get());
    HGDIOBJ oldFont = SelectObject(dc, canvas.font.get());
    SetTextColor(dc, canvas.look.ink[0]);
    SetBkColor(dc, canvas.look.paper[0]);
    ExtTextOutA(dc, n == 1 ? 5 : 2, 1, ETO_OPAQUE, nullptr, text, n, nullptr);
    SelectObject(dc, oldFont);
    FrameRect(dc, &all, canvas.inkBrush[0].get());
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

    // Every call against its counterpart made right after it, so that a machine whose speed
    // drifts (under Wine every call that reaches the wineserver waits for it to wake) hurts
    // both alike: the means of the ticks, and the median of the icons' ratios call by call.
    constexpr int kTicks = 20000, kIcons = 3000;
    double sample = 0, tick = 0, dpi = 0;
    for (int i = 0; i < kTicks; ++i) {
        const double t0 = Now();
        AppState.sampler->GetUsage();
        const double t1 = Now();
        SendMessageA(AppState.mainWindow, WM_TIMER, IDT_SAMPLE, 0);
        const double t2 = Now();
        if (i % kSizeCheckTicks == 0) TaskbarDpi();  // the window kept
        sample += t1 - t0, tick += t2 - t1, dpi += Now() - t2;
    }
    const auto icons = [] {
        std::vector<double> ratios;
        for (int i = 0; i < kIcons; ++i) {
            const double t0 = Now();
            DestroyIcon(MakeLoadIcon(static_cast<uint8_t>(i % 100)));
            const double t1 = Now();
            BarePaintAndConvert(i % 100);
            ratios.push_back((t1 - t0) / (Now() - t1));
        }
        std::nth_element(ratios.begin(), ratios.begin() + kIcons / 2, ratios.end());
        return ratios[kIcons / 2];
    };
    const double perTick = 1e6 / kTicks, perCheck = 1e6 / (kTicks / kSizeCheckTicks);
    std::printf("bare GetUsage (real counters):   %8.2f us\n", sample * perTick);
    std::printf("bare taskbar DPI query:          %8.2f us (asked every %d ticks)\n", dpi * perCheck, kSizeCheckTicks);
    std::printf("unchanged tick:                  %8.2f us   ratio %.3f to the sample (target at most 1.1), %.3f to its calls\n",
                tick * perTick, tick / sample, tick / (sample + dpi));
    std::printf("MakeLoadIcon + DestroyIcon against the bare platform work: median ratio %.3f (target at most 1.1)\n", icons());
    // The same icon in high contrast, the system's colours through the seam (Wine reports it off).
    TraySeams.highContrast = [] { return true; };
    AppState.highContrast = true;
    FitIconCanvas();
    std::printf("the same in high contrast:                                 median ratio %.3f (target at most 1.1)\n", icons());
    std::printf("%d ticks, %d icons, each against its counterpart\n", kTicks, kIcons);
    AppState.sampler.reset();
    DestroyIconCanvas();
    DestroyWindow(AppState.mainWindow);
    return 0;
}
