#include "e2e.h"

#include "helpers.h"

#include <cstdio>

namespace {

// Tembix.exe as the build made it, given by CMake as a Unix path.
std::string BuiltFile(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

const COLORREF kTaskbar = RGB(255, 255, 255);

}  // namespace

AppCopy::AppCopy(const std::string& name, const std::string& ini) : dir(ScratchDir("e2e-" + name)) {
    const std::string built = BuiltFile(TEMBIX_EXE_UNIX_PATH);
    CopyFileA(built.c_str(), Exe().c_str(), FALSE);
    const std::string help = built.substr(0, built.size() - 10) + "Tembix.txt";
    CopyFileA(help.c_str(), (dir + "\\Tembix.txt").c_str(), FALSE);
    if (!ini.empty()) WriteFileBytes(dir + "\\Tembix.ini", ini);
}

Process::Process(const std::string& exe, const std::string& arguments) {
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    const std::string directory = exe.substr(0, exe.rfind('\\'));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &startup,
                        &info_)) {
        info_ = {};
    }
}

Process::~Process() {
    if (!Started()) return;
    if (WaitForExit(0) == STILL_ACTIVE) {
        if (HWND window = TembixWindowOf(info_.dwProcessId)) AskToExit(window);
        if (WaitForExit(5000) == STILL_ACTIVE) TerminateProcess(info_.hProcess, 1);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

DWORD Process::WaitForExit(DWORD timeoutMs) {
    WaitForSingleObject(info_.hProcess, Patient(timeoutMs));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

std::vector<HWND> TembixWindows() {
    std::vector<HWND> windows;
    for (HWND w = FindWindowA("TembixWndClass", nullptr); w; w = FindWindowExA(nullptr, w, "TembixWndClass", nullptr)) {
        windows.push_back(w);
    }
    return windows;
}

HWND TembixWindowOf(DWORD processId) {
    for (HWND w : TembixWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == processId) return w;
    }
    return nullptr;
}

void AskToExit(HWND mainWindow) { PostMessageA(mainWindow, WM_COMMAND, 261, 0); }

std::vector<RECT> TrayIcons(const Screenshot& shot) {
    // Columns of the taskbar's right end that hold anything but the bare bar, grouped into
    // icons. The bar is the bottom 20 rows; icons sit in its middle 16.
    const int top = shot.height - 18, bottom = shot.height - 2;
    std::vector<RECT> icons;
    // Wine's taskbar hides itself when it has nothing to show.
    if (shot.At(shot.width - 1, shot.height - 10) != kTaskbar) return icons;
    bool inIcon = false;
    for (int x = shot.width - 200; x < shot.width; ++x) {
        bool used = false;
        for (int y = top; y < bottom && !used; ++y) used = shot.At(x, y) != kTaskbar;
        if (used && !inIcon) icons.push_back(RECT{x, top - 1, x, bottom + 1});
        if (used) icons.back().right = x + 1;
        inIcon = used;
    }
    return icons;
}

bool WaitForTrayIcons(size_t count, DWORD timeoutMs, Screenshot* last) {
    Screenshot shot;
    const bool ok = WaitUntil(
        [&] {
            shot = TakeScreenshot();
            return TrayIcons(shot).size() == count;
        },
        timeoutMs);
    if (last) *last = shot;
    if (!ok) shot.Save(ArtifactDir() + "\\failed-tray-" + std::to_string(count) + ".bmp");
    return ok;
}

void XdoTool(const std::string& arguments) {
    // A Unix program started from Wine cannot be waited on; it leaves a marker instead.
    const std::string marker = ScratchDir("xdotool") + "\\done";
    std::string unixMarker = marker.substr(2);
    for (char& c : unixMarker) {
        if (c == '\\') c = '/';
    }
    std::string commandLine = "Z:\\bin\\sh -c \"xdotool " + arguments + "; touch '" + unixMarker + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        if (info.hThread) CloseHandle(info.hThread);
        if (info.hProcess) CloseHandle(info.hProcess);
    }
    WaitUntil([&] { return FileExists(marker); }, 5000);
}

void ClickAt(int x, int y) { XdoTool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"); }

void PressKey(const std::string& key) { XdoTool("key " + key); }

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindWindowA(className, title);
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    return found;
}

HWND WaitForMenu(DWORD timeoutMs) { return WaitForWindow("#32768", nullptr, timeoutMs); }
