// The Options dialog, which is also the about box: start at logon, blink at 100 and the
// threshold. OK saves all three; Cancel and the close box discard every change.
#pragma once

#include <windows.h>

constexpr char kOptionsTemplate[] = "OPTIONS";

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
HWND CreateUpDown(HWND parent, HWND buddy, int id, int position, int upper, int lower);
