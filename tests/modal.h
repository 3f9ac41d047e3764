// Driving the program's modal loops (the tray menu, the Options dialog) from inside:
// a thread timer fires once the loop runs and calls the test's code there.
#pragma once

#include <windows.h>
#include <functional>

// Calls open(), which enters a modal loop; `inside` runs from that loop after delayMs and
// is expected to end it. A loop still open after the time-out is ended by force, and
// RunModal then returns false.
bool RunModal(const std::function<void()>& open, const std::function<void()>& inside, DWORD delayMs = 150,
              DWORD timeoutMs = 8000);

// The open popup menu window of this desktop, or null.
HWND FindMenuWindow();
