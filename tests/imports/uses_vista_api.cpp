// Must fail the import check: GetTickCount64 first appeared in Windows Vista.
#include <windows.h>

extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);

int main() { return static_cast<int>(GetTickCount64() & 1); }
