#pragma once
#include <windows.h>
#include "core/answer.h"

Answer OnSetAlpha(HWND window, WPARAM target, LPARAM request);
Answer OnForgetWindow(HWND window, WPARAM target, LPARAM lParam);
Answer OnGetAlpha(HWND window, WPARAM target, LPARAM lParam);
Answer OnTaskbarHover(HWND window, WPARAM taskbar, LPARAM hover);
