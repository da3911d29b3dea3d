#pragma once
#include <windows.h>

// Taskbar steps of APPMSG_SETALPHA: before the table update on apply, after the table check on removal.
void TaskbarApplySteps(BYTE alpha);
void TaskbarRemoveSteps();

LRESULT OnTaskbarHover(HWND window, WPARAM taskbar, LPARAM hover);
