#include "app_fixture.h"

#include "screen.h"
#include "support/support.h"

std::vector<DefCall> AppFixture::defCalls;
int AppFixture::trims = 0;
std::vector<std::pair<std::string, std::string>> AppFixture::shellOpens;

namespace {

LRESULT WINAPI RecordDefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    AppFixture::defCalls.push_back({window, message, wParam, lParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL WINAPI CountTrim(HANDLE, SIZE_T, SIZE_T) {
    ++AppFixture::trims;
    return TRUE;
}

HINSTANCE WINAPI RecordShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                    INT show) {
    if (owner == GetDesktopWindow() && std::string(verb) == "open" && !directory && show == SW_SHOWNORMAL) {
        AppFixture::shellOpens.emplace_back(file, parameters);
    } else {
        AppFixture::shellOpens.emplace_back("unexpected call", "");
    }
    return reinterpret_cast<HINSTANCE>(42);
}

}  // namespace

AppFixture::AppFixture() {
    static const bool registered = RegisterMainWindowClass(AppState.hInstance);
    (void)registered;
    AppSeams.defWindowProc = RecordDefWindowProc;
    AppSeams.shellExecute = RecordShellExecute;
    SupportSeams.setProcessWorkingSetSize = CountTrim;
    AppState.mainWindow = CreateMainWindow(AppState.hInstance);
    AppState.lastShown = kNothingShown;
    AppState.blinkPhase = false;
    AppState.paused = false;
    AppState.threshold = 80;
    AppState.blinkEnabled = false;
    AppState.exeDir = "C:\\Apps\\Tembix\\";
    StartMonitoring();
    ScriptedSampler::Install();
    ClearRecords();
}

AppFixture::~AppFixture() {
    StopMonitoring();
    if (IsWindow(AppState.mainWindow)) DestroyWindow(AppState.mainWindow);
    AppState.mainWindow = nullptr;
    AppState.popupMenu = nullptr;
    AppState.optionsDialog = nullptr;
    // A quit message posted by the test must not end the next test's loop.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    AppSeams = TAppSeams{};
    SupportSeams = TSupportSeams{};
}

LRESULT AppFixture::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(AppState.mainWindow, message, wParam, lParam);
}

bool AppFixture::RunUntilQuit(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return true;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }
    return false;
}

bool AppFixture::TimerRunning() {
    // KillTimer tells whether the timer existed; put it back when it did.
    if (!KillTimer(AppState.mainWindow, IDT_SAMPLE)) return false;
    SetTimer(AppState.mainWindow, IDT_SAMPLE, kSamplePeriodMs, nullptr);
    return true;
}

int AppFixture::Count(UINT message) {
    int count = 0;
    for (const DefCall& call : defCalls) count += call.message == message;
    return count;
}

void AppFixture::ClearRecords() {
    RecordingShell::calls.clear();
    RecordingShell::sleeps.clear();
    RecordingShell::lastErrorReads = 0;
    ScriptedSampler::samples = 0;
    defCalls.clear();
    trims = 0;
    shellOpens.clear();
}
