// A global CBT hook that refuses the creation of every curtain window and every About window, in whichever
// process it is asked for, and sets the named event "VitreaTestCurtainRefused" each time it does, so a test
// knows it happened.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK RefuseCurtain(int code, WPARAM wParam, LPARAM lParam) {
    WCHAR name[32] = {};
    if (code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 32) &&
        (lstrcmpW(name, L"VitreaFakeClass") == 0 || lstrcmpW(name, L"VitreaAboutClass") == 0)) {
        if (HANDLE refused = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"VitreaTestCurtainRefused")) {
            SetEvent(refused);
            CloseHandle(refused);
        }
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
