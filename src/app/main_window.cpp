#include "app.h"

#include "state/state.h"
#include "settings/options_dialog.h"
#include "settings/settings.h"
#include "support/support.h"
#include "tray/tray.h"

TAppSeams AppSeams;

namespace {

void PostDestroy(HWND window) { PostMessageA(window, WM_DESTROY, 0, 0); }

void OnTimer(WPARAM timerId) {
    if (timerId != IDT_SAMPLE || AppState.unseen) return;  // one queued before the timer was killed
    if (AppState.sizeCheckIn <= 1) {  // a broadcast can also come before the taskbar has its new scale
        AppState.sizeCheckIn = kSizeCheckTicks;
        RefitTrayIcon(AppState.mainWindow);
    } else {
        --AppState.sizeCheckIn;
    }
    UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, false);
}

// The display, its scaling, the taskbar's or the colours changed: the icon is redrawn at once
// as it stands when its size or look did, and the size asked once more with the next tick.
// The contrast setting is read only when the colours or it changed, not with every tick.
void OnDisplayChange(UINT message, WPARAM setting) {
    if (message == WM_SYSCOLORCHANGE || (message == WM_SETTINGCHANGE && setting == SPI_SETHIGHCONTRAST)) {
        AppState.highContrast = TraySeams.highContrast();
    }
    AppState.sizeCheckIn = 1;
    RefitTrayIcon(AppState.mainWindow);
}

void OnTrayIcon(HWND window, LPARAM mouseMessage) {
    if (mouseMessage != WM_LBUTTONUP && mouseMessage != WM_RBUTTONUP) return;
    if (AppState.optionsDialog) SetForegroundWindow(AppState.optionsDialog);
    else if (!AppState.popupMenu) ShowTrayMenu(window);
}

void Pause() {
    KillTimer(AppState.mainWindow, IDT_SAMPLE);
    if (AppState.sampler) AppState.sampler->Reset();
    AppState.paused = true;
    UpdateTrayIcon(AppState.mainWindow, NIM_MODIFY, true);
    AppState.lastShown = kNothingShown;
    AppState.blinkPhase = false;
}

void Resume() {
    AppState.paused = false;
    if (AppState.unseen) return;  // it starts when the icon can be seen again
    if (AppState.sampler) AppState.sampler->GetUsage();  // primes the sampler after the Reset of Pause
    StartTicking();
}

void OpenOptions() {
    DialogBoxParamA(AppState.hInstance, kOptionsTemplate, nullptr, OptionsDialogProc, 0);
    AppState.optionsDialog = nullptr;
}

void OnCommand(HWND window, WORD id) {
    switch (id) {
        case IDM_HELP:
            if (const TWide help = InProgramFolder(kHelpFileName); !help.empty()) ShellOpen(help, "");
            break;
        case IDM_OPTIONS: OpenOptions(); break;
        case IDM_PAUSE: Pause(); break;
        case IDM_RESUME: Resume(); break;
        case IDM_RESTART:
            // The new copy gets past the single-instance guard with the switch.
            AppSeams.startCopy(ProgramFileName(), kRestartSwitch);
            PostDestroy(window);
            break;
        case IDM_EXIT: PostDestroy(window); break;
    }
    TrimWorkingSet();
}

void OnTaskbarCreated() {
    AppState.sizeCheckIn = 1;
    AppState.taskbarWindow = nullptr;  // a new shell, a new window
    FitIconCanvas();  // the display's scaling may have changed with the shell: the add shows the new size
    // While paused the sampler has been reset: a sample now would be a first one, a false 0; and
    // while nobody can see the icon nothing is sampled.
    UpdateTrayIcon(AppState.mainWindow, NIM_ADD, AppState.paused || AppState.unseen);
}

}  // namespace

void ShellOpen(const TWide& file, const char* parameters) {
    AppSeams.shellExecute(GetDesktopWindow(), L"open", file.c_str(), Widen(parameters).c_str(), nullptr, SW_SHOWNORMAL);
}

bool StartCopy(const TWide& program, const char* arguments) {
    // The application name is the file itself, and the command line quotes it, so that a
    // folder with a blank cannot make another program of it or another first argument.
    TWide line(L"\"");
    line += program;
    line += L"\" ";
    line += Widen(arguments);
    if (program.empty() || line.TooLong()) return false;
    PROCESS_INFORMATION process = {};
    bool started = false;
    if (WideApi.createProcessW) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        started = WideApi.createProcessW(program.c_str(), line.Room(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                         &startup, &process);
    } else if (KernelApi.createProcessA) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        TAnsi writable = Narrow(line);
        started = !writable.TooLong() && KernelApi.createProcessA(Narrow(program).c_str(), writable.Room(), nullptr, nullptr,
                                                                  FALSE, 0, nullptr, nullptr, &startup, &process);
    }
    if (!started) return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

HINSTANCE WINAPI ShellExecuteWide(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                  INT show) {
    if (WideApi.shellExecuteW) return WideApi.shellExecuteW(owner, verb, file, parameters, directory, show);
    const auto narrow = [](LPCWSTR text) { return text ? Narrow(text) : TAnsi(); };
    return ShellExecuteA(owner, narrow(verb).c_str(), narrow(file).c_str(), narrow(parameters).c_str(),
                         directory ? narrow(directory).c_str() : nullptr, show);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY: UnregisterForUnseen(window), PostQuitMessage(0); break;
        case WM_CLOSE: PostDestroy(window); break;  // the default processing destroys the window
        case WM_COMMAND: OnCommand(window, LOWORD(wParam)); break;
        case WM_TIMER: OnTimer(wParam); break;
        case WM_TRAYICON: OnTrayIcon(window, lParam); break;
        case WM_DISPLAYCHANGE:
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
        case WM_DPICHANGED: OnDisplayChange(message, wParam); break;
        case WM_WTSSESSION_CHANGE: OnSessionChange(wParam); break;
        case WM_POWERBROADCAST: OnPowerBroadcast(wParam, lParam); break;
        case WM_TIMECHANGE: PrimeSampler(); break;  // a reading across it would count the jump
        default:
            // 0 until registered, and WM_NULL (which the tray menu posts) is 0 too.
            if (AppState.taskbarCreatedMsg != 0 && message == AppState.taskbarCreatedMsg) OnTaskbarCreated();
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
