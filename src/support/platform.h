// Process-wide facts fixed at start: the platform family, the locale's double-byte
// information, and the newer functions of the NT family, looked up at run time.
#pragma once

#include <windows.h>
#include <bitset>

// Fixed once at process start by InitPlatformInfo, read-only afterwards.
extern int PlatformId;              // 2 = NT family; anything else counts as 9x
extern bool FarEastLocale;          // the ANSI code page is double-byte
extern std::bitset<256> LeadBytes;  // bytes that begin a double-byte character; read with [], which cannot throw

constexpr int VER_PLATFORM_NT = 2;

// Sets PlatformId, then the locale's double-byte information, in that order.
void InitPlatformInfo();
bool IsXpOrLater();

// A function of a loaded system module, looked up at run time: null where the system
// lacks it, so that the executable still loads on the systems that came before it.
template <class F>
void LookUpFunction(F& function, HMODULE module, const char* name) {
    function = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The wide functions of the NT family that the program calls, looked up at start; all
// null on the 9x family, which has the ANSI ones only.
struct TWideApi {
    DWORD(WINAPI* getModuleFileNameW)(HMODULE, LPWSTR, DWORD);
    DWORD(WINAPI* getLongPathNameW)(LPCWSTR, LPWSTR, DWORD);
    DWORD(WINAPI* getPrivateProfileStringW)(LPCWSTR, LPCWSTR, LPCWSTR, LPWSTR, DWORD, LPCWSTR);
    BOOL(WINAPI* writePrivateProfileStringW)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
    HINSTANCE(WINAPI* shellExecuteW)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    DWORD(WINAPI* charUpperBuffW)(LPWSTR, DWORD);
    int(WINAPI* messageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT);
    BOOL(WINAPI* shGetSpecialFolderPathW)(HWND, LPWSTR, int, BOOL);
    HANDLE(WINAPI* findFirstFileW)(LPCWSTR, WIN32_FIND_DATAW*);
    BOOL(WINAPI* findNextFileW)(HANDLE, WIN32_FIND_DATAW*);
    BOOL(WINAPI* deleteFileW)(LPCWSTR);
    HANDLE(WINAPI* createFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    LONG(WINAPI* regOpenKeyExW)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
    LONG(WINAPI* regQueryValueExW)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LONG(WINAPI* regDeleteValueW)(HKEY, LPCWSTR);
    BOOL(WINAPI* setFileAttributesW)(LPCWSTR, DWORD);
    BOOL(WINAPI* createProcessW)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                 LPSTARTUPINFOW, LPPROCESS_INFORMATION);
};
extern TWideApi WideApi;

// Calls of every system that only a few rare paths make (putting a file back, comparing two
// files, Restart, loading a system library), looked up at start like the newer ones so that
// the executable's import list stays the one checked against the oldest systems.
struct TKernelApi {
    BOOL(WINAPI* getFileInformationByHandle)(HANDLE, BY_HANDLE_FILE_INFORMATION*);
    BOOL(WINAPI* setFileTime)(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*);
    BOOL(WINAPI* setFileAttributesA)(LPCSTR, DWORD);
    BOOL(WINAPI* createProcessA)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR,
                                 LPSTARTUPINFOA, LPPROCESS_INFORMATION);
    UINT(WINAPI* getSystemDirectoryA)(LPSTR, UINT);
};
extern TKernelApi KernelApi;

// The first thing the process does: from then on a library looked up by name is never taken
// from the program's folder, where a download may have left anything, but from the system
// folder (Windows 8 on, and 7 and Vista with their update); where only SetDllDirectory is
// there (XP SP1 on), the current folder at least is left out.
void HardenLibrarySearch();
// A system library by its full path in the system folder, whatever the search order is; null
// when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);
