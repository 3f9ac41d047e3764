// What Tembix does while nobody can see its icon: the timer messages its window gets in a
// span with the session "locked" and not (the lock told to the window procedure as Windows
// tells it), with the real sampler and timer and a stand-in shell. With "lock" or "unlock"
// it tells every running Tembix so instead, for bench/unseen.sh.
//   bench_unseen [SECONDS | lock | unlock]
#include "app/app.h"
#include "state/state.h"
#include "tray/tray.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

BOOL WINAPI AcceptingShell(DWORD, PNOTIFYICONDATAA) { return TRUE; }

// The sampling timer's messages for the window over the span, each dispatched.
int TicksIn(DWORD milliseconds) {
    int ticks = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < milliseconds;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - (GetTickCount() - start), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ticks += msg.message == WM_TIMER && msg.hwnd == AppState.mainWindow && msg.wParam == IDT_SAMPLE;
            DispatchMessageA(&msg);
        }
    }
    return ticks;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "lock") == 0 || std::strcmp(argv[1], "unlock") == 0)) {
        const WPARAM change = argv[1][0] == 'l' ? WTS_SESSION_LOCK : WTS_SESSION_UNLOCK;
        int told = 0;
        for (HWND w = FindWindowA(kMainClassName, nullptr); w; w = FindWindowExA(nullptr, w, kMainClassName, nullptr), ++told) {
            PostMessageA(w, WM_WTSSESSION_CHANGE, change, 0);
        }
        std::printf("%s told to %d Tembix window(s)\n", argv[1], told);
        return told ? 0 : 1;
    }
    const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 60;
    InitPlatformInfo();
    AppState.hInstance = GetModuleHandleA(nullptr);
    AppState.threshold = 80;
    TraySeams.shellNotifyIcon = AcceptingShell;
    RegisterMainWindowClass(AppState.hInstance);
    AppState.mainWindow = CreateMainWindow(AppState.hInstance);
    StartMonitoring();
    const int seen = TicksIn(seconds * 1000);
    SendMessageA(AppState.mainWindow, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    const int locked = TicksIn(seconds * 1000);
    std::printf("timer messages in %lu s: %d seen, %d with the session locked\n", seconds, seen, locked);
    StopMonitoring();
    DestroyWindow(AppState.mainWindow);
    return 0;
}
