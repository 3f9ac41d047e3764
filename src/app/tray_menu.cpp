#include "app.h"

#include "state/state.h"
#include "support/support.h"

void ShowTrayMenu(HWND window) {
    {
        const ScopeExit release([] {
            DestroyMenu(AppState.popupMenu);
            AppState.popupMenu = nullptr;
        });
        HMENU menu = AppState.popupMenu = CreatePopupMenu();
        AppendMenuA(menu, MF_STRING, IDM_HELP, "&Help");
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, IDM_OPTIONS, "&Options...");
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        if (AppState.paused) AppendMenuA(menu, MF_STRING, IDM_RESUME, "&Resume");
        else AppendMenuA(menu, MF_STRING, IDM_PAUSE, "&Pause");
        AppendMenuA(menu, MF_STRING, IDM_RESTART, "Restart &Tembix");
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, IDM_EXIT, "E&xit");

        // The owner must be in front, or the menu does not close when the user clicks elsewhere.
        ForceForeground(window);
        POINT cursor = {};
        GetCursorPos(&cursor);
        TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, cursor.x, cursor.y, 0, window, nullptr);
        // Lets the menu's modal loop finish its business before the next click.
        PostMessageA(window, WM_NULL, 0, 0);
    }
    TrimWorkingSet();
}
