// Tembix.exe started and used as a person would: in the prefix's virtual desktop, looked at
// through screenshots, its tray icon clicked with the mouse.

#include "testlib.h"

namespace {

// The hidden main windows of the running copies, of one process or of all.
std::vector<HWND> TembixWindows(DWORD processId = 0) {
    std::vector<HWND> windows;
    for (HWND w = FindWindowA("TembixWndClass", nullptr); w; w = FindWindowExA(nullptr, w, "TembixWndClass", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (!processId || owner == processId) windows.push_back(w);
    }
    return windows;
}

// A copy of the program, its help file and the settings given, in a scratch folder; with
// `foreign`, in a folder named in characters that the ANSI code page (1252) cannot hold, and
// with a blank, where a path that is not quoted splits.
TWide CopyProgram(const std::string& name, const std::string& ini, bool foreign = false) {
    const TWide dir = Widen(ScratchDir("e2e-" + name)) + (foreign ? L"\\\u65E5\u672C \u30D5\u30A9\u30EB\u30C0" : L"");
    std::string built = "Z:" TEMBIX_EXE_UNIX_PATH;
    std::replace(built.begin(), built.end(), '/', '\\');
    CreateDirectoryW(dir.c_str(), nullptr);
    CopyFileW(Widen(built).c_str(), (dir + L"\\Tembix.exe").c_str(), FALSE);
    CopyFileW(Widen(DirectoryOf(built) + "Tembix.txt").c_str(), (dir + L"\\Tembix.txt").c_str(), FALSE);
    WriteFileBytes(dir + L"\\Tembix.ini", ini);
    return dir;
}

// One start of a copy; a process still running at the end is asked to exit, then ended.
struct Process {
    PROCESS_INFORMATION info_ = {};
    Process(const TWide& dir, const std::string& arguments) {
        std::wstring line = L"\"" + Str(dir) + L"\\Tembix.exe\" " + Str(Widen(arguments));
        STARTUPINFOW startup = {sizeof startup};
        REQUIRE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup, &info_));
    }
    ~Process() {
        for (HWND w : TembixWindows(info_.dwProcessId)) PostMessageA(w, WM_COMMAND, IDM_EXIT, 0);
        if (ExitCode(5000) == STILL_ACTIVE) TerminateProcess(info_.hProcess, 1);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    DWORD ExitCode(DWORD waitMs) {  // STILL_ACTIVE while it runs
        DWORD code = STILL_ACTIVE;
        WaitForSingleObject(info_.hProcess, Patient(waitMs));
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
};

// The icons of the notification area, left to right: the columns of the taskbar's right end
// that hold anything but the bare bar. Wine's taskbar hides itself when it is empty.
std::vector<RECT> TrayIcons(const Screenshot& shot) {
    std::vector<RECT> icons;
    const COLORREF bar = RGB(255, 255, 255);
    int top = shot.height - 1;
    while (top > shot.height / 2 && shot.At(shot.width - 1, top - 1) == bar) --top;
    for (int x = shot.width - 200; x < shot.width && top < shot.height - 1; ++x) {
        bool used = false;
        for (int y = top + 2; y < shot.height - 2; ++y) used = used || shot.At(x, y) != bar;
        if (used && (icons.empty() || icons.back().right < x)) icons.push_back(RECT{x, top, x, shot.height});
        if (used) icons.back().right = x + 1;
    }
    return icons;
}
bool ShowsLoad(const Screenshot& s) { return s.CountInTray(CLR_BLUE) >= 60 || s.CountInTray(CLR_RED) >= 60; }
bool WaitForScreen(const std::function<bool(const Screenshot&)>& condition) {
    return WaitUntil([&] { return condition(TakeScreenshot()); }, 10000);
}
bool WaitForTrayIcons(size_t count) {
    return WaitForScreen([count](const Screenshot& s) { return TrayIcons(s).size() == count; });
}
HWND WaitForWindow(const char* className, const char* title) {
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowA(className, title)) && IsWindowVisible(window); }, 10000);
    REQUIRE(window != nullptr);
    return window;
}

// Clicks the only tray icon with the mouse, once it shows the load, and waits for its menu.
void OpenMenu() {
    Screenshot shot;
    REQUIRE(WaitForScreen([&](const Screenshot& s) { return TrayIcons(shot = s).size() == 1 && ShowsLoad(s); }));
    const RECT icon = TrayIcons(shot).front();
    SetCursorPos((icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2);
    INPUT click[2] = {{INPUT_MOUSE}, {INPUT_MOUSE}};
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    REQUIRE(SendInput(2, click, sizeof(INPUT)) == 2);
    WaitForWindow("#32768", nullptr);
}

// A key pressed on the keyboard, for whatever window has the focus.
void Press(WORD key) {
    INPUT input[2] = {{INPUT_KEYBOARD}, {INPUT_KEYBOARD}};
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    REQUIRE(SendInput(2, input, sizeof(INPUT)) == 2);
}

}  // namespace

TEST_CASE("A first start shows the program icon, then the load; Exit from the menu removes it") {
    REQUIRE(TembixWindows().empty());
    Process tembix(CopyProgram("first", "[Option]\r\nThreshold=100\r\n"), "");
    CHECK(WaitForScreen([](const Screenshot& s) { return s.CountInTray(RGB(0, 255, 0)) > 5; }));  // the chart's line
    Screenshot shot;
    CHECK(WaitForScreen([&](const Screenshot& s) { return ShowsLoad(shot = s); }));
    shot.Save("tray");  // for the docs step
    const int size = GetSystemMetrics(SM_CXSMICON);  // 16, or 24 at 144 DPI: drawn, not stretched
    CHECK((TrayIcons(shot).size() == 1 && TrayIcons(shot)[0].right - TrayIcons(shot)[0].left == size));
    OpenMenu();
    Press('X');  // "E&xit"
    CHECK(tembix.ExitCode(5000) == 0);
    CHECK(WaitForTrayIcons(0));
}

TEST_CASE("One copy at a time, except with /r; Restart from the menu leaves exactly one, from any folder") {
    const TWide dir = CopyProgram("single", "", true);
    Process first(dir, "");
    REQUIRE(WaitUntil([] { return TembixWindows().size() == 1; }, 10000));
    const HWND firstWindow = TembixWindows()[0];
    // What a later copy looks for, held here across Restart too, so that the new copy gets
    // past it only by its "/r" however soon the first copy ends.
    const HANDLE marker = OpenMutexA(SYNCHRONIZE, FALSE, "Tembix Exists");
    CHECK(marker != nullptr);
    for (const char* arguments : {"", "/R", "r", "x /r", "\"\" /r"}) {
        CAPTURE(arguments);
        CHECK(Process(dir, arguments).ExitCode(5000) == 0);
        CHECK(TembixWindows().size() == 1);
    }
    {
        Process second(dir, "/r");
        CHECK(WaitForTrayIcons(2));
    }
    CHECK(WaitForTrayIcons(1));
    OpenMenu();
    Press('T');  // "Restart &Tembix"
    CHECK(first.ExitCode(10000) == 0);
    // Its first argument was "/r", not a piece of its folder's name.
    REQUIRE(WaitUntil([&] { return TembixWindows().size() == 1 && TembixWindows()[0] != firstWindow; }));
    CloseHandle(marker);
    CHECK(Process(dir, "").ExitCode(5000) == 0);  // the new copy holds the marker too
    CHECK(TembixWindows().size() == 1);
    PostMessageA(TembixWindows()[0], WM_COMMAND, IDM_EXIT, 0);
    CHECK(WaitForTrayIcons(0));
}

TEST_CASE("Options from the menu, in a folder the code page lacks: a second start raises the dialog; OK saves") {
    CoInitScope com;
    RemoveStartupShortcuts(kProgramFileName);
    const TWide dir = CopyProgram("options", "[Other]\r\nk=v\r\n[Option]\r\nThreshold=100\r\nExtra=1\r\n", true);
    Process tembix(dir, "");
    OpenMenu();
    Press('O');  // "&Options..."
    HWND dialog = WaitForWindow("#32770", "Tembix Options");
    char threshold[8] = {};
    GetDlgItemTextA(dialog, IDC_THRESHOLD, threshold, sizeof threshold);
    CHECK(std::string(threshold) == "100");  // read from the foreign folder
    RECT frame;
    GetWindowRect(dialog, &frame);
    PumpMessagesFor(300);
    TakeScreenshot().Save("options", frame);
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 20, 20, 99, 60, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    CHECK(WaitUntil([&] { return GetForegroundWindow() == other; }));
    CHECK(Process(dir, "").ExitCode(5000) == 0);
    CHECK(WaitUntil([&] { return GetForegroundWindow() == dialog; }));
    DestroyWindow(other);

    SendDlgItemMessageA(dialog, IDC_STARTUP, BM_CLICK, 0, 0);
    SendDlgItemMessageA(dialog, IDC_THRESHOLD, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("1"));
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);  // a failed save's message box would block a send
    CHECK(WaitUntil([&] { return !IsWindow(dialog); }));
    CHECK(ReadFileBytes(dir + L"\\Tembix.ini") == "[Other]\r\nk=v\r\n[Option]\r\nBlinkTrayIcon=0\r\nThreshold=1\r\n");
    // The shortcut's icon is the program, by its wide name: Wine keeps a link's target itself in
    // the ANSI code page, so the target cannot be read back whole here.
    const ComPtr<IShellLinkW> link = CreateComObject(CLSID_ShellLink).As<IShellLinkW>(IID_IShellLinkW);
    link.As<IPersistFile>(IID_IPersistFile)->Load((GetStartupFolder() + L"Tembix.lnk").c_str(), STGM_READ);
    wchar_t icon[MAX_PATH] = {};
    int index = 0;
    link->GetIconLocation(icon, MAX_PATH, &index);
    CHECK(UpperCase(icon) == UpperCase(dir + L"\\Tembix.exe"));
    RemoveStartupShortcuts(kProgramFileName);
}
