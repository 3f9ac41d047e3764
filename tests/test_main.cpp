// The tests start like the program does: platform facts first, then the module handle.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include "app/app_state.h"
#include "support/support.h"

int main(int argc, char** argv) {
    InitPlatformInfo();
    AppState.hInstance = GetModuleHandleA(nullptr);
    doctest::Context context(argc, argv);
    return context.run();
}
