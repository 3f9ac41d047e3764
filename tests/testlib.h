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
#include "support/support.h"
#include "tray/tray.h"

#include <doctest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>
#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// A fresh, empty directory below the current one; no trailing backslash.
std::string ScratchDir(const std::string& name);
void RemoveTree(const std::string& path);
std::string ReadFileBytes(const std::string& path);
std::string ReadFileBytes(const TWide& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool WriteFileBytes(const TWide& path, const std::string& bytes);
inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
// The files matching a pattern (with wildcards) and their bytes; directories have none.
std::map<std::string, std::string> Listing(const std::string& pattern);

// The current user's Startup folder, emptied before and after a test, with COM initialised.
struct StartupFolder {
    CoInitScope com;
    const std::string path = GetStartupFolder();  // with a trailing backslash
    StartupFolder() {
        REQUIRE_FALSE(path.empty());
        Empty();
    }
    ~StartupFolder() { Empty(); }
    void Empty() const;
    std::set<std::string> Contents(const std::string& in = "") const;  // the names in it, or in a folder in it
};

// Set by the test command (TEMBIX_EMULATED=1) where the program runs under user-mode
// emulation: everything is many times slower, and busy threads never end there.
bool Emulated();
DWORD Patient(DWORD milliseconds);  // a time-out, stretched under emulation
void PumpMessagesFor(DWORD milliseconds);
// Polls until the condition holds, pumping this thread's messages; false on time-out.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

using Pixels = std::vector<COLORREF>;  // row by row, top-down
// What `paint` draws through a memory DC into a new screen-compatible bitmap.
Pixels Paint(int width, int height, const std::function<void(HDC)>& paint);
Pixels ReadBitmapPixels(HBITMAP bitmap, int width = kIconSize, int height = kIconSize);
Pixels DrawnIconPixels(HICON icon, int size = kIconSize);  // over black, so that a transparent pixel would show
bool IsLiveIcon(HICON icon);

struct Screenshot {
    int width, height;
    Pixels pixels;
    COLORREF At(int x, int y) const { return pixels[y * width + x]; }
    int CountInTray(COLORREF colour) const;  // in the taskbar's bottom-right corner
    void Save(const std::string& name) const;  // a PPM file in build/<tree>/tests/artifacts
};
Screenshot TakeScreenshot();

// Calls open(), which enters a modal loop; `inside` runs from that loop after delayMs and is
// expected to end it. A loop still open after the time-out is ended by force: false then.
bool RunModal(const std::function<void()>& open, const std::function<void()>& inside, DWORD delayMs = 150,
              DWORD timeoutMs = 8000);
HWND FindMenuWindow();

struct ShellCall {
    DWORD action;
    TNotifyIconData data;
    bool iconLive;       // the icon handed over was a real icon during the call
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
    static inline std::vector<BOOL> results;  // popped per shell call; TRUE when empty
    static inline std::vector<DWORD> errors;  // the last error each failing call leaves
    static inline std::vector<DWORD> sleeps;
    static inline std::vector<std::pair<TWide, TWide>> shellOpens;  // file, parameters

    AppFixture();
    ~AppFixture();
    static void ClearRecords();
    static void ScriptSampler();  // the new sampler after a start primed with the scripted times; records cleared
    static LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    static bool RunUntilQuit(DWORD timeoutMs = 3000);  // true when WM_QUIT came
    static bool TimerRunning();
    static int TakeCloseMessages();  // WM_CLOSE posted to the main window
};
using F = AppFixture;
