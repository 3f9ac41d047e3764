#include "options_dialog.h"

#include "state/state.h"
#include "res/resource.h"
#include "settings.h"
#include "shortcut/shortcut.h"
#include "support/support.h"

#include <commctrl.h>

namespace {

constexpr DWORD kUpDownStyle =
    WS_CHILD | WS_VISIBLE | WS_BORDER | UDS_WRAP | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS;  // 0x50800027
constexpr int kThresholdMin = 1;
constexpr int kThresholdMax = 100;
constexpr WPARAM kThresholdChars = 3;
constexpr int kThresholdRightMargin = 2;  // pixels between the digits and the arrows
constexpr int kThresholdTextSize = 1025;

// How the dialog showed the Startup box when it opened: OK changes the folder only as the
// user changed the box, so that a shortcut they disabled, named or pointed themselves stays theirs.
bool startupShown = false;

LRESULT SendItem(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

bool IsChecked(HWND dialog, int id) { return SendItem(dialog, id, BM_GETCHECK) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool checked) {
    SendItem(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
}

HICON ProgramIcon() { return LoadIconA(AppState.hInstance, IDR_MAINICON); }

void OnInitDialog(HWND dialog) {
    AppState.optionsDialog = dialog;
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(ProgramIcon()));
    SendItem(dialog, IDC_APPICON, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(ProgramIcon()));
    // The Startup folder is scanned each time: the user may have changed it by hand. Ticked
    // means what it says: this copy starts at logon.
    SetChecked(dialog, IDC_STARTUP, startupShown = IsStartupShortcutTo(InProgramFolder(kProgramFileName)));
    SetChecked(dialog, IDC_BLINK, AppState.blinkEnabled);
    SendItem(dialog, IDC_THRESHOLD, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELONG(0, kThresholdRightMargin));
    SendItem(dialog, IDC_THRESHOLD, EM_LIMITTEXT, kThresholdChars);
    // With UDS_SETBUDDYINT the control writes the threshold into the field itself.
    CreateUpDown(dialog, GetDlgItem(dialog, IDC_THRESHOLD), IDC_THRESHOLD_SPIN, AppState.threshold, kThresholdMax,
                 kThresholdMin);
    AddDropShadow(dialog);
}

// Says what could not be saved where, the system's reason, and whether everything is as it
// was. The title is not the dialog's: a second start looks for the dialog by its title.
void ShowSaveFailure(HWND dialog, const char* what, const TWide& where, HRESULT error, const TWide& notPutBack) {
    char reason[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   HRESULT_FACILITY(error) == FACILITY_WIN32 ? HRESULT_CODE(error) : error, 0, reason, sizeof reason - 1, nullptr);
    // Room for two paths, the reason and the sentences around them.
    TText<wchar_t, 2 * TWide::kCapacity + sizeof reason + 256> message(L"Tembix could not save ");
    message += Widen(what);
    message += L"\n\n";
    message += where.empty() ? L"the folder it was started from, which Windows did not name" : where.c_str();
    message += L"\n\n";
    message += Widen(reason);
    if (notPutBack.empty()) {
        message += L"\nNothing has changed. Try again, or choose Cancel to leave the settings as they were.";
    } else {
        message += L"\n";
        message += notPutBack;
        message += L"\ncould not be put back as it was before OK. Try again, or choose Cancel.";
    }
    if (WideApi.messageBoxW) {
        WideApi.messageBoxW(dialog, message.c_str(), L"Tembix", MB_OK | MB_ICONERROR);
        return;
    }
    // Two bytes a character at most, and the last byte left as the NUL whatever the conversion does.
    char ansi[2 * decltype(message)::kCapacity + 1] = {};
    WideCharToMultiByte(CP_ACP, 0, message.c_str(), static_cast<int>(message.size()), ansi, sizeof ansi - 1, nullptr, nullptr);
    MessageBoxA(dialog, ansi, "Tembix", MB_OK | MB_ICONERROR);
}

// Installs or removes the shortcut only as the user changed the box: a box left as shown
// touches no file and no switch of Task Manager's.
HRESULT SaveStartup(bool ticked, TWide* notPutBack) {
    if (ticked == startupShown) return S_OK;
    if (!ticked) return RemoveStartupShortcuts(kProgramFileName, notPutBack);
    const TWide exePath = InProgramFolder(kProgramFileName), folder = AppState.exeDir.Left(AppState.exeDir.size() - 1);  // without its "\\"
    return InstallStartupShortcut(kShortcutName, "", exePath, "", folder, exePath, 0, SW_SHOWNORMAL, 0, notPutBack);
}

// The settings file first, every write checked, then the Startup folder; only when both are
// saved does the running program change. A file that cannot be read first is not touched; a
// failure is said, and whatever was written is put back: the file, the folder and Task
// Manager's switch stay as they were, or the message names what could not be put back.
bool SaveOptions(HWND dialog) {
    const bool blink = IsChecked(dialog, IDC_BLINK);
    char text[kThresholdTextSize] = {};
    SendItem(dialog, IDC_THRESHOLD, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    const int32_t value = ParseIntLenient(text);
    const uint8_t threshold =
        value >= kThresholdMin && value <= kThresholdMax ? static_cast<uint8_t>(value) : kDefaultThreshold;

    const TWide path = SettingsPath();
    TWide notPutBack;
    if (path.empty()) {  // no folder known: nothing is written anywhere else
        ShowSaveFailure(dialog, "its settings in", path, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), notPutBack);
        return false;
    }
    const TFileSnapshot before = SnapshotSettings(path);
    if (before.state == TFileSnapshot::Unread) {
        ShowSaveFailure(dialog, "its settings in", path, HRESULT_FROM_WIN32(before.error), notPutBack);
        return false;
    }
    IniEraseSection(path, kOptionSection);  // succeeds on a missing file: the writes tell
    if (!IniWriteBool(path, kOptionSection, kBlinkKey, blink) ||
        !IniWriteInteger(path, kOptionSection, kThresholdKey, threshold)) {
        const HRESULT error = HRESULT_FROM_WIN32(GetLastError());
        if (!RestoreSettings(before)) notPutBack = path;
        ShowSaveFailure(dialog, "its settings in", path, error, notPutBack);
        return false;
    }
    const HRESULT shortcut = SaveStartup(IsChecked(dialog, IDC_STARTUP), &notPutBack);
    if (FAILED(shortcut)) {
        if (!RestoreSettings(before) && notPutBack.empty()) notPutBack = path;
        ShowSaveFailure(dialog, "the start at logon in your Startup folder", GetStartupFolder(), shortcut, notPutBack);
        return false;
    }
    AppState.blinkEnabled = blink;
    AppState.threshold = threshold;
    AppState.lastShown = kNothingShown;  // the next tick repaints under the new settings
    return true;
}

void OnCommand(HWND dialog, WPARAM wParam) {
    if (HIWORD(wParam) != 0) return;
    switch (LOWORD(wParam)) {
        case IDOK:
            if (SaveOptions(dialog)) EndDialog(dialog, 0);
            break;
        case IDCANCEL: EndDialog(dialog, 0); break;
    }
}

}  // namespace

HWND CreateUpDown(HWND parent, HWND buddy, int id, int position, int upper, int lower) {
    return CreateUpDownControl(kUpDownStyle, 0, 0, 0, 0, parent, id, AppState.hInstance, buddy, upper, lower, position);
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: OnInitDialog(dialog); return TRUE;  // focus to the first tab stop
        case WM_COMMAND: OnCommand(dialog, wParam); return TRUE;
        case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    }
    return FALSE;
}
