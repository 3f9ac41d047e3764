// What several tests need: scratch files, waiting, pixels and screenshots, the driver of
// the program's modal loops, a sampler whose load the test sets, and the program brought up
// in-process with the shell and the waits recorded.
#pragma once

#include "app/app.h"
#include "cpu/cpumon.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "shortcut/shortcut.h"
#include "state/state.h"
#include "tray/tray.h"

#include <doctest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <set>

// The program's text as the library's, for building and comparing in tests.
template <class C, size_t N>
std::basic_string<C> Str(const TText<C, N>& text) {
    return std::basic_string<C>(text.c_str(), text.size());
}

inline std::string ReadFileBytes(const TWide& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(file == INVALID_HANDLE_VALUE ? 0 : GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], bytes.size(), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

inline bool WriteFileBytes(const TWide& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), bytes.size(), &written, nullptr);
    return CloseHandle(file) && ok && written == bytes.size();
}

// A file's bytes, attributes and last-write time.
inline std::string Whole(const TWide& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return ReadFileBytes(path) + std::to_string(data.dwFileAttributes) + std::to_string(data.ftLastWriteTime.dwLowDateTime);
}

// The names of the files and folders matching a pattern.
using Names = std::set<std::wstring>;
inline Names FileNames(const TWide& pattern) {
    Names names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
        if (data.cFileName[0] != L'.') names.insert(data.cFileName);
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return names;
}

inline void RemoveTree(const TWide& path) {  // read-only files too
    const TWide from = path + L'\0';          // a list of one, ended by a second NUL
    SHFILEOPSTRUCTW remove = {nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT};
    SHFileOperationW(&remove);
}

// A fresh, empty directory below the current one; no trailing backslash.
inline std::string ScratchDir(const std::string& name) {
    CreateDirectoryA("scratch", nullptr);
    char full[MAX_PATH + 1] = {};
    GetFullPathNameA(("scratch\\" + name).c_str(), sizeof full, full, nullptr);
    RemoveTree(Widen(full));
    CreateDirectoryA(full, nullptr);
    return full;
}

// The current user's Startup folder, emptied before and after a test, with COM initialised.
struct StartupFolder {
    CoInitScope com;
    TWide path = GetStartupFolder();  // with a trailing backslash
    StartupFolder() {
        REQUIRE_FALSE(path.empty());
        Empty();
    }
    ~StartupFolder() { Empty(); }
    void Empty() const {
        if (path.empty()) return;  // the current directory is no Startup folder
        RemoveTree(path.Left(path.size() - 1));
        CreateDirectoryW(path.c_str(), nullptr);
    }
    Names Contents(const TWide& in = L"") const { return FileNames(path + in + L"*"); }
};

// Set by the test command (TEMBIX_EMULATED=1) where the program runs under user-mode
// emulation: everything is many times slower, and busy threads never end there.
inline bool Emulated() {
    char text[4] = {};
    return GetEnvironmentVariableA("TEMBIX_EMULATED", text, sizeof text) && text[0] == '1';
}
inline DWORD Patient(DWORD milliseconds) { return Emulated() ? milliseconds * 10 : milliseconds; }

// Dispatches this thread's messages for a while; true as soon as WM_QUIT comes.
inline bool PumpMessagesFor(DWORD milliseconds) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(10)) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return true;
            DispatchMessageA(&msg);
        }
    }
    return false;
}

// Polls until the condition holds, pumping this thread's messages; false on time-out.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000) {
    for (const DWORD start = GetTickCount(); !condition(); PumpMessagesFor(50)) {
        if (GetTickCount() - start > Patient(timeoutMs)) return false;
    }
    return true;
}

using Pixels = std::vector<COLORREF>;  // row by row, top-down
constexpr COLORREF kProgramIcon = RGB(192, 192, 192);  // the chart's light top-left edge

inline Pixels ReadBitmapPixels(HBITMAP bitmap, int width = kIconSize, int height = kIconSize) {
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB}};
    Pixels pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (COLORREF& bgr : pixels) bgr = RGB(GetBValue(bgr), GetGValue(bgr), GetRValue(bgr));  // to COLORREF order
    return pixels;
}

// What `paint` draws through a memory DC into a new screen-compatible bitmap.
inline Pixels Paint(int width, int height, const std::function<void(HDC)>& paint) {
    HDC screen = GetDC(nullptr);
    HBITMAP target = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, target);
    paint(dc);
    SelectObject(dc, previous);
    DeleteDC(dc);
    Pixels pixels = ReadBitmapPixels(target, width, height);
    DeleteObject(target);
    return pixels;
}

// Over black, so that a transparent pixel would show.
inline Pixels DrawnIconPixels(HICON icon, int size = kIconSize) {
    return Paint(size, size, [icon, size](HDC dc) {
        PatBlt(dc, 0, 0, size, size, BLACKNESS);
        DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    });
}

inline int IconSize(HICON icon) {  // 0 for a handle that is no live icon
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap = {};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor), DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

struct Screenshot {
    int width, height;
    Pixels pixels;
    COLORREF At(int x, int y) const { return pixels[y * width + x]; }
    int CountInTray(COLORREF colour) const {  // in the taskbar's bottom-right corner
        int count = 0;
        for (int y = height - 40; y < height; ++y) {
            for (int x = width - 200; x < width; ++x) count += At(x, y) == colour;
        }
        return count;
    }
    // For the docs step alone (TEMBIX_SCREENSHOTS set by scripts/screenshots.sh): a part, or all
    // of it, as a PPM file in build/<tree>/tests/artifacts.
    void Save(const std::string& name, RECT part = {}) const {
        if (!GetEnvironmentVariableA("TEMBIX_SCREENSHOTS", nullptr, 0)) return;
        if (IsRectEmpty(&part)) part = {0, 0, width, height};
        std::string ppm = "P6 " + std::to_string(part.right - part.left) + " " + std::to_string(part.bottom - part.top) + " 255\n";
        for (int i = 0; i < width * height; ++i) {
            const POINT at = {i % width, i / width};
            if (PtInRect(&part, at)) ppm += {char(GetRValue(pixels[i])), char(GetGValue(pixels[i])), char(GetBValue(pixels[i]))};
        }
        CreateDirectoryA("artifacts", nullptr);
        WriteFileBytes(Widen("artifacts\\" + name + ".ppm"), ppm);
    }
};

inline Screenshot TakeScreenshot() {
    Screenshot shot = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    shot.pixels = Paint(shot.width, shot.height, [&shot](HDC dc) {
        HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
    return shot;
}

// The program's message box, titled "Tembix", closed with OK; its text.
inline std::string CloseMessageBox() {
    HWND box = FindWindowA("#32770", "Tembix");
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // a message box's text control
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
}

// The timers of RunModal: the one that runs `inside`, and the guard.
struct ModalTimers {
    static inline std::function<void()> inside;
    static inline UINT_PTR guard = 0;
    static inline bool forced = false;
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
        if (id == guard) {  // the time-out: every loop ended by force, a message box first
            forced = true;
            EndMenu();
            CloseMessageBox();
            if (AppState.optionsDialog) EndDialog(AppState.optionsDialog, 0);
            return;
        }
        KillTimer(nullptr, id);
        const std::function<void()> run = inside;
        inside = nullptr;
        run();
    }
};

// Calls open(), which enters a modal loop; `inside` runs from that loop after delayMs and is
// expected to end it. A loop still open after the time-out is ended by force: false then.
inline bool RunModal(const std::function<void()>& open, const std::function<void()>& inside, DWORD delayMs = 150,
                     DWORD timeoutMs = 8000) {
    ModalTimers::inside = inside;
    ModalTimers::forced = false;
    const UINT_PTR insideTimer = SetTimer(nullptr, 0, delayMs, ModalTimers::Fire);
    ModalTimers::guard = SetTimer(nullptr, 0, Patient(timeoutMs), ModalTimers::Fire);
    open();
    KillTimer(nullptr, insideTimer);
    KillTimer(nullptr, ModalTimers::guard);
    ModalTimers::inside = nullptr;
    return !ModalTimers::forced;
}

inline HWND FindMenuWindow() { return FindWindowA("#32768", nullptr); }

struct ShellCall {
    DWORD action;
    TNotifyIconData data;
    int iconSize;        // of the icon handed over, during the call; 0 for no live icon
    COLORREF iconPixel;  // its pixel at (0, 0)
};

// The program in-process as start-up brings it up: the main window and monitoring, with a
// sampler whose system times are scripted so that each sample yields `load`; the shell, the
// wait, the last error, ShellExecute and the trim recorded; threshold 80, blinking off, the
// records empty. Undone by the destructor.
struct AppFixture {
    static inline uint8_t load = 0;
    static inline int samples = 0, lastErrorReads = 0, trims = 0;
    static inline std::vector<ShellCall> calls;
    static inline std::vector<BOOL> results;  // of each shell call in turn; TRUE beyond
    static inline std::vector<DWORD> errors;  // the last error each failing call leaves
    static inline size_t failures = 0;
    static inline std::vector<DWORD> sleeps;
    static inline std::vector<std::wstring> shellOpens;  // "verb file parameters", and "start" for a new copy
    static inline uint64_t scriptedIdle = 1, scriptedAll = 0;
    static inline int dpi = 96, dpiQueries = 0;  // the taskbar's DPI, and how often it was asked
    static inline bool contrast = false;         // high contrast, and how often it was asked
    static inline int contrastReads = 0;
    // The system's window, text, selection and selected text colours.
    static inline COLORREF scheme[4] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(26, 235, 255), RGB(0, 0, 0)};
    static inline DWORD windowsVersion = 0x0A00;  // what RtlGetVersion tells: major * 256 + minor
    static inline uint8_t busiest = kNoBusiest;  // of two processors, the other idle; none: class 8 refused
    static inline int64_t processorTime = 0, busiestIdle = 0;

    AppFixture() {
        [[maybe_unused]] static const bool registered = RegisterMainWindowClass(AppState.hInstance);
        TraySeams = {RecordNotify, RecordSleep, RecordLastError, [] { return ++dpiQueries, static_cast<UINT>(dpi); }};
        TraySeams.highContrast = [] { return ++contrastReads, contrast; };
        TraySeams.sysColor = SchemeColour;
        dpi = 96, contrast = false, busiest = kNoBusiest;
        AppSeams.shellExecute = RecordShellExecute;
        AppSeams.startCopy = [](const TWide& program, const char* arguments) {
            return shellOpens.push_back(L"start " + Str(program) + L" " + Str(Widen(arguments))), true;
        };
        SupportSeams.setProcessWorkingSetSize = CountTrim;
        SamplerSeams.lookUp = [](HMODULE) {
            TSamplerApi api;
            api.getSystemTimes = LoadTimes, api.querySystemInformation = ProcessorTimes;
            api.rtlGetVersion = ScriptedVersion;
            return api;
        };
        AppState.mainWindow = CreateMainWindow(AppState.hInstance);
        AppState.lastShown = kNothingShown;
        AppState.blinkPhase = AppState.paused = AppState.blinkEnabled = false;
        AppState.threshold = 80;
        AppState.exeDir = L"C:\\Apps\\Tembix\\";
        StartMonitoring();
        ScriptSampler();
    }
    ~AppFixture() {
        StopMonitoring();
        DestroyWindow(AppState.mainWindow);
        AppState.mainWindow = nullptr, AppState.optionsDialog = nullptr;
        MSG msg;  // a quit message posted by the test must not end the next test's loop
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) continue;
        TraySeams = TTraySeams{}, AppSeams = TAppSeams{};
        SupportSeams = TSupportSeams{}, SamplerSeams = TSamplerSeams{};
    }
    static void ClearRecords() {
        calls.clear(), results.clear(), errors.clear(), sleeps.clear(), shellOpens.clear();
        lastErrorReads = trims = samples = failures = dpiQueries = contrastReads = 0;
    }
    // The sampler made by a start, primed with the scripted times; the records cleared.
    static void ScriptSampler() {
        AppState.sampler->GetUsage();
        ClearRecords();
    }
    static LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageA(AppState.mainWindow, message, wParam, lParam);
    }
    static bool TimerRunning() {  // KillTimer tells whether the timer existed; it is put back
        return KillTimer(AppState.mainWindow, IDT_SAMPLE) &&
               SetTimer(AppState.mainWindow, IDT_SAMPLE, kSamplePeriodMs, nullptr);
    }

    // One processor-second per sample, idle for (100 - load) % of it.
    static BOOL WINAPI LoadTimes(FILETIME* idle, FILETIME* kernel, FILETIME* user) {
        ++samples;
        scriptedIdle += (100 - load) * 100000;
        scriptedAll += 10000000;
        *idle = {static_cast<DWORD>(scriptedIdle), static_cast<DWORD>(scriptedIdle >> 32)};
        *kernel = {static_cast<DWORD>(scriptedAll), static_cast<DWORD>(scriptedAll >> 32)};
        *user = {};
        return TRUE;
    }
    static LONG WINAPI ScriptedVersion(OSVERSIONINFOW* v) { return v->dwMajorVersion = windowsVersion >> 8, v->dwMinorVersion = windowsVersion & 0xFF, 0; }
    static DWORD WINAPI SchemeColour(int index) {
        return index == COLOR_WINDOW ? scheme[0] : index == COLOR_WINDOWTEXT ? scheme[1] : index == COLOR_HIGHLIGHT ? scheme[2] : scheme[3];
    }
    // Class 8 for two processors, one `busiest` % busy and the other idle, a second a call.
    static LONG WINAPI ProcessorTimes(ULONG infoClass, void* buffer, ULONG length, ULONG* returned) {
        if (infoClass != 8 || busiest == kNoBusiest || length < 2 * sizeof(TProcessorRecord)) return STATUS_INFO_LENGTH_MISMATCH_;
        processorTime += 10000000, busiestIdle += (100 - busiest) * 100000;
        const TProcessorRecord records[2] = {{busiestIdle, processorTime, 0, {}}, {processorTime, processorTime, 0, {}}};
        std::memcpy(buffer, records, sizeof records);
        return *returned = sizeof records, 0;
    }
    static BOOL WINAPI RecordNotify(DWORD action, PNOTIFYICONDATAA record) {
        ShellCall call = {action, {}, IconSize(record->hIcon), 0};
        std::memcpy(&call.data, record, sizeof call.data);
        if (call.iconSize) call.iconPixel = DrawnIconPixels(record->hIcon, call.iconSize)[0];
        calls.push_back(call);
        const BOOL result = calls.size() <= results.size() ? results[calls.size() - 1] : TRUE;
        if (!result) SetLastError(failures < errors.size() ? errors[failures] : 0), ++failures;
        return result;
    }
    static DWORD WINAPI RecordLastError() { return ++lastErrorReads, GetLastError(); }
    static void WINAPI RecordSleep(DWORD ms) { sleeps.push_back(ms); }
    static BOOL WINAPI CountTrim(HANDLE process, SIZE_T min, SIZE_T max) {  // any other trim counts a thousand
        return trims += process == GetCurrentProcess() && min == SIZE_T(-1) && max == SIZE_T(-1) ? 1 : 1000;
    }
    static HINSTANCE WINAPI RecordShellExecute(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT) {
        shellOpens.push_back(std::wstring(verb) + L" " + file + L" " + parameters);
        return reinterpret_cast<HINSTANCE>(42);
    }
};
using F = AppFixture;
