// The application shell: start-up and the single-instance guard, the hidden main window
// and its procedure, the tray menu, and shutdown.
#pragma once

#include "support/support.h"

#include <windows.h>

constexpr UINT_PTR IDT_SAMPLE = 1;
constexpr UINT kSamplePeriodMs = 1000;
constexpr uint8_t kSizeCheckTicks = 5;  // the taskbar's new scale is seen within five seconds

constexpr WORD IDM_HELP = 256;
constexpr WORD IDM_OPTIONS = 257;
constexpr WORD IDM_PAUSE = 258;
constexpr WORD IDM_RESUME = 259;
constexpr WORD IDM_RESTART = 260;
constexpr WORD IDM_EXIT = 261;

// Sent when the scaling of the window's monitor changes (Windows 8.1 on); not in the headers
// for the systems this program is compiled for.
constexpr UINT WM_DPICHANGED = 0x02E0;

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
struct TAppSeams {
    HINSTANCE(WINAPI* shellExecute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) = ShellExecuteWide;
    bool (*startCopy)(const TWide&, const char*) = StartCopy;
    TChangeWindowMessageFilterEx changeWindowMessageFilterEx =
        LookUpUser32<TChangeWindowMessageFilterEx>("ChangeWindowMessageFilterEx");
    TChangeWindowMessageFilter changeWindowMessageFilter = LookUpUser32<TChangeWindowMessageFilter>("ChangeWindowMessageFilter");
};
extern TAppSeams AppSeams;
