// Process entry: platform facts, common controls and COM first, then the program.
#include "app.h"
#include "state/state.h"
#include "support/raii.h"
#include "support/support.h"

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
