// The baselines for the footprint figures, built the way Tembix.exe is: the least a
// resident Win32 program is (a hidden window and a message loop), and with
// WITH_PLATFORM_LIBRARIES also the system libraries that Tembix's start-up brings in
// (common controls, COM twice, the shell), so that what is left is the program's own.
#include <windows.h>
#ifdef WITH_PLATFORM_LIBRARIES
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef WITH_PLATFORM_LIBRARIES
    InitCommonControls();
    CoInitialize(nullptr);
    CoInitialize(nullptr);
    char path[MAX_PATH + 1];
    SHGetSpecialFolderPathA(nullptr, path, CSIDL_STARTUP, FALSE);
#endif
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "BaselineWndClass";
    RegisterClassA(&windowClass);
    CreateWindowExA(0, "BaselineWndClass", "Baseline", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
