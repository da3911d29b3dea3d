#pragma once
#include <windows.h>

// Where start-up spends its time, for the start-up benchmark. While the benchmark holds a shared block of this
// name (startupStepCount 64-bit counters), each step writes the performance counter at its end into its slot;
// without it nothing is written.
constexpr WCHAR startupSplitBlock[] = L"VitreaStartupSplit";

enum StartupStep {
    startupEntered,       // the program's own code runs: process, loader and runtime behind it
    startupChecked,       // system version and single instance
    startupClasses,       // messages and window classes registered
    startupImages,        // font, memory DCs and the program's bitmaps
    startupCommonControls, // common controls and the button class
    startupWindow,        // the settings window and its controls created
    startupControls,      // fonts, trackbar, subclassing and tooltips
    startupSettings,      // settings read from the registry, the skin library loaded
    startupHookLibrary,   // the hook library loaded and its hooks installed
    startupTrayIcon,      // the tray icon added
    startupTaskbar,       // the taskbar found and its transparency applied
    startupShown,         // the settings window shown
    startupStepCount
};

constexpr const char* startupStepNames[startupStepCount] = {
    "process and runtime start", "version and single instance", "window classes",  "font, memory DCs, bitmaps",
    "common controls",           "window and controls",         "controls set up",  "settings and skin",
    "hook library and hooks",    "tray icon",                   "taskbar",          "window shown"};

void MarkStartup(StartupStep step);
