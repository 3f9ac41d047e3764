// The Options dialog driven for real: opened through the Options command, its controls
// found and sent messages from inside its modal loop.
#include <doctest.h>

#include "app/app_fixture.h"
#include "helpers.h"
#include "modal.h"
#include "res/resource.h"
#include "screen.h"
#include "settings/settings.h"
#include "shortcut/shortcut.h"
#include "support/support.h"

#include <commctrl.h>

#include <map>

namespace {

// The program with no timer running, so that only the dialog can change the settings,
// its directory a scratch one, and a Startup folder without shortcuts.
struct DialogFixture {
    AppFixture app;
    CoInitScope com;
    std::string dir;

    DialogFixture() {
        KillTimer(AppState.mainWindow, IDT_SAMPLE);
        dir = ScratchDir("options");
        AppState.exeDir = dir + "\\";
        ClearStartup();
    }
    ~DialogFixture() { ClearStartup(); }

    static void ClearStartup() {
        const std::string folder = GetStartupFolder();
        REQUIRE_FALSE(folder.empty());
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder + "*.lnk").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            DeleteFileA((folder + data.cFileName).c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
};

// Opens the dialog with the Options command and runs `inside` in it; true when the
// dialog ended without being forced and the command cleared the field.
bool WithDialog(const std::function<void(HWND)>& inside) {
    HWND seen = nullptr;
    const bool ended = RunModal([] { AppFixture::Send(WM_COMMAND, IDM_OPTIONS); },
                                [&] {
                                    seen = AppState.optionsDialog;
                                    REQUIRE(seen != nullptr);
                                    inside(seen);
                                });
    return ended && seen != nullptr && AppState.optionsDialog == nullptr && !IsWindow(seen);
}

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

std::string ItemText(HWND dialog, int id) {
    char text[64] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void Press(HWND dialog, int id) { SendMessageA(Item(dialog, id), BM_CLICK, 0, 0); }

void SetCheck(HWND dialog, int id, bool on) {
    SendMessageA(Item(dialog, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::map<std::string, std::string> StartupFiles() {
    std::map<std::string, std::string> files;
    const std::string folder = GetStartupFolder();
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") files[name] = ReadFileBytes(folder + name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return files;
}

void InstallThisCopy() {
    const std::string exe = AppState.exeDir + kProgramFileName;
    InstallStartupShortcut(kShortcutName, "", exe, "", WithoutTrailingBackslash(AppState.exeDir), exe, 0, SW_SHOWNORMAL,
                           0);
}

}  // namespace

TEST_CASE("The template is the one the table gives") {
    HRSRC found =
        FindResourceExA(AppState.hInstance, RT_DIALOG, IDD_OPTIONS, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    REQUIRE(found != nullptr);
    const auto* p = static_cast<const WORD*>(LockResource(LoadResource(AppState.hInstance, found)));
    REQUIRE(p != nullptr);
    const auto dword = [&p] {
        const DWORD value = p[0] | (DWORD(p[1]) << 16);
        p += 2;
        return value;
    };
    const auto text = [&p] {
        std::string s;
        while (*p) s += static_cast<char>(*p++);
        ++p;
        return s;
    };
    CHECK(dword() == 0x00C808C0);
    CHECK(dword() == 0);  // no extended style
    REQUIRE(*p++ == 12);
    for (int expected : {0, 0, 190, 146}) CHECK(static_cast<short>(*p++) == expected);
    CHECK(*p++ == 0);  // no menu
    CHECK(*p++ == 0);  // the standard dialog class
    CHECK(text() == "Tembix Options");
    CHECK(*p++ == 9);
    CHECK(text() == "MS UI GOTHIC");

    struct Control {
        int id;
        WORD classAtom;
        DWORD style;
        const char* text;  // nullptr: any non-empty text
        short x, y, cx, cy;
    };
    const Control controls[] = {
        {IDC_FRAME, 0x80, 0x50000007, "", 6, 4, 178, 61},
        {IDC_APPICON, 0x82, 0x50020003, "", 13, 16, 18, 21},
        {IDC_VERSION, 0x82, 0x50020000, "Tembix Version 1.16", 47, 20, 74, 10},
        {IDC_PLATFORMS, 0x82, 0x50020000,
         sizeof(void*) == 8 ? "for 64-bit Windows" : "for 98/98SE/Me/2000/XP/Server 2003", 56, 33, 125, 10},
        {IDC_NOTICE, 0x82, 0x50020000, nullptr, 13, 48, 169, 10},
        {IDC_STARTUP, 0x80, 0x50010003, "&Startup", 37, 72, 48, 14},
        {IDC_BLINK, 0x80, 0x50010003, "&Blink the tray icon at 100", 37, 88, 100, 14},
        {IDC_THRESHOLD_LABEL, 0x82, 0x50020000, "&Threshold", 37, 107, 40, 10},
        {IDC_THRESHOLD, 0x81, 0x50812002, "", 81, 104, 28, 12},
        {IDC_RANGE, 0x82, 0x50020000, "( 1-100 )", 122, 107, 43, 9},
        {IDOK, 0x80, 0x50010001, "OK", 43, 125, 50, 14},
        {IDCANCEL, 0x80, 0x50010000, "Cancel", 97, 125, 50, 14},
    };
    for (const Control& c : controls) {
        CAPTURE(c.id);
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
        CHECK(dword() == c.style);
        CHECK(dword() == 0);
        for (short expected : {c.x, c.y, c.cx, c.cy}) CHECK(static_cast<short>(*p++) == expected);
        CHECK(*p++ == c.id);
        REQUIRE(*p++ == 0xFFFF);
        CHECK(*p++ == c.classAtom);
        const std::string title = text();
        if (c.text) CHECK(title == c.text);
        else CHECK_FALSE(title.empty());
        p += 1 + *p / 2;  // creation data
    }
}

TEST_CASE("The dialog opens showing the current settings") {
    DialogFixture f;
    struct Row {
        bool blink;
        uint8_t threshold;
        bool shortcut;
    };
    for (const Row& row : {Row{true, 42, true}, Row{false, 100, false}, Row{true, 1, false}}) {
        CAPTURE(int(row.threshold));
        AppState.blinkEnabled = row.blink;
        AppState.threshold = row.threshold;
        DialogFixture::ClearStartup();
        if (row.shortcut) InstallThisCopy();
        CHECK(WithDialog([&](HWND dialog) {
            CHECK(FindWindowA("#32770", "Tembix Options") == dialog);
            CHECK(ItemText(dialog, IDC_THRESHOLD) == FormatInt(row.threshold));
            CHECK(IsDlgButtonChecked(dialog, IDC_BLINK) == (row.blink ? BST_CHECKED : BST_UNCHECKED));
            CHECK(IsDlgButtonChecked(dialog, IDC_STARTUP) == (row.shortcut ? BST_CHECKED : BST_UNCHECKED));
            CHECK(GetFocus() == Item(dialog, IDC_STARTUP));
            HWND spin = Item(dialog, IDC_THRESHOLD_SPIN);
            REQUIRE(spin != nullptr);
            // The control takes WS_BORDER off itself and draws its own edge.
            CHECK((static_cast<DWORD>(GetWindowLongA(spin, GWL_STYLE)) | WS_BORDER) == 0x50800027u);
            CHECK(reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0)) == Item(dialog, IDC_THRESHOLD));
            int low = 0, high = 0;
            SendMessageA(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
            CHECK(low == 1);
            CHECK(high == 100);
            CHECK(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0) != 0);
            CHECK((GetClassLongA(dialog, GCL_STYLE) & 0x00020000) != 0);  // the drop shadow, on XP and later
            CHECK(SendMessageA(Item(dialog, IDC_APPICON), STM_GETIMAGE, IMAGE_ICON, 0) != 0);
            Press(dialog, IDCANCEL);
        }));
    }
}

TEST_CASE("OK saves the threshold as the field reads, 1..100 or else 80") {
    DialogFixture f;
    struct Row {
        const char* field;
        uint8_t saved;
    };
    const Row rows[] = {{"7", 7}, {"007", 7}, {"100", 100}, {"1", 1}, {"", 80}, {"0", 80}, {"101", 80}, {"999", 80}};
    for (const Row& row : rows) {
        CAPTURE(row.field);
        AppState.threshold = 50;
        CHECK(WithDialog([&](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_THRESHOLD, row.field);
            Press(dialog, IDOK);
        }));
        CHECK(AppState.threshold == row.saved);
        CHECK(IniReadString(SettingsPath(), kOptionSection, kThresholdKey) == FormatInt(row.saved));
    }
}

TEST_CASE("The threshold field takes three digits and steps round 1..100") {
    DialogFixture f;
    SUBCASE("typing") {
        AppState.threshold = 5;
        CHECK(WithDialog([](HWND dialog) {
            HWND edit = Item(dialog, IDC_THRESHOLD);
            CHECK(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0) == 3);
            for (const char* typed : {"1234", "1111"}) {  // narrow digits: the limit, not the width, stops them
                SetWindowTextA(edit, "");
                for (const char* c = typed; *c; ++c) SendMessageA(edit, WM_CHAR, *c, 0);
                CHECK(ItemText(dialog, IDC_THRESHOLD) == std::string(typed, 3));
            }
            Press(dialog, IDCANCEL);
        }));
    }
    SUBCASE("arrow keys in the field and the arrow buttons wrap") {
        struct Row {
            uint8_t start;
            bool up;
            bool mouse;
            const char* after;
        };
        const Row rows[] = {{100, true, false, "1"}, {1, false, false, "100"}, {100, true, true, "1"},
                            {1, false, true, "100"}, {41, true, false, "42"},  {41, false, true, "40"}};
        for (const Row& row : rows) {
            CAPTURE(int(row.start));
            CAPTURE(row.up);
            CAPTURE(row.mouse);
            AppState.threshold = row.start;
            CHECK(WithDialog([&](HWND dialog) {
                if (row.mouse) {
                    HWND spin = Item(dialog, IDC_THRESHOLD_SPIN);
                    RECT r;
                    GetClientRect(spin, &r);
                    const LPARAM at = MAKELPARAM(r.right / 2, row.up ? r.bottom / 4 : r.bottom * 3 / 4);
                    SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, at);
                    SendMessageA(spin, WM_LBUTTONUP, 0, at);
                } else {
                    HWND edit = Item(dialog, IDC_THRESHOLD);
                    SendMessageA(edit, WM_KEYDOWN, row.up ? VK_UP : VK_DOWN, 0);
                    SendMessageA(edit, WM_KEYUP, row.up ? VK_UP : VK_DOWN, 0);
                }
                CHECK(ItemText(dialog, IDC_THRESHOLD) == row.after);
                Press(dialog, IDCANCEL);
            }));
        }
    }
}

TEST_CASE("OK from no settings file writes exactly the two keys and forces a repaint") {
    DialogFixture f;
    REQUIRE_FALSE(FileExists(SettingsPath()));
    AppState.blinkEnabled = false;
    AppState.threshold = 80;
    AppState.lastShown = 42;
    CHECK(WithDialog([](HWND dialog) {
        SetCheck(dialog, IDC_BLINK, true);
        SetDlgItemTextA(dialog, IDC_THRESHOLD, "75");
        Press(dialog, IDOK);
    }));
    CHECK(ReadFileBytes(SettingsPath()) == "[Option]\r\nBlinkTrayIcon=1\r\nThreshold=75\r\n");
    CHECK(AppState.blinkEnabled);
    CHECK(AppState.threshold == 75);
    CHECK(AppState.lastShown == kNothingShown);
}

TEST_CASE("OK installs or removes the Startup shortcut") {
    DialogFixture f;
    const std::string folder = GetStartupFolder();
    // A stale shortcut to another copy and one to another program.
    CreateShellLink(folder + "Old Tembix.lnk", "", "C:\\Elsewhere\\Tembix.exe", "", "", "", 0, SW_SHOWNORMAL, 0);
    CreateShellLink(folder + "Editor.lnk", "", "C:\\Tools\\editor.exe", "", "", "", 0, SW_SHOWNORMAL, 0);

    CHECK(WithDialog([](HWND dialog) {
        SetCheck(dialog, IDC_STARTUP, true);
        Press(dialog, IDOK);
    }));
    auto files = StartupFiles();
    CHECK(files.size() == 2);
    REQUIRE(files.count("Tembix.lnk") == 1);
    CHECK(files.count("Editor.lnk") == 1);
    CHECK(GetShellLinkTarget(folder + "Tembix.lnk") == AppState.exeDir + "Tembix.exe");

    CHECK(WithDialog([](HWND dialog) {
        CHECK(IsDlgButtonChecked(dialog, IDC_STARTUP) == BST_CHECKED);
        SetCheck(dialog, IDC_STARTUP, false);
        Press(dialog, IDOK);
    }));
    files = StartupFiles();
    CHECK(files.size() == 1);
    CHECK(files.count("Editor.lnk") == 1);
}

TEST_CASE("Only plain commands count: a notification from the OK button's id saves nothing") {
    DialogFixture f;
    AppState.threshold = 33;
    CHECK(WithDialog([](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_THRESHOLD, "90");
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
        CHECK(IsWindow(dialog));
        CHECK(AppState.optionsDialog == dialog);
        Press(dialog, IDCANCEL);
    }));
    CHECK(AppState.threshold == 33);
    CHECK_FALSE(FileExists(SettingsPath()));
}

TEST_CASE("Cancel, Escape and the close box change nothing") {
    DialogFixture f;
    REQUIRE(WriteFileBytes(SettingsPath(), "[Option]\r\nBlinkTrayIcon=0\r\nThreshold=33\r\n"));
    InstallThisCopy();
    const std::string iniBefore = ReadFileBytes(SettingsPath());
    const auto startupBefore = StartupFiles();
    AppState.blinkEnabled = false;
    AppState.threshold = 33;
    AppState.lastShown = 12;

    const std::pair<const char*, std::function<void(HWND)>> ways[] = {
        {"Cancel", [](HWND dialog) { Press(dialog, IDCANCEL); }},
        {"Escape", [](HWND dialog) { PostMessageA(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"close box", [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        CAPTURE(way.first);
        CHECK(WithDialog([&](HWND dialog) {
            SetCheck(dialog, IDC_STARTUP, false);
            SetCheck(dialog, IDC_BLINK, true);
            SetDlgItemTextA(dialog, IDC_THRESHOLD, "90");
            way.second(dialog);
        }));
        CHECK(ReadFileBytes(SettingsPath()) == iniBefore);
        CHECK(StartupFiles() == startupBefore);
        CHECK_FALSE(AppState.blinkEnabled);
        CHECK(AppState.threshold == 33);
        CHECK(AppState.lastShown == 12);
        CHECK(AppState.optionsDialog == nullptr);
    }
}

TEST_CASE("While the dialog is open a tray click brings it to the front and opens no menu") {
    DialogFixture f;
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 500, 10, 100, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    CHECK(WithDialog([&](HWND dialog) {
        SetForegroundWindow(other);
        PumpMessagesFor(50);
        REQUIRE(GetForegroundWindow() == other);
        AppFixture::Send(WM_TRAYICON, 0, WM_RBUTTONUP);
        CHECK(GetForegroundWindow() == dialog);
        CHECK(FindMenuWindow() == nullptr);
        CHECK(AppState.popupMenu == nullptr);
        // Nothing reachable can open a second dialog.
        int dialogs = 0;
        for (HWND w = FindWindowA("#32770", "Tembix Options"); w;
             w = FindWindowExA(nullptr, w, "#32770", "Tembix Options")) {
            ++dialogs;
        }
        CHECK(dialogs == 1);
        Press(dialog, IDCANCEL);
    }));
    DestroyWindow(other);
}
