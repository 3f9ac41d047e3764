// The application shell: start-up and the single-instance guard, the hidden main window
// and its procedure, the tray menu, and shutdown.
#pragma once

#include "support/support.h"

#include <windows.h>

constexpr UINT_PTR IDT_SAMPLE = 1;
constexpr UINT kSamplePeriodMs = 1000;
constexpr ULONG kTickToleranceMs = 100;  // by which Windows 8 and later may move a tick to share a wake-up
constexpr uint8_t kSizeCheckTicks = 5;  // the taskbar's new scale is seen within five seconds

constexpr WORD IDM_HELP = 256;
constexpr WORD IDM_OPTIONS = 257;
constexpr WORD IDM_PAUSE = 258;
constexpr WORD IDM_RESUME = 259;
constexpr WORD IDM_RESTART = 260;
constexpr WORD IDM_EXIT = 261;

// Sent when the scaling of the window's monitor changes (Windows 8.1 on); not in the headers
// for the systems this program is compiled for, nor the power setting's notification (Vista on).
constexpr UINT WM_DPICHANGED = 0x02E0;
constexpr WPARAM PBT_POWERSETTINGCHANGE_ = 0x8013;
struct TPowerSetting {  // POWERBROADCAST_SETTING
    GUID setting;
    DWORD dataLength;
    BYTE data[1];
};

// Why nobody can see the icon; while any is set no timer runs and nothing is sampled.
constexpr uint8_t kUnseenLocked = 1, kUnseenDisconnected = 2, kUnseenDisplayOff = 4;
// The display of this session (Windows 8 on), and the console's monitor (Vista and 7).
inline constexpr GUID kSessionDisplayStatus = {0x2B84C20E, 0xAD23, 0x4DDF, {0x93, 0xDB, 0x05, 0xFF, 0xBD, 0x7E, 0xFC, 0xA5}};
inline constexpr GUID kMonitorPowerOn = {0x02731015, 0x4510, 0x4526, {0x99, 0xE6, 0xE5, 0xA1, 0x7E, 0xBD, 0x1A, 0xEA}};

constexpr char kMutexName[] = "Tembix Exists";
constexpr char kMainClassName[] = "TembixWndClass";
constexpr char kMainTitle[] = "Tembix";
constexpr char kDialogClassName[] = "#32770";
constexpr char kOptionsTitle[] = "Tembix Options";
constexpr char kHelpFileName[] = "Tembix.txt";
constexpr char kRestartSwitch[] = "/r";

// The whole life of the program; 0 when it stops early, else the quit code.
int AppMain(HINSTANCE instance);
bool RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);
void StartMonitoring();
void StopMonitoring();
// The one-second timer: coalescable, by kTickToleranceMs, from Windows 8 on.
void StartTicking();
// Asks the session's and the display's notifications, each where the system has them; let go
// when the window handles WM_DESTROY, while it still exists.
void RegisterForUnseen(HWND window);
void UnregisterForUnseen(HWND window);
// The session is locked, disconnected or its display off (bits), or none of them: sampling
// stops, and starts afresh when the icon can be seen again.
void SetUnseen(uint8_t unseen);
// Resets the NT family's sampler and takes a sample it throws away, so that the next tick
// measures from now: after a sleep or a change of the clock, and when sampling starts again.
void PrimeSampler();
void OnSessionChange(WPARAM change);             // WM_WTSSESSION_CHANGE
void OnPowerBroadcast(WPARAM event, LPARAM data);  // WM_POWERBROADCAST

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ShellOpen(const TWide& file, const char* parameters);
void ShowTrayMenu(HWND window);

// The first argument after the program path, unquoted as the C runtime splits a command line;
// empty, and too long, for one longer than any text the program keeps, which no switch is.
TAnsi FirstArgument(const char* commandLine);

// A new process of the program with the arguments, started directly rather than through the
// shell, whose attachment services may ask about a downloaded program each time; true when
// it started.
bool StartCopy(const TWide& program, const char* arguments);

// ShellExecuteW on the NT family; ShellExecuteA with the texts in the ANSI code page elsewhere.
HINSTANCE WINAPI ShellExecuteWide(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show);

using TChangeWindowMessageFilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
using TChangeWindowMessageFilter = BOOL(WINAPI*)(UINT, DWORD);
template <class F>
F LookUpUser32(const char* name) {
    F function;
    LookUpFunction(function, GetModuleHandleA("user32.dll"), name);
    return function;
}

// Calls that leave no trace of their own, replaceable by tests. The message filters are
// Windows 7's and Vista's, looked up at run time: null before them.
bool RegisterSessionNotification(HWND window);  // wtsapi32, by its full path in the system folder
void UnregisterSessionNotification(HWND window);

struct TAppSeams {
    HINSTANCE(WINAPI* shellExecute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) = ShellExecuteWide;
    bool (*registerSession)(HWND) = RegisterSessionNotification;
    void (*unregisterSession)(HWND) = UnregisterSessionNotification;
    void*(WINAPI* registerPowerSetting)(HANDLE, const GUID*, DWORD) = LookUpUser32<void*(WINAPI*)(HANDLE, const GUID*, DWORD)>(
        "RegisterPowerSettingNotification");
    BOOL(WINAPI* unregisterPowerSetting)(void*) = LookUpUser32<BOOL(WINAPI*)(void*)>("UnregisterPowerSettingNotification");
    UINT_PTR(WINAPI* setCoalescableTimer)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG) =
        LookUpUser32<UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG)>("SetCoalescableTimer");
    bool (*startCopy)(const TWide&, const char*) = StartCopy;
    TChangeWindowMessageFilterEx changeWindowMessageFilterEx =
        LookUpUser32<TChangeWindowMessageFilterEx>("ChangeWindowMessageFilterEx");
    TChangeWindowMessageFilter changeWindowMessageFilter = LookUpUser32<TChangeWindowMessageFilter>("ChangeWindowMessageFilter");
};
extern TAppSeams AppSeams;
