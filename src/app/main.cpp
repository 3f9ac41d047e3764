// Process entry: platform facts, common controls and COM first, then the program.
#include "app.h"
#include "state/state.h"
#include "support/raii.h"
#include "support/support.h"

#include <cstdlib>

// The default terminate handler prints a demangled type name and drags the demangler into
// the executable; a program without a console has nowhere to print it.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    InitPlatformInfo();
    InitCommonControls();  // the Options dialog's up-down control needs the class registered
    {
        // Once for the shell's folder lookup, once for the shell link object.
        const CoInitScope shellCom;
        const CoInitScope linkCom;
        AppState.hInstance = instance;
        AppMain(instance);
    }
    return 0;
}
