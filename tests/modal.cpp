#include "modal.h"

#include "app/app_state.h"
#include "screen.h"

namespace {

std::function<void()> pendingInside;
bool forced = false;

void CALLBACK RunInside(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    const std::function<void()> inside = pendingInside;
    pendingInside = nullptr;
    if (inside) inside();
}

void CALLBACK ForceEnd(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    forced = true;
    EndMenu();
    if (AppState.optionsDialog) EndDialog(AppState.optionsDialog, 0);
}

}  // namespace

bool RunModal(const std::function<void()>& open, const std::function<void()>& inside, DWORD delayMs, DWORD timeoutMs) {
    pendingInside = inside;
    forced = false;
    const UINT_PTR insideTimer = SetTimer(nullptr, 0, delayMs, RunInside);
    const UINT_PTR guardTimer = SetTimer(nullptr, 0, Patient(timeoutMs), ForceEnd);
    open();
    KillTimer(nullptr, insideTimer);
    KillTimer(nullptr, guardTimer);
    pendingInside = nullptr;
    return !forced;
}

HWND FindMenuWindow() { return FindWindowA("#32768", nullptr); }
