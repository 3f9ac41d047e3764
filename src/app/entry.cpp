// The entry point of the executable, ahead of the C runtime's start-up and every static
// initialiser: before anything can load a library, none may come from the program's folder.
#include "support/platform.h"

extern "C" int WinMainCRTStartup();

extern "C" int TembixStart() {
    HardenLibrarySearch();
    return WinMainCRTStartup();
}
