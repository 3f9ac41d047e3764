// The window and process utilities: bringing a window to the front past the foreground
// lock, the dialog's drop shadow, and giving memory back after start-up and each command.
#pragma once

#include <windows.h>

bool ForceForeground(HWND window);
void TrimWorkingSet();
void AddDropShadow(HWND window);

// Calls that leave no trace under Wine go through here so that tests can watch them.
struct TSupportSeams {
    BOOL(WINAPI* setProcessWorkingSetSize)(HANDLE, SIZE_T, SIZE_T) = SetProcessWorkingSetSize;
};
extern TSupportSeams SupportSeams;
