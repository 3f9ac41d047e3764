// The one process-wide state record. Zero at start; lives until the process ends.
#pragma once

#include "cpu/cpumon.h"
#include "tray/tray.h"

#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>

constexpr uint8_t kNothingShown = 255;  // lastShown: forces the next tick to repaint

struct TAppState {
    HINSTANCE hInstance = nullptr;
    HWND mainWindow = nullptr;
    std::string exeDir;  // long form, ending in "\"
    UINT taskbarCreatedMsg = 0;
    std::unique_ptr<TCpuMon> sampler;
    bool blinkEnabled = false;
    uint8_t threshold = 0;  // 1..100
    uint8_t lastShown = 0;
    bool blinkPhase = false;  // false: the next 100 shown is the red one
    bool paused = false;
    HMENU popupMenu = nullptr;
    HWND optionsDialog = nullptr;
    IconCanvas canvas;
};

extern TAppState AppState;
