// Costing nothing while nobody can see the icon: the session locked or disconnected, or its
// display off; and measuring afresh after a sleep or a change of the clock.
#include "app.h"

#include "state/state.h"
#include "support/support.h"
#include "tray/tray.h"

#include <cstring>

namespace {

constexpr DWORD kNotifyForThisSession = 0;  // NOTIFY_FOR_THIS_SESSION
constexpr DWORD kNotifyWindowHandle = 0;    // DEVICE_NOTIFY_WINDOW_HANDLE
constexpr WPARAM kResumeAutomatic = 0x12, kResumeSuspend = 7;  // PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND

// Vista and 7 tell the console's monitor, not the session's: it counts only while this
// session is the console's.
bool OnConsole() {
    DWORD(WINAPI * activeConsole)();
    BOOL(WINAPI * sessionOf)(DWORD, DWORD*);
    LookUpFunction(activeConsole, GetModuleHandleA("kernel32.dll"), "WTSGetActiveConsoleSessionId");
    LookUpFunction(sessionOf, GetModuleHandleA("kernel32.dll"), "ProcessIdToSessionId");
    DWORD process = 0, session = 0;
    GetWindowThreadProcessId(AppState.mainWindow, &process);  // this process, with no further import
    return !activeConsole || !sessionOf || !sessionOf(process, &session) || activeConsole() == session;
}

}  // namespace

void StartTicking() {
    if (AppSeams.setCoalescableTimer &&
        AppSeams.setCoalescableTimer(AppState.mainWindow, IDT_SAMPLE, kSamplePeriodMs, nullptr, kTickToleranceMs)) {
        return;
    }
    SetTimer(AppState.mainWindow, IDT_SAMPLE, kSamplePeriodMs, nullptr);
}

void PrimeSampler() {
    // The 9x statistic is left alone; while paused or unseen the next start primes it anyway.
    if (PlatformId != VER_PLATFORM_NT || !AppState.sampler || AppState.paused || AppState.unseen) return;
    AppState.sampler->Reset();
    AppState.sampler->GetUsage();
}

bool RegisterSessionNotification(HWND window) {
    BOOL(WINAPI * registerSession)(HWND, DWORD);
    unique_hmodule library(LoadSystemLibrary("wtsapi32.dll"));
    LookUpFunction(registerSession, library.get(), "WTSRegisterSessionNotification");
    if (!registerSession || !registerSession(window, kNotifyForThisSession)) return false;
    AppState.sessionLibrary = std::move(library);
    return true;
}

void UnregisterSessionNotification(HWND window) {
    BOOL(WINAPI * unregisterSession)(HWND);
    LookUpFunction(unregisterSession, AppState.sessionLibrary.get(), "WTSUnRegisterSessionNotification");
    if (unregisterSession) unregisterSession(window);
    AppState.sessionLibrary.reset();
}

void RegisterForUnseen(HWND window) {
    if (!AppState.sessionLibrary) AppSeams.registerSession(window);
    if (AppState.displayNotify || !AppSeams.registerPowerSetting) return;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const TRtlGetVersion rtlGetVersion = AppState.sampler ? AppState.sampler->api.rtlGetVersion : nullptr;  // the true version
    const bool eightOrLater = rtlGetVersion && rtlGetVersion(&version) == 0 &&
                              (version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2));
    AppState.displaySetting = eightOrLater ? &kSessionDisplayStatus : &kMonitorPowerOn;
    AppState.displayNotify = AppSeams.registerPowerSetting(window, AppState.displaySetting, kNotifyWindowHandle);
    if (!AppState.displayNotify) AppState.displaySetting = nullptr;
}

void UnregisterForUnseen(HWND window) {
    if (AppState.sessionLibrary) AppSeams.unregisterSession(window);
    if (AppState.displayNotify && AppSeams.unregisterPowerSetting) AppSeams.unregisterPowerSetting(AppState.displayNotify);
    AppState.displayNotify = nullptr;
    AppState.displaySetting = nullptr;
}

void SetUnseen(uint8_t unseen) {
    const bool wasSeen = !AppState.unseen, seen = !unseen;
    AppState.unseen = unseen;
    if (seen == wasSeen || AppState.paused) return;  // a repeat; or Resume starts it
    if (!seen) {
        KillTimer(AppState.mainWindow, IDT_SAMPLE);
        return;
    }
    // The first tick shows a load measured after the return, at the size the taskbar has now.
    AppState.lastShown = kNothingShown;
    PrimeSampler();
    RefitTrayIcon(AppState.mainWindow);
    StartTicking();
}

void OnSessionChange(WPARAM change) {
    uint8_t unseen = AppState.unseen;
    switch (change) {
        case WTS_SESSION_LOCK: unseen |= kUnseenLocked; break;
        case WTS_SESSION_UNLOCK: unseen &= ~kUnseenLocked; break;
        case WTS_CONSOLE_DISCONNECT:
        case WTS_REMOTE_DISCONNECT: unseen |= kUnseenDisconnected; break;
        case WTS_CONSOLE_CONNECT:
        case WTS_REMOTE_CONNECT: unseen &= ~kUnseenDisconnected; break;
    }
    SetUnseen(unseen);
}

void OnPowerBroadcast(WPARAM event, LPARAM data) {
    // A reading that spans a sleep would count its hours: the native query's clock runs on.
    if (event == kResumeAutomatic || event == kResumeSuspend) return PrimeSampler();
    const auto* setting = reinterpret_cast<const TPowerSetting*>(data);
    if (event != PBT_POWERSETTINGCHANGE_ || !setting || !AppState.displaySetting ||
        std::memcmp(&setting->setting, AppState.displaySetting, sizeof(GUID)) != 0 || setting->dataLength < sizeof(DWORD)) {
        return;
    }
    DWORD state;  // 0 off, 1 on, 2 dimmed (still seen)
    std::memcpy(&state, setting->data, sizeof state);
    const bool off = state == 0 && (AppState.displaySetting == &kSessionDisplayStatus || OnConsole());
    SetUnseen(off ? AppState.unseen | kUnseenDisplayOff : AppState.unseen & ~kUnseenDisplayOff);
}
