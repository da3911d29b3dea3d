#pragma once
#include <windows.h>
#include "core/answer.h"

Answer OnMenuTrack(HWND window, WPARAM event, LPARAM lParam);
Answer OnMenuSelect(HWND window, WPARAM wParam, LPARAM lParam);
Answer OnContextMenu(HWND window, WPARAM wParam, LPARAM lParam);
Answer OnMeasureItem(HWND window, WPARAM wParam, LPARAM lParam);
Answer OnDrawItem(HWND window, WPARAM wParam, LPARAM lParam);
