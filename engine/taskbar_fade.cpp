#include "engine/taskbar_fade.h"

void TaskbarApplySteps(BYTE) {}
void TaskbarRemoveSteps() {}

LRESULT OnTaskbarHover(HWND window, WPARAM taskbar, LPARAM hover) {
    return DefWindowProcW(window, 0x8007, taskbar, hover);
}
