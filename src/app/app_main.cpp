#include "app.h"

#include "state/state.h"
#include "settings/settings.h"
#include "support/support.h"
#include "tray/tray.h"

namespace {

// Brings monitoring up for the life of the message loop and takes it down when the loop is
// left. Only a crash can leave it otherwise, and then nothing of the program runs any more.
class MonitoringScope {
public:
    MonitoringScope() { StartMonitoring(); }
    ~MonitoringScope() { StopMonitoring(); }
    MonitoringScope(const MonitoringScope&) = delete;
    MonitoringScope& operator=(const MonitoringScope&) = delete;
};

// Since Vista a window of an elevated copy hears nothing of the non-elevated shell's restart
// unless that one message is let through; without it the icon is gone for good.
void LetTaskbarCreatedThrough(HWND window, UINT message) {
    constexpr DWORD kMsgFltAllow = 1, kMsgFltAdd = 1;
    if (AppSeams.changeWindowMessageFilterEx) AppSeams.changeWindowMessageFilterEx(window, message, kMsgFltAllow, nullptr);
    else if (AppSeams.changeWindowMessageFilter) AppSeams.changeWindowMessageFilter(message, kMsgFltAdd);
}

}  // namespace

TAnsi FirstArgument(const char* commandLine) {
    const char* p = commandLine;
    // The program path: quoted or up to the first blank, with no escapes.
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;

    TAnsi argument;
    bool quoted = false;
    while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
        size_t backslashes = 0;
        while (*p == '\\') {
            ++backslashes;
            ++p;
        }
        if (*p == '"') {
            // 2n backslashes and a quote: n backslashes and a toggle; 2n+1: n and a literal quote.
            for (size_t i = 0; i < backslashes / 2; ++i) argument += '\\';
            if (backslashes % 2) {
                argument += '"';
            } else if (quoted && p[1] == '"') {
                argument += '"';
                ++p;
            } else {
                quoted = !quoted;
            }
            ++p;
        } else {
            for (size_t i = 0; i < backslashes; ++i) argument += '\\';
            if (*p && (quoted || (*p != ' ' && *p != '\t'))) argument += *p++;
        }
    }
    return argument;
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainClassName;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExA(0, kMainClassName, kMainTitle, 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

void StartMonitoring() {
    AppState.highContrast = TraySeams.highContrast();
    CreateIconCanvas();
    AppState.taskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");
    LetTaskbarCreatedThrough(AppState.mainWindow, AppState.taskbarCreatedMsg);
    AppState.sampler = Allocate<TCpuMon>();
    PaintHundredImages();
    UpdateTrayIcon(AppState.mainWindow, NIM_ADD, true);
    if (AppState.sampler) AppState.sampler->GetUsage();  // primes the sampler: the first tick shows a measured load
    AppState.sizeCheckIn = kSizeCheckTicks;  // the canvas was just made for the size
    AppState.unseen = 0;                      // counts as seen until told otherwise
    RegisterForUnseen(AppState.mainWindow);
    StartTicking();
}

void StopMonitoring() {
    // The shell knows the icon by window handle and id, so this works after WM_CLOSE too.
    UpdateTrayIcon(AppState.mainWindow, NIM_DELETE, false);
    KillTimer(AppState.mainWindow, IDT_SAMPLE);
    DestroyMenu(AppState.popupMenu);
    AppState.sampler.reset();
    DestroyIconCanvas();
}

int AppMain(HINSTANCE instance) {
    // Only a marker that a copy runs: never waited on, and closed by the end of the process.
    HANDLE instanceMutex = CreateMutexA(nullptr, TRUE, kMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS && FirstArgument(GetCommandLineA()) != kRestartSwitch) {
        SetForegroundWindow(FindWindowA(kDialogClassName, kOptionsTitle));
        return 0;
    }
    if (!RegisterMainWindowClass(instance)) return 0;
    AppState.mainWindow = CreateMainWindow(instance);
    if (!AppState.mainWindow) return 0;
    AppState.lastShown = kNothingShown;
    AppState.blinkPhase = false;
    AppState.exeDir = ProgramDirectory();
    LoadSettings();

    MSG msg = {};
    {
        const MonitoringScope monitoring;
        TrimWorkingSet();
        while (GetMessageA(&msg, nullptr, 0, 0)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    ReleaseMutex(instanceMutex);
    return static_cast<int>(msg.wParam);
}
