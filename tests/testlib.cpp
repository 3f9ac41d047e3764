#define DOCTEST_CONFIG_IMPLEMENT
#include "testlib.h"

// The tests start as the program does: platform facts first, then the module handle.
int main(int argc, char** argv) {
    InitPlatformInfo();
    InitCommonControls();
    AppState.hInstance = GetModuleHandleA(nullptr);
    return doctest::Context(argc, argv).run();
}

std::string ScratchDir(const std::string& name) {
    CreateDirectoryA("scratch", nullptr);
    char full[MAX_PATH + 1] = {};
    GetFullPathNameA(("scratch\\" + name).c_str(), sizeof full, full, nullptr);
    RemoveTree(full);
    CreateDirectoryA(full, nullptr);
    return full;
}

void RemoveTree(const std::string& path) {
    for (const auto& file : Listing(path + "\\*")) {
        const std::string child = path + "\\" + file.first;
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(child.c_str())) RemoveTree(child);
    }
    RemoveDirectoryA(path.c_str());
}

std::string ReadFileBytes(const std::string& path) { return ReadFileBytes(Widen(path)); }
bool WriteFileBytes(const std::string& path, const std::string& bytes) { return WriteFileBytes(Widen(path), bytes); }

std::string ReadFileBytes(const TWide& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(file == INVALID_HANDLE_VALUE ? 0 : GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], bytes.size(), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const TWide& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), bytes.size(), &written, nullptr);
    return CloseHandle(file) && ok && written == bytes.size();
}

std::map<std::string, std::string> Listing(const std::string& pattern) {
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data)) {
        if (data.cFileName[0] != '.') files[data.cFileName] = ReadFileBytes(DirectoryOf(pattern) + data.cFileName);
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return files;
}

void StartupFolder::Empty() const {
    if (path.empty()) return;  // the current directory is no Startup folder
    RemoveTree(WithoutTrailingBackslash(path));
    CreateDirectoryA(path.c_str(), nullptr);
}

std::set<std::string> StartupFolder::Contents(const std::string& in) const {
    std::set<std::string> names;
    for (const auto& file : Listing(path + in + "*")) names.insert(file.first);
    return names;
}

bool Emulated() {
    char text[4] = {};
    return GetEnvironmentVariableA("TEMBIX_EMULATED", text, sizeof text) && text[0] == '1';
}

DWORD Patient(DWORD milliseconds) { return Emulated() ? milliseconds * 10 : milliseconds; }

void PumpMessagesFor(DWORD milliseconds) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(10)) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    for (const DWORD start = GetTickCount(); !condition(); PumpMessagesFor(50)) {
        if (GetTickCount() - start > Patient(timeoutMs)) return false;
    }
    return true;
}

Pixels Paint(int width, int height, const std::function<void(HDC)>& paint) {
    HDC screen = GetDC(nullptr);
    HBITMAP target = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, target);
    paint(dc);
    SelectObject(dc, previous);
    DeleteDC(dc);
    Pixels pixels = ReadBitmapPixels(target, width, height);
    DeleteObject(target);
    return pixels;
}

Pixels ReadBitmapPixels(HBITMAP bitmap, int width, int height) {
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB}};
    Pixels pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (COLORREF& bgr : pixels) bgr = RGB(GetBValue(bgr), GetGValue(bgr), GetRValue(bgr));  // to COLORREF order
    return pixels;
}

Pixels DrawnIconPixels(HICON icon, int size) {
    return Paint(size, size, [icon, size](HDC dc) {
        PatBlt(dc, 0, 0, size, size, BLACKNESS);
        DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    });
}

bool IsLiveIcon(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

int Screenshot::CountInTray(COLORREF colour) const {
    int count = 0;
    for (int y = height - 40; y < height; ++y) {
        for (int x = width - 200; x < width; ++x) count += At(x, y) == colour;
    }
    return count;
}

void Screenshot::Save(const std::string& name) const {
    CreateDirectoryA("artifacts", nullptr);
    std::string ppm = "P6 " + std::to_string(width) + " " + std::to_string(height) + " 255\n";
    for (COLORREF c : pixels) ppm += {char(GetRValue(c)), char(GetGValue(c)), char(GetBValue(c))};
    WriteFileBytes(Widen("artifacts\\" + name + ".ppm"), ppm);
}

Screenshot TakeScreenshot() {
    Screenshot shot = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    shot.pixels = Paint(shot.width, shot.height, [&shot](HDC dc) {
        HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
    return shot;
}

namespace {

std::function<void()> pendingInside;
UINT_PTR guardTimer = 0;
bool forced = false;

void CALLBACK RunInside(HWND, UINT, UINT_PTR id, DWORD) {
    if (id == guardTimer) {  // the time-out: the loops are ended by force, a message box first
        forced = true;
        EndMenu();
        PostMessageA(FindWindowA("#32770", "Tembix"), WM_CLOSE, 0, 0);
        if (AppState.optionsDialog) EndDialog(AppState.optionsDialog, 0);
        return;
    }
    KillTimer(nullptr, id);
    const std::function<void()> inside = pendingInside;
    pendingInside = nullptr;
    inside();
}

}  // namespace

bool RunModal(const std::function<void()>& open, const std::function<void()>& inside, DWORD delayMs, DWORD timeoutMs) {
    pendingInside = inside;
    forced = false;
    const UINT_PTR insideTimer = SetTimer(nullptr, 0, delayMs, RunInside);
    guardTimer = SetTimer(nullptr, 0, Patient(timeoutMs), RunInside);
    open();
    KillTimer(nullptr, insideTimer);
    KillTimer(nullptr, guardTimer);
    pendingInside = nullptr;
    return !forced;
}

HWND FindMenuWindow() { return FindWindowA("#32768", nullptr); }


namespace {

uint64_t scriptedIdle = 1, scriptedAll = 0;

// One processor-second per sample, idle for (100 - load) % of it.
BOOL WINAPI LoadTimes(FILETIME* idle, FILETIME* kernel, FILETIME* user) {
    ++F::samples;
    scriptedIdle += (100 - F::load) * 100000;
    scriptedAll += 10000000;
    *idle = {static_cast<DWORD>(scriptedIdle), static_cast<DWORD>(scriptedIdle >> 32)};
    *kernel = {static_cast<DWORD>(scriptedAll), static_cast<DWORD>(scriptedAll >> 32)};
    *user = {};
    return TRUE;
}

template <class T>
T PopFront(std::vector<T>& queue, T fallback) {
    const T front = queue.empty() ? fallback : queue.front();
    if (!queue.empty()) queue.erase(queue.begin());
    return front;
}

BOOL WINAPI RecordNotify(DWORD action, PNOTIFYICONDATAA record) {
    ShellCall call = {action, {}, IsLiveIcon(record->hIcon), 0};
    std::memcpy(&call.data, record, sizeof call.data);
    if (call.iconLive) call.iconPixel = DrawnIconPixels(record->hIcon)[0];
    F::calls.push_back(call);
    const BOOL result = PopFront(F::results, TRUE);
    if (!result) SetLastError(PopFront(F::errors, DWORD(0)));
    return result;
}

void WINAPI RecordSleep(DWORD ms) { F::sleeps.push_back(ms); }

DWORD WINAPI RecordLastError() {
    ++F::lastErrorReads;
    return GetLastError();
}

BOOL WINAPI CountTrim(HANDLE, SIZE_T, SIZE_T) { return ++F::trims; }

HINSTANCE WINAPI RecordShellExecute(HWND, LPCWSTR, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT) {
    F::shellOpens.emplace_back(file, parameters);
    return reinterpret_cast<HINSTANCE>(42);
}

}  // namespace

AppFixture::AppFixture() {
    static const bool registered = RegisterMainWindowClass(AppState.hInstance);
    (void)registered;
    TraySeams = {RecordNotify, RecordSleep, RecordLastError};
    AppSeams.shellExecute = RecordShellExecute;
    SupportSeams.setProcessWorkingSetSize = CountTrim;
    AppState.mainWindow = CreateMainWindow(AppState.hInstance);
    AppState.lastShown = kNothingShown;
    AppState.blinkPhase = AppState.paused = AppState.blinkEnabled = false;
    AppState.threshold = 80;
    AppState.exeDir = L"C:\\Apps\\Tembix\\";
    StartMonitoring();
    ScriptSampler();
}

void AppFixture::ScriptSampler() {
    AppState.sampler->getSystemTimes = LoadTimes;
    AppState.sampler->GetUsage();
    ClearRecords();
}

AppFixture::~AppFixture() {
    StopMonitoring();
    DestroyWindow(AppState.mainWindow);
    AppState.mainWindow = nullptr;
    AppState.optionsDialog = nullptr;
    MSG msg;  // a quit message posted by the test must not end the next test's loop
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    TraySeams = TTraySeams{};
    AppSeams = TAppSeams{};
    SupportSeams = TSupportSeams{};
}

void AppFixture::ClearRecords() {
    calls.clear(), results.clear(), errors.clear(), sleeps.clear(), shellOpens.clear();
    lastErrorReads = trims = samples = 0;
}

LRESULT AppFixture::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(AppState.mainWindow, message, wParam, lParam);
}

bool AppFixture::RunUntilQuit(DWORD timeoutMs) {
    MSG msg;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(10)) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return true;
            DispatchMessageA(&msg);
        }
    }
    return false;
}

bool AppFixture::TimerRunning() {
    // KillTimer tells whether the timer existed; put it back when it did.
    return KillTimer(AppState.mainWindow, IDT_SAMPLE) && SetTimer(AppState.mainWindow, IDT_SAMPLE, kSamplePeriodMs, nullptr);
}

int AppFixture::TakeCloseMessages() {
    int count = 0;
    for (MSG msg; PeekMessageA(&msg, AppState.mainWindow, WM_CLOSE, WM_CLOSE, PM_REMOVE);) ++count;
    return count;
}
