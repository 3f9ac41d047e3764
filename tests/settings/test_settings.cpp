// The settings file, and the Options dialog driven for real: opened through the Options
// command, its controls sent messages from inside its modal loop.

#include "testlib.h"

#include <utility>

namespace {

// A fresh directory for the program: the platform caches profile files by name.
void UseFreshExeDir(const std::string& name) { AppState.exeDir = Widen(ScratchDir("settings-" + name) + "\\"); }
TWide Ini() { return SettingsPath(); }

// The program with no timer running, so that only the dialog changes the settings; a
// scratch directory with a file for this copy, and a Startup folder without shortcuts.
struct DialogFixture : AppFixture, StartupFolder {
    TWide self;
    DialogFixture() {
        KillTimer(AppState.mainWindow, IDT_SAMPLE);
        UseFreshExeDir("dialog");
        REQUIRE(WriteFileBytes(self = AppState.exeDir + L"Tembix.exe", "MZ"));
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
    // No folder known: no "Tembix.ini" of the current folder, nor of the Windows folder (the profile functions').
    wchar_t windows[MAX_PATH] = {};
    const TWide strays[] = {L"Tembix.ini", TWide(windows, GetWindowsDirectoryW(windows, MAX_PATH)) + L"\\Tembix.ini"};
    for (const TWide& stray : strays) REQUIRE(WriteFileBytes(stray, "[Option]\r\nBlinkTrayIcon=1\r\nThreshold=5\r\n"));
    AppState.exeDir = TWide();
    LoadSettings();
    for (const TWide& stray : strays) DeleteFileW(stray.c_str());
    CHECK((!AppState.blinkEnabled && AppState.threshold == 80));
}

TEST_CASE("OK rewrites the section whole, the threshold read leniently; the Startup box says whether this copy starts at "
          "logon, and OK changes the folder only as the user changed the box") {
    DialogFixture f;
    // The threshold's text, and what OK saves: 1..100 stays, anything else is 80.
    const std::pair<const char*, int> saves[] = {{"75", 75}, {"007", 7}, {"100", 100}, {"1", 1}, {"12a", 12},
                                                 {"", 80},   {"0", 80},  {"101", 80},  {"999", 80}};
    size_t saved = 0;
    using Value = std::pair<DWORD, std::string>;  // Task Manager's switch: an odd first byte of a binary value disables
    const std::string zeros(8, '\0'), time("\x80\x3E\xD5\xDE\xB1\x9D\x01\x00", 8);
    const auto bin = [](char first, const std::string& tail) { return Value{REG_BINARY, first + std::string(3, '\0') + tail}; };
    const Value none = {REG_NONE, ""}, off = bin(3, zeros);
    const TWide other = Widen(ScratchDir("other-copy")) + L"\\Tembix.exe";
    const TWide linked = Widen(ScratchDir("linked-copy")) + L"\\Tembix.exe";  // this very file under another path
    wchar_t shortForm[MAX_PATH] = {};
    DeleteFileW(linked.c_str());
    REQUIRE((WriteFileBytes(other, "MZ") && GetShortPathNameW(f.self.c_str(), shortForm, MAX_PATH) && f.self != shortForm &&
             CreateHardLinkW(linked.c_str(), f.self.c_str(), nullptr)));
    struct Link {
        const wchar_t* name;
        TWide target;
        Value value;
    };
    struct Row {
        std::vector<Link> links;
        bool shown, keptWhenTicked;  // the box; ticking keeps this copy's Tembix.lnk whole, and enables it
    };
    const auto mine = [&](Value value) { return std::vector<Link>{{L"My Tembix.lnk", f.self, value}}; };
    const Row rows[] = {
        {mine(none), true}, {mine(bin(2, zeros)), true}, {mine(bin(6, zeros)), true}, {mine(bin(3, time)), false}, {mine(off), false},
        {mine(bin(7, zeros)), false}, {mine({REG_BINARY, ""}), true}, {mine({REG_SZ, std::string("3\0\0\0", 4)}), true},
        {{{L"Tembix.lnk", shortForm, none}}, true}, {{{L"Tembix.lnk", UpperCase(f.self), none}}, true},  // this copy, written otherwise
        {{{L"Tembix.lnk", linked, none}}, true, true},                                                 // or reached by a hard link
        {{{L"Tembix.lnk", shortForm, off}, {L"Old.lnk", other, none}}, false, true},  // this copy's disabled, another copy's enabled
        {{{L"Tembix.lnk", L"C:\\Moved\\Tembix.exe", none}}, false},               // a copy moved away
    };
    for (const Row& row : rows) {
        for (const bool ticked : {true, false}) {
            CAPTURE(&row - rows);
            CAPTURE(ticked);
            const auto& save = saves[saved % 9];
            const bool blink = saved % 2 == 0;
            const std::string other = saved++ ? "[Other]\r\nk=v\r\n" : "";  // the first without a file
            if (other.empty()) DeleteFileW(Ini().c_str());
            else REQUIRE(WriteFileBytes(Ini(), other + "[Option]\r\nThreshold=5\r\nExtra=1\r\n"));
            AppState.lastShown = 42;
            f.Empty();
            std::map<std::wstring, std::string> before, after;
            for (const Link& link : row.links) {
                CreateShellLink(f.path + link.name, "", link.target, "/mine", L"", L"", 0, SW_SHOWMINNOACTIVE, 0);
                SetSwitch(link.value, link.name);
                before[link.name] = Whole(f.path + link.name);
            }
            CHECK(WithDialog([&](HWND dialog) {  // showing the current settings
                CHECK((IsDlgButtonChecked(dialog, IDC_STARTUP) == UINT(row.shown) && IsDlgButtonChecked(dialog, IDC_BLINK) == UINT(AppState.blinkEnabled)));
                CHECK(ItemText(dialog, IDC_THRESHOLD) == std::to_string(AppState.threshold));
                CheckDlgButton(dialog, IDC_STARTUP, ticked);
                CheckDlgButton(dialog, IDC_BLINK, blink);
                SetDlgItemTextA(dialog, IDC_THRESHOLD, save.first);
                Press(dialog, IDOK);
            }));
            CHECK(ReadFileBytes(Ini()) == other + "[Option]\r\nBlinkTrayIcon=" + std::to_string(blink) + "\r\nThreshold=" +
                                             std::to_string(save.second) + "\r\n");
            CHECK((AppState.blinkEnabled == blink && AppState.threshold == save.second && AppState.lastShown == kNothingShown));
            // Left as shown: every file and switch as it was. Changed: exactly one enabled
            // Tembix.lnk to this copy, or none to any copy, and no switch left behind.
            const bool changed = ticked != row.shown;
            for (const std::wstring& name : f.Contents()) after[name] = Whole(f.path + name.c_str());
            if (!changed) CHECK(after == before);
            else if (!ticked) CHECK(after.empty());
            else CHECK((f.Contents() == Names{L"Tembix.lnk"} && (row.keptWhenTicked ? after[L"Tembix.lnk"] == before[L"Tembix.lnk"]
                                                                                     : GetShellLinkTarget(f.path + L"Tembix.lnk") == f.self)));
            for (const Link& link : row.links) CHECK(Switch(link.name) == (changed ? none : link.value));
            for (const Link& link : row.links) SetSwitch(none, link.name);
        }
    }
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
        CAPTURE(said);
        CHECK((AppState.optionsDialog == dialog && IsWindowVisible(dialog) && Str(Widen(said)).find(Str(where)) != std::wstring::npos &&
               said.find(outcome) != std::string::npos));
        Press(dialog, IDCANCEL);
    };
    // ...while a file is held open, shared with `share`; while the threshold's write fails.
    const auto whileLocked = [&](HWND dialog, const TWide& file, DWORD share, const TWide& where) {
        HANDLE lock = CreateFileW(file.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        failedSave(dialog, where);
        CloseHandle(lock);
    };
    const auto whileWriteFails = [&](HWND dialog, const char* outcome) {
        profileWrite = std::exchange(WideApi.writePrivateProfileStringW, FailThreshold);
        failedSave(dialog, SettingsPath(), outcome);
        WideApi.writePrivateProfileStringW = profileWrite;
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
        [&](HWND dialog) {  // no folder known, said as the 9x family says it (no wide message box)
            const TWide folder = std::exchange(AppState.exeDir, TWide());
            const auto wideBox = std::exchange(WideApi.messageBoxW, nullptr);
            failedSave(dialog, L"which Windows did not name");
            WideApi.messageBoxW = wideBox;
            AppState.exeDir = folder;
        },
        [&](HWND dialog) { whileLocked(dialog, Ini(), 0, Ini()); },  // a file that cannot be read, so not be kept, nor written
        [&](HWND dialog) { whileWriteFails(dialog, "Nothing has changed"); },  // after the section was erased
        [&](HWND dialog) { whileLocked(dialog, f.path + L"Tembix.lnk", FILE_SHARE_READ, f.path); },  // a shortcut that cannot go
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
    CHECK(WithDialog([&](HWND dialog) { whileWriteFails(dialog, "could not be put back"); }));
    CloseHandle(lockOnFailure);
    WideApi.createFileW = CreateFileW;
    DestroyWindow(other);
    SetSwitch({REG_NONE, ""});
}
