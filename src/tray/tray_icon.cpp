#include "state/state.h"
#include "support/support.h"
#include "tray.h"

#include <cstring>

TTraySeams TraySeams;

namespace {

constexpr UINT kIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr int kMaxAddRetries = 5;
constexpr DWORD kShellBusyWaitMs = 2000;

bool Notify(DWORD action, TNotifyIconData& data) {
    return TraySeams.shellNotifyIcon(action, reinterpret_cast<PNOTIFYICONDATAA>(&data)) != FALSE;
}

HICON LoadProgramIcon() {
    const int size = AppState.canvas.size;
    return static_cast<HICON>(LoadImageA(AppState.hInstance, "MAINICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

// What a hover or a screen reader gets: the number shown, whether it is at or above the
// threshold (which the colour alone tells otherwise), and the busiest processor of the same
// moment; or why there is no number. The rest of the field stays zero.
void CopyTip(char (&tip)[64], bool useProgramIcon, uint8_t value, uint8_t busiest) {
    TText<char, sizeof tip - 1> text("Tembix");
    if (useProgramIcon) {
        if (AppState.paused) text += ": paused";
    } else {
        ((text += ": ") += FormatInt(value < 100 ? value : 100)) += '%';
        if (value >= AppState.threshold) (text += ", at or above ") += FormatInt(AppState.threshold);
        if (busiest != kNoBusiest) ((text += " (busiest processor ") += FormatInt(busiest)) += "%)";
    }
    std::memcpy(tip, text.c_str(), text.size());
}

// A shell that is still starting (or too busy) answers an add with a time-out; it often
// has taken the icon all the same, which the modify after the wait finds out. A re-add
// after "TaskbarCreated" may find the icon still there, since other programs send that
// broadcast too: then a modify keeps it.
void RetryAdd(TNotifyIconData& data, bool reAdd) {
    for (int retries = 0; retries < kMaxAddRetries;) {
        ++retries;
        if (Notify(NIM_ADD, data)) return;
        if (TraySeams.getLastError() != ERROR_TIMEOUT) {
            if (reAdd && Notify(NIM_MODIFY, data)) return;
            break;
        }
        TraySeams.sleep(kShellBusyWaitMs);
        if (Notify(NIM_MODIFY, data)) return;
    }
    // Without an icon the program cannot be reached at all: close it the normal way.
    PostMessageA(AppState.mainWindow, WM_CLOSE, 0, 0);
}

// The record that shows an icon: the program's own or the value's, with its tip.
TNotifyIconData IconRecord(HWND window, bool useProgramIcon, uint8_t value, uint8_t busiest, HICON icon) {
    TNotifyIconData data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 0;
    data.uFlags = kIconFlags;
    CopyTip(data.szTip, useProgramIcon, value, busiest);
    data.hIcon = icon;
    data.uCallbackMessage = WM_TRAYICON;
    return data;
}

}  // namespace

void UpdateTrayIcon(HWND window, DWORD action, bool useProgramIcon) {
    uint8_t value = 0, busiest = kNoBusiest;
    if (!useProgramIcon && action != NIM_DELETE) {
        if (AppState.sampler) value = AppState.sampler->GetUsage(), busiest = AppState.sampler->busiest;
        if (action == NIM_MODIFY) {
            if (value != AppState.lastShown) AppState.lastShown = value;
            else if (value < 100 || !AppState.blinkEnabled) return;  // unchanged, nothing to advance
        }
        AppState.busiestShown = busiest;  // goes with the icon, for a redraw without a sample
    }

    TNotifyIconData data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 0;
    unique_hicon icon;
    if (action != NIM_DELETE) {
        icon.reset(useProgramIcon ? LoadProgramIcon() : MakeLoadIcon(value));
        data = IconRecord(window, useProgramIcon, value, busiest, icon.get());
    }

    // The start-up add is the one add that shows the program's icon while sampling; a re-add
    // after "TaskbarCreated" shows the load, or the program's icon while paused or unseen.
    if (!Notify(action, data) && action == NIM_ADD) RetryAdd(data, !useProgramIcon || AppState.paused || AppState.unseen);
    // The shell keeps its own copy of the icon; ours goes with `icon`.
}

void RefitTrayIcon(HWND window) {
    if (!FitIconCanvas()) return;
    const bool programIcon = AppState.paused || AppState.lastShown == kNothingShown;
    const unique_hicon icon(programIcon ? LoadProgramIcon() : RedrawLoadIcon(AppState.lastShown));
    TNotifyIconData data = IconRecord(window, programIcon, AppState.lastShown, AppState.busiestShown, icon.get());
    Notify(NIM_MODIFY, data);
}
