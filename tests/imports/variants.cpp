// Programs for the executable check, each with one fault that the build picks, or none: an import
// that 98 and 2000 lack, or the C++ runtime's exception machinery (bitset::test can throw).
#include <windows.h>
#include <bitset>

#if defined(FORBIDDEN_IMPORT)
extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);
int main() { return static_cast<int>(GetTickCount64() & 1); }
#elif defined(CXX_RUNTIME)
int main(int argc, char**) { return std::bitset<8>(1).test(argc); }
#else
int main() { return 0; }
#endif
