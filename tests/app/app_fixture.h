// The program brought up in-process as start-up does, with the shell, the trim and the
// default window procedure watched.
#pragma once

#include "app/app.h"
#include "tray/tray_fixture.h"

#include <vector>

struct DefCall {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct AppFixture {
    RecordingShell shell;
    static std::vector<DefCall> defCalls;
    static int trims;
    static std::vector<std::pair<std::string, std::string>> shellOpens;  // file, parameters

    // Registers the class once, creates the main window and runs StartMonitoring with a
    // scripted sampler put in afterwards; the records start empty.
    AppFixture();
    ~AppFixture();  // StopMonitoring, then the window goes

    static LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Dispatches until WM_QUIT; true when it came within the time-out.
    static bool RunUntilQuit(DWORD timeoutMs = 3000);
    static bool TimerRunning();
    static int Count(UINT message);
    void ClearRecords();
};
