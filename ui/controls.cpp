// Subclassed controls: the keyboard focus graph and the slider come with their own work; for now each
// procedure hands every message to the control's original one.
#include "ui/controls.h"
#include "app/main.h"

namespace {
LRESULT CALLBACK ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(app.comboProc, window, message, wParam, lParam);
}
LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(app.buttonProc, window, message, wParam, lParam);
}
LRESULT CALLBACK SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(app.sliderProc, window, message, wParam, lParam);
}

WNDPROC Subclass(HWND control, WNDPROC procedure) {
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}
} // namespace

void SubclassControls() {
    app.comboProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(app.firstKeyCombo, GWLP_WNDPROC));
    for (HWND combo : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo}) Subclass(combo, ComboProc);
    app.buttonProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(app.shortcutButton, GWLP_WNDPROC));
    Subclass(app.shortcutButton, ButtonProc);
    Subclass(app.taskbarButton, ButtonProc);
    app.sliderProc = Subclass(app.alphaSlider, SliderProc);
}
