// The settings file, and the Options dialog driven for real: opened through the Options
// command, its controls sent messages from inside its modal loop.

#include "testlib.h"

#include <utility>

namespace {

// A fresh directory for the program: the platform caches profile files by name.
void UseFreshExeDir(const std::string& name) { AppState.exeDir = Widen(ScratchDir("settings-" + name) + "\\"); }
TWide Ini() { return SettingsPath(); }

// The program with no timer running, so that only the dialog changes the settings; a
// scratch directory and a Startup folder without shortcuts.
struct DialogFixture : AppFixture, StartupFolder {
    DialogFixture() {
        KillTimer(AppState.mainWindow, IDT_SAMPLE);
        UseFreshExeDir("dialog");
    }
};

// Opens the dialog with the Options command and runs `inside` in it; true when the dialog
// ended without being forced and the command cleared the field.
bool WithDialog(const std::function<void(HWND)>& inside) {
    HWND seen = nullptr;
    const bool ended = RunModal([] { AppFixture::Send(WM_COMMAND, IDM_OPTIONS); }, [&] {
        // Called from the dialog's loop: a failed check must not throw through the program's frames.
        CHECK((seen = AppState.optionsDialog) != nullptr);
        if (seen) inside(seen);
    });
    return ended && AppState.optionsDialog == nullptr && !IsWindow(seen);
}

std::string ItemText(HWND dialog, int id) {
    char text[64] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}
void Press(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }
void InstallThisCopy() { InstallStartupShortcut(kShortcutName, "", AppState.exeDir + L"Tembix.exe", "", L"", L"", 0, 1, 0); }

// Task Manager's switch for a shortcut in the real registry: its type and bytes, REG_NONE
// when there is none.
const wchar_t kApproved[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
std::pair<DWORD, std::string> Switch(const wchar_t* name = L"Tembix.lnk") {
    char data[64] = {};
    DWORD type = REG_NONE, size = sizeof data;
    const bool found = SHGetValueW(HKEY_CURRENT_USER, kApproved, name, &type, data, &size) == ERROR_SUCCESS;
    return found ? std::make_pair(type, std::string(data, size)) : std::make_pair(DWORD(REG_NONE), std::string());
}
void SetSwitch(const std::pair<DWORD, std::string>& value, const wchar_t* name = L"Tembix.lnk") {
    SHDeleteValueW(HKEY_CURRENT_USER, kApproved, name);
    if (value.first != REG_NONE) SHSetValueW(HKEY_CURRENT_USER, kApproved, name, value.first, value.second.data(), value.second.size());
}

// CreateFileW as Microsoft documents it, where Wine is lenient: CREATE_ALWAYS refuses an
// existing hidden or system file unless the call asks for the same attributes.
HANDLE WINAPI DocumentedCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE from) {
    const DWORD existing = GetFileAttributesW(name), strict = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (disposition == CREATE_ALWAYS && existing != INVALID_FILE_ATTRIBUTES && (existing & strict & ~flags)) {
        return SetLastError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    }
    return CreateFileW(name, access, share, security, disposition, flags, from);
}

// The failing profile write: the threshold, after the section was erased; with
// lockOnFailure set, the file is then held so that it cannot be put back.
BOOL(WINAPI* profileWrite)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR) = nullptr;
HANDLE lockOnFailure = nullptr;
BOOL WINAPI FailThreshold(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR file) {
    if (!key || std::wstring(key) != L"Threshold") return profileWrite(section, key, value, file);
    if (lockOnFailure) lockOnFailure = CreateFileW(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return SetLastError(ERROR_DISK_FULL), FALSE;
}

std::string said;  // the text of the message box that CloseMessage found
void CALLBACK CloseMessage(HWND, UINT, UINT_PTR id, DWORD) { KillTimer(nullptr, id), said = CloseMessageBox(); }

}  // namespace

TEST_CASE("Loading at start: any non-zero blink is on; the threshold's low byte, 80 unless 1..100") {
    struct Row {
        std::string lines;
        bool blink;
        int threshold;
    };
    const Row rows[] = {
        {"Threshold=0x32\r\nBlinkTrayIcon=2", true, 50}, {"Threshold=$32\r\nBlinkTrayIcon=-1", true, 50},
        {"Threshold= x32\r\nBlinkTrayIcon=0", false, 50}, {"Threshold=50%\r\nBlinkTrayIcon=yes", false, 80},
        {"Threshold=300", false, 44}, {"Threshold=-156", false, 100}, {"Threshold=0", false, 80},
        {"Threshold=256", false, 80}, {"Threshold=101\r\nBlinkTrayIcon=0x1", true, 80}, {"Threshold=1", false, 1},
        {"Threshold=" + std::string(1021, '0') + "42 and more", false, 42},  // read up to 1023 characters
    };
    int i = 0;
    for (const Row& row : rows) {
        CAPTURE(row.lines);
        UseFreshExeDir("load" + std::to_string(i++));
        REQUIRE(WriteFileBytes(Ini(), std::string("[Option]\r\n") + row.lines + "\r\n"));
        LoadSettings();
        CHECK((AppState.blinkEnabled == row.blink && AppState.threshold == row.threshold));
    }
    UseFreshExeDir("none");
    LoadSettings();
    CHECK((!AppState.blinkEnabled && AppState.threshold == 80 && !PathFileExistsW(Ini().c_str())));  // reading creates nothing
}

TEST_CASE("OK rewrites the section whole, reading the threshold leniently, sets the program and installs or removes the shortcut") {
    DialogFixture f;
    // A stale Tembix.lnk to another copy, replaced by the first install; one to another program.
    CreateShellLink(f.path + L"Tembix.lnk", "", L"C:\\Elsewhere\\Tembix.exe", "", L"", L"", 0, 1, 0);
    CreateShellLink(f.path + L"Editor.lnk", "", L"C:\\Tools\\editor.exe", "", L"", L"", 0, 1, 0);
    struct Row {
        const char* text;
        int threshold;  // 1..100 stays, anything else is 80
        bool blink, startup;
    };
    const Row rows[] = {{"75", 75, true, true},   {"007", 7, false, false}, {"100", 100, true, true}, {"1", 1, false, false},
                        {"12a", 12, true, true},  {"", 80, false, false},   {"0", 80, true, true},    {"101", 80, true, false},
                        {"999", 80, false, false}};
    AppState.threshold = 80;
    bool startup = true;  // the stale shortcut counts: its target is a Tembix.exe
    for (const Row& row : rows) {
        CAPTURE(std::string(row.text));
        const std::string other = &row == rows ? "" : "[Other]\r\nk=v\r\n";  // the first without a file
        if (other.empty()) DeleteFileW(Ini().c_str());
        else REQUIRE(WriteFileBytes(Ini(), other + "[Option]\r\nThreshold=5\r\nExtra=1\r\n"));
        AppState.lastShown = 42;
        CHECK(WithDialog([&](HWND dialog) {  // showing the current settings
            CHECK(IsDlgButtonChecked(dialog, IDC_BLINK) == UINT(AppState.blinkEnabled));
            CHECK(IsDlgButtonChecked(dialog, IDC_STARTUP) == UINT(startup));
            CHECK(ItemText(dialog, IDC_THRESHOLD) == std::to_string(AppState.threshold));
            CheckDlgButton(dialog, IDC_BLINK, row.blink);
            CheckDlgButton(dialog, IDC_STARTUP, row.startup);
            SetDlgItemTextA(dialog, IDC_THRESHOLD, row.text);
            Press(dialog, IDOK);
        }));
        CHECK(ReadFileBytes(Ini()) == other + "[Option]\r\nBlinkTrayIcon=" + std::to_string(row.blink) + "\r\nThreshold=" +
                                         std::to_string(row.threshold) + "\r\n");
        CHECK((AppState.blinkEnabled == row.blink && AppState.threshold == row.threshold && AppState.lastShown == kNothingShown));
        const auto files = f.Contents();
        CHECK((files.size() == ((startup = row.startup) ? 2u : 1u) && files.count(L"Editor.lnk") == 1));
        CHECK(GetShellLinkTarget(f.path + L"Tembix.lnk") == (row.startup ? AppState.exeDir + L"Tembix.exe" : L""));
    }
}

TEST_CASE("The Startup box follows Task Manager's switch; OK changes the folder only as the user changed the box") {
    DialogFixture f;
    const std::string zeros(8, '\0'), time("\x80\x3E\xD5\xDE\xB1\x9D\x01\x00", 8);
    struct Row {
        const char* name;
        std::pair<DWORD, std::string> value;
        bool enabled;  // an odd first byte of a binary value disables
    };
    const Row rows[] = {
        {"none", {REG_NONE, ""}, true},     {"02", {REG_BINARY, std::string("\2\0\0\0", 4) + zeros}, true},
        {"06", {REG_BINARY, std::string("\6\0\0\0", 4) + zeros}, true},   {"03, a time", {REG_BINARY, std::string("\3\0\0\0", 4) + time}, false},
        {"03, no time", {REG_BINARY, std::string("\3\0\0\0", 4) + zeros}, false}, {"07", {REG_BINARY, std::string("\7\0\0\0", 4) + zeros}, false},
        {"empty", {REG_BINARY, ""}, true},  {"a string", {REG_SZ, std::string("3\0\0\0", 4)}, true},
    };
    // The user's own shortcut to this copy, by another name and with fields of its own: left
    // alone unless the box is changed; ticking a disabled one makes Tembix.lnk instead.
    const TWide mine = f.path + L"My Tembix.lnk";
    for (const Row& row : rows) {
        for (const bool ticked : {true, false}) {
            CAPTURE(std::string(row.name));
            CAPTURE(ticked);
            f.Empty();
            CreateShellLink(mine, "", AppState.exeDir + L"Tembix.exe", "/mine", L"", L"", 0, SW_SHOWMINNOACTIVE, 0);
            SetSwitch(row.value, L"My Tembix.lnk");
            const std::string before = Whole(mine);
            CHECK(WithDialog([&](HWND dialog) {
                CHECK(IsDlgButtonChecked(dialog, IDC_STARTUP) == UINT(row.enabled));
                CheckDlgButton(dialog, IDC_STARTUP, ticked);
                Press(dialog, IDOK);
            }));
            const bool unchanged = ticked == row.enabled;
            CHECK(f.Contents() == (unchanged ? Names{L"My Tembix.lnk"} : ticked ? Names{L"Tembix.lnk"} : Names{}));
            CHECK((!unchanged || Whole(mine) == before));
            CHECK(Switch(L"My Tembix.lnk") == (unchanged ? row.value : std::make_pair(DWORD(REG_NONE), std::string())));
        }
    }
    SetSwitch({REG_NONE, ""}, L"My Tembix.lnk");
}

TEST_CASE("Cancel, Escape, the close box, other notifications and a save that fails change nothing") {
    DialogFixture f;
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 500, 10, 99, 50, nullptr, nullptr, nullptr, nullptr);
    // A hidden system file, which only the create call's attributes may overwrite.
    REQUIRE(WriteFileBytes(Ini(), "[Option]\r\nBlinkTrayIcon=0\r\nThreshold=33\r\n"));
    SetFileAttributesW(Ini().c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WideApi.createFileW = DocumentedCreateFile;
    InstallThisCopy();
    const std::pair<DWORD, std::string> enabled = {REG_BINARY, std::string("\2\0\0\0\1\2\3\4\5\6\7\x08", 12)};
    SetSwitch(enabled);
    const std::string iniBefore = Whole(Ini()), linkBefore = Whole(f.path + L"Tembix.lnk");
    const auto startupBefore = f.Contents();
    AppState.threshold = 33;
    AppState.lastShown = 12;
    // A failed save is said, names where it failed and what became of the files, and leaves the dialog open.
    const auto failedSave = [](HWND dialog, const TWide& where, const char* outcome = "Nothing has changed") {
        SetTimer(nullptr, 0, 300, CloseMessage);
        Press(dialog, IDOK);  // back when the message box is closed
        CHECK((AppState.optionsDialog == dialog && IsWindowVisible(dialog) && Str(Widen(said)).find(Str(where)) != std::wstring::npos &&
               said.find(outcome) != std::string::npos));
        Press(dialog, IDCANCEL);
    };

    const std::function<void(HWND)> ways[] = {
        [&](HWND dialog) {  // a tray click meanwhile brings the dialog to the front and opens no menu
            SetForegroundWindow(other);
            CHECK(WaitUntil([&] { return GetForegroundWindow() == other; }));
            AppFixture::Send(WM_TRAYICON, 0, WM_RBUTTONUP);
            CHECK((GetForegroundWindow() == dialog && !FindMenuWindow() && !AppState.popupMenu));
            HWND edit = GetDlgItem(dialog, IDC_THRESHOLD);  // the field wraps round 1..100 and takes three digits
            SetWindowTextA(edit, "100");
            SendMessageA(edit, WM_KEYDOWN, VK_UP, 0);
            CHECK(ItemText(dialog, IDC_THRESHOLD) == "1");
            for (const char* c = "111"; *c; ++c) SendMessageA(edit, WM_CHAR, *c, 0);
            CHECK(ItemText(dialog, IDC_THRESHOLD) == "111");  // narrow digits: the limit stops the fourth
            CHECK(ItemText(dialog, IDC_PLATFORMS) ==
                  (sizeof(void*) == 8 ? "for 64-bit Windows" : "for 98/98SE/Me/2000/XP/Server 2003"));
            Press(dialog, IDCANCEL);
        },
        [](HWND dialog) { PostMessageA(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
        [](HWND dialog) {
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
            CHECK(AppState.optionsDialog == dialog);
            Press(dialog, IDCANCEL);
        },
        [&](HWND dialog) {  // a file that cannot be read, so not be kept, nor written
            HANDLE lock = CreateFileW(Ini().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);  // shared with none
            failedSave(dialog, SettingsPath());
            CloseHandle(lock);
        },
        [&](HWND dialog) {  // a write that fails after the section was erased
            profileWrite = std::exchange(WideApi.writePrivateProfileStringW, FailThreshold);
            failedSave(dialog, SettingsPath());
            WideApi.writePrivateProfileStringW = profileWrite;
        },
        [&](HWND dialog) {  // a shortcut that cannot be removed, after the file was written
            HANDLE lock = CreateFileW((f.path + L"Tembix.lnk").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            failedSave(dialog, f.path);
            CloseHandle(lock);
        },
    };
    for (const auto& way : ways) {
        CHECK(WithDialog([&](HWND dialog) {
            CheckDlgButton(dialog, IDC_STARTUP, BST_UNCHECKED);
            CheckDlgButton(dialog, IDC_BLINK, BST_CHECKED);
            SetDlgItemTextA(dialog, IDC_THRESHOLD, "90");
            way(dialog);
        }));
        CHECK((Whole(Ini()) == iniBefore && f.Contents() == startupBefore && Switch() == enabled));
        CHECK(Whole(f.path + L"Tembix.lnk") == linkBefore);
        CHECK((!AppState.blinkEnabled && AppState.threshold == 33 && AppState.lastShown == 12));
    }
    // A file that cannot be put back is named, instead of a promise that nothing changed.
    lockOnFailure = INVALID_HANDLE_VALUE;  // armed
    CHECK(WithDialog([&](HWND dialog) {
        profileWrite = std::exchange(WideApi.writePrivateProfileStringW, FailThreshold);
        failedSave(dialog, SettingsPath(), "could not be put back");
        WideApi.writePrivateProfileStringW = profileWrite;
    }));
    CloseHandle(lockOnFailure);
    WideApi.createFileW = CreateFileW;
    DestroyWindow(other);
    SetSwitch({REG_NONE, ""});
}
