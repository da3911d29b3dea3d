// A global hook that keeps the title each balloon tooltip is given, in whichever process: the runtime's
// tooltips cannot be asked for their title. The title goes into a global atom, held by the tooltip's
// property "VitreaTestBalloonTitle", which another process can read.
#include <windows.h>
#include <commctrl.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK NoteBalloonTitle(int code, WPARAM wParam, LPARAM lParam) {
    constexpr WCHAR property[] = L"VitreaTestBalloonTitle";
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == TTM_SETTITLEW && sent->lParam) {
        if (auto old = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(sent->hwnd, property))))
            GlobalDeleteAtom(old);
        ATOM title = GlobalAddAtomW(reinterpret_cast<const WCHAR*>(sent->lParam));
        SetPropW(sent->hwnd, property, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(title)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
