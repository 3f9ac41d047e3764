// Must fail the executable check: GetTickCount64 first appeared in Windows Vista, and the
// library's bitset::test can throw, which links the C++ runtime's exception machinery.
#include <windows.h>
#include <bitset>

extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);

int main(int argc, char**) { return static_cast<int>(GetTickCount64() & 1) + std::bitset<8>(1).test(argc); }
