#define DOCTEST_CONFIG_IMPLEMENT
#include "testlib.h"

// The tests start as the program does: platform facts first, then the module handle.
int main(int argc, char** argv) {
    InitPlatformInfo();
    InitCommonControls();
    AppState.hInstance = GetModuleHandleA(nullptr);
    return doctest::Context(argc, argv).run();
}
