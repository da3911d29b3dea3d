#pragma once
#include <windows.h>
#include "core/answer.h"
#include "core/app_state.h"
#include "core/protocol.h"

// The start-up routine: refuses unsupported systems and second instances, runs the program, returns the exit code.
int VitreaMain(HINSTANCE instance);

// The part of start-up that builds the settings window (messages, classes, fonts and DCs, the window and its
// controls), apart so that tests and benchmarks can build the window inside their own process.
void CreateSettingsWindow(HINSTANCE instance);
// Its counterpart: destroys the window and its controls, and frees the font, the image DCs, their images and a
// loaded skin.
void DestroySettingsWindow();

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
