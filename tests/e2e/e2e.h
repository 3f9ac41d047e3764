// Tembix.exe started and used as a person would: in the prefix's virtual desktop, looked
// at through screenshots and clicked with xdotool.
#pragma once

#include "screen.h"

#include <windows.h>
#include <string>
#include <vector>

// A private copy of the program (Tembix.exe and Tembix.txt) in a scratch directory.
struct AppCopy {
    std::string dir;  // no trailing backslash
    explicit AppCopy(const std::string& name, const std::string& ini = "");
    std::string Exe() const { return dir + "\\Tembix.exe"; }
};

class Process {
public:
    Process(const std::string& exe, const std::string& arguments);
    ~Process();  // a copy still running is asked to exit, then ended
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    // The exit code, or STILL_ACTIVE when the process has not ended within the time-out.
    DWORD WaitForExit(DWORD timeoutMs);
    DWORD Id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_ = {};
};

// The hidden main windows of every running copy.
std::vector<HWND> TembixWindows();
HWND TembixWindowOf(DWORD processId);
void AskToExit(HWND mainWindow);

// Icons in the notification area, left to right, from a screenshot.
std::vector<RECT> TrayIcons(const Screenshot& shot);
bool WaitForTrayIcons(size_t count, DWORD timeoutMs, Screenshot* last = nullptr);

// Runs xdotool with the given arguments, e.g. "mousemove 10 20 click 1", and waits for it.
void XdoTool(const std::string& arguments);
void ClickAt(int x, int y);
void PressKey(const std::string& key);

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs = 5000);
HWND WaitForMenu(DWORD timeoutMs = 5000);
